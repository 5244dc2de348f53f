#include <QElapsedTimer>
#include <QTimer>

#include "harness.h"
#include "pdu/primitives.h"

namespace vantel::test {
namespace {

using Fixture = LinkFixture;

TEST(OctetBoundary, FindsOnlyOccurrencesStartingAnOctet) {
    for (const QStringList &r : Rows(u"boundary"))
        EXPECT_EQ(FindAtOctetBoundary(r[0], r[1], r[2].toInt()), r[3].toInt()) << r.join(u' ');
}

// Where a Block-mode frame ends once its DLE ETX is in: after the checksum and its stuffing.
TEST(FrameEnd, WaitsForTheChecksumAndItsStuffing) {
    for (const QStringList &r : Rows(u"frameend"))
        EXPECT_EQ(FrameEnd(r[0], FindAtOctetBoundary(r[0], u"1003"), r[1] == u"1"), r[2].toInt())
            << r.join(u' ');
}

// Recorded buffers: what the phone sent, what was awaited, what the wait leaves behind.
TEST_F(Fixture, SendAndWaitMatchesRecordedBuffers) {
    settings.debugMode = true;
    link->setTimeScale(0.05);
    ASSERT_TRUE(link->OpenPort());
    for (const QStringList &r : Rows(u"buffer")) {
        link->clearBuffer();
        const QString before = link->captured();
        ASSERT_TRUE(pty.write(Octets(r[0])));
        EXPECT_EQ(run(link->SendAndWait({}, Octets(r[1]), 1)), r[2] == u"1") << r.join(u' ');
        EXPECT_EQ(link->captured(), r[2] == u"1" ? Hex(Octets(r[0])) : before) << r.join(u' ');
        EXPECT_EQ(link->buffer(), r[3]) << r.join(u' ');
    }
    // A wait without a command writes nothing, and traces only what arrived.
    EXPECT_EQ(pty.read(100), QByteArray());
    EXPECT_EQ(Starting(host->trace, u"RX:"), host->trace);
}

// AT answers as phones send them: only the command's own final result ends the wait.
TEST_F(Fixture, CommandEndsOnItsOwnFinalResult) {
    link->setTimeScale(0.02);
    ASSERT_TRUE(link->OpenPort());
    for (const QStringList &r : Rows(u"answer")) {
        const QString info = r[1].section(u':', 1);
        const AtRule rule = r[1].startsWith(u"after")   ? AtRule::AfterInfo(info)
                            : r[1].startsWith(u"until") ? AtRule::UntilInfo(info)
                            : r[1] == u"prompt"         ? AtRule::UntilPrompt()
                                                        : AtRule{};
        link->clearBuffer();
        link->ReceiveData(Octets(r[0]));
        const AtAnswer got = run(link->Command({}, 1, rule));
        const QStringList kinds{u"Ok"_qs, u"Info"_qs, u"Prompt"_qs, u"Error"_qs, u"TimedOut"_qs};
        EXPECT_EQ(got.kind, AtAnswer::Kind(kinds.indexOf(r[2]))) << r.join(u' ');
        EXPECT_EQ(got.line, QString::fromLatin1(Octets(r[3]))) << r.join(u' ');
        EXPECT_EQ(link->buffer(), Hex(Octets(r[4]))) << r.join(u' ');
    }
}

// Waits whose deadline falls in the same event-loop pass as arriving data: no wake-up may reach
// a wait that has ended. ./test.sh runs this under AddressSanitizer too.
TEST_F(Fixture, WaitsEndingAsDataArrivesNeverWakeAFinishedWait) {
    link->setTimeScale(0.001);  // a second lasts a millisecond
    ASSERT_TRUE(link->OpenPort());
    int ended = 0;
    for (int i = 0; i < 3000; ++i) {
        QTimer::singleShot(1 + i % 2, Qt::PreciseTimer, link.get(), [&, i] {
            link->ReceiveData(i % 3 ? QByteArray(7, '\0') : QByteArrayLiteral("\x10\x03\xFF"));
            link->ReceiveData(QByteArrayLiteral("\r\nRING\r"));
        });
        switch (i % 3) {
            case 0:
                run(link->SendAndWaitFrame({}, 1));
                break;
            case 1:
                run(link->SendAndWait({}, QByteArrayLiteral("OK"), 1));
                break;
            default:
                run(link->Command({}, 1, AtRule::AfterInfo(u"+CPMS:"_qs)));
                break;
        }
        ++ended;
        if (i % 100 == 99) link->clearBuffer();
    }
    EXPECT_EQ(ended, 3000);
}

}  // namespace
}  // namespace vantel::test
