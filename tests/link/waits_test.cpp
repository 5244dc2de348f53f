#include <QElapsedTimer>
#include <QTimer>

#include "harness.h"
#include "pdu/primitives.h"

namespace vantel::test {
namespace {

using Fixture = LinkFixture;

TEST(OctetBoundary, FindsOnlyOccurrencesStartingAnOctet) {
    struct Case {
        const char16_t *hex, *needle;
        qsizetype from, at;
    } cases[] = {
        {u"0D0A4F4B0D0A", u"4F4B", 0, 4},
        {u"0100300A", u"1003", 0, -1},
        {u"FF1003FFFD", u"1003", 0, 2},
        {u"01003010030A", u"1003", 0, 6},  // the straddling one at 2 is skipped
        {u"1003FF1003", u"1003", 2, 6},
        {u"", u"1003", 0, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FindAtOctetBoundary(QStringView(c.hex), QStringView(c.needle), c.from), c.at)
            << QString::fromUtf16(c.hex).toStdString();
}

// Recorded buffers: what the phone sent, what was awaited, what the wait leaves behind.
TEST_F(Fixture, SendAndWaitMatchesRecordedBuffers) {
    struct Case {
        QString received, expected;
        bool found;
        QString rest;
    } cases[] = {
        {u"0D0A4F4B0D0A"_qs, u"OK"_qs, true, u"0D0A"_qs},
        {u"0100300A"_qs, QString::fromLatin1("\x10\x03"), false, u"0100300A"_qs},
        {u"FF1003FFFD"_qs, QString::fromLatin1("\x10\x03"), true, u"FFFD"_qs},
        {u"0D0A1002220000"
         u"1003FFDE"_qs,
         QString::fromLatin1("\x10\x03"), true, u"FFDE"_qs},
        {u"0D0A3E20"_qs, u"> "_qs, true, u""_qs},
        {u"4F4F4B"_qs, u"OK"_qs, true, u""_qs},
        {u"04F4B0"_qs, u"OK"_qs, false, u"04F4B0"_qs},  // fed as 04 F4 B0
    };
    settings.debugMode = true;
    link->setTimeScale(0.05);
    ASSERT_TRUE(link->OpenPort());
    for (const Case &c : cases) {
        link->clearBuffer();
        const QString before = link->captured();
        ASSERT_TRUE(pty.write(HexToBytes(c.received)));
        const bool found = run(link->SendAndWait({}, c.expected.toLatin1(), 1));
        EXPECT_EQ(found, c.found) << c.received.toStdString();
        EXPECT_EQ(link->captured(), c.found ? c.received : before) << c.received.toStdString();
        EXPECT_EQ(link->buffer(), c.rest) << c.received.toStdString();
    }
    // A wait without a command writes nothing, and traces only what arrived.
    EXPECT_EQ(pty.read(100), QByteArray());
    EXPECT_EQ(Starting(host->trace, u"RX:"), host->trace);
}

// Where a Block-mode frame ends once its DLE ETX is in: after the checksum and its stuffing.
TEST(FrameEnd, WaitsForTheChecksumAndItsStuffing) {
    struct Case {
        const char16_t *hex;
        bool quiet;
        qsizetype end;
    } cases[] = {
        {u"1002031003FFFD", false, 14},
        {u"1002031003FF", false, -1},            // low octet still on its way
        {u"1002031003", false, -1},              // no checksum yet
        {u"10022210000010031000F0", false, 22},  // stuffed high octet
        {u"100222100000100310", true, -1},       // stuffing of the high octet still missing
        {u"10022210000010031000", true, -1},     // ...and the low octet
        {u"1002F01003FF1000AB", false, 16},      // stuffed low octet; AB is the next frame's
        {u"1002F01003FF10", false, -1},          // its stuffing may be on its way
        {u"1002F01003FF10", true, 14},           // ...or left out by the phone
        {u"1002F01003FF10AB", false, 14},        // ...left out: AB follows at once
        {u"1002F0100310FF", false, 14},          // high octet 10 without stuffing
    };
    for (const Case &c : cases) {
        const QString hex = QString::fromUtf16(c.hex);
        EXPECT_EQ(FrameEnd(hex, FindAtOctetBoundary(hex, u"1003"), c.quiet), c.end)
            << hex.toStdString() << (c.quiet ? " quiet" : "");
    }
}

// AT answers as phones send them: only the command's own final result ends the wait.
TEST_F(Fixture, CommandEndsOnItsOwnFinalResult) {
    struct Case {
        const char *received;
        AtRule rule;
        AtAnswer::Kind kind;
        const char *line, *rest;
    } cases[] = {
        {"AT\r\r\nOK\r\n", {}, AtAnswer::Ok, "OK", "\n"},
        {"\r\nRING\r\n\r\n+CMTI: \"SM\",3\r\n\r\nERROR\r\n", {}, AtAnswer::Error, "ERROR", "\n"},
        {"\r\n+CMS ERROR: 500\r\n", {}, AtAnswer::Error, "+CMS ERROR: 500", "\n"},
        {"\r\nOK\r\n\r\n+CPMS: 1,30,1,30,1,30\r\n\r\nOK\r\nXY", AtRule::AfterInfo(u"+CPMS:"_qs),
         AtAnswer::Ok, "OK", "\nXY"},
        {"\r\nOK\r\n", AtRule::AfterInfo(u"+CPMS:"_qs), AtAnswer::TimedOut, "", "\r\nOK\r\n"},
        {"AT+CMGS=14\r\r\n> ", AtRule::UntilPrompt(), AtAnswer::Prompt, "> ", ""},
        {"\r\nOK\r\n\r\n> ", AtRule::UntilPrompt(), AtAnswer::Prompt, "> ", ""},
        {"\r\n+CMS ERROR: 304\r\n", AtRule::UntilPrompt(), AtAnswer::Error, "+CMS ERROR: 304",
         "\n"},
        {"0011\x1a\r\n+CMTI: \"SM\",3\r\nOK\r\n+CMGS: 5\r\n\r\nOK\r\n",
         AtRule::UntilInfo(u"+CMGS:"_qs), AtAnswer::Info, "+CMGS: 5", "\n\r\nOK\r\n"},
        {"\r\n+CMGS", AtRule::UntilInfo(u"+CMGS:"_qs), AtAnswer::TimedOut, "", "\r\n+CMGS"},
    };
    link->setTimeScale(0.02);
    ASSERT_TRUE(link->OpenPort());
    for (const Case &c : cases) {
        link->clearBuffer();
        link->ReceiveData(QByteArray(c.received));
        const AtAnswer got = run(link->Command({}, 1, c.rule));
        EXPECT_EQ(got.kind, c.kind) << c.received;
        EXPECT_EQ(got.line, QString::fromLatin1(c.line)) << c.received;
        EXPECT_EQ(link->buffer(), BytesToHex(c.rest)) << c.received;
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

// Received octets are traced as hex in Block mode, and only in debug mode.
TEST_F(Fixture, EmptyExpectedMatchesAtOnceAndTouchesNothing) {
    ASSERT_TRUE(link->OpenPort());
    link->ReceiveData(QByteArrayLiteral("A"));
    settings.debugMode = true;
    link->ReceiveData(QByteArrayLiteral("B"));
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(run(link->SendAndWait(QByteArrayLiteral("AT\r"), {}, 30)));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(link->captured(), QString());
    EXPECT_EQ(link->buffer(), u"4142"_qs);
    EXPECT_EQ(pty.read(1000), QByteArrayLiteral("AT\r"));
    EXPECT_EQ(host->trace, (QStringList{u"RX:42"_qs, u"TX:41540D"_qs}));
}

TEST_F(Fixture, TimeOutKeepsThePreviousCaptureAndTheBufferAndPausesAreScaled) {
    link->setTimeScale(0.1);
    ASSERT_TRUE(link->OpenPort());
    link->ReceiveData(QByteArrayLiteral("\r\nOK\r\n"));
    ASSERT_TRUE(run(link->SendAndWait({}, QByteArrayLiteral("OK"), 2)));
    link->ReceiveData(QByteArrayLiteral("ERROR"));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(run(link->SendAndWait(QByteArrayLiteral("AT\r"), QByteArrayLiteral("OK"), 2)));
    EXPECT_GE(t.elapsed(), 190);
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(link->captured(), u"0D0A4F4B0D0A"_qs);
    EXPECT_EQ(link->buffer(), u"0D0A4552524F52"_qs);
    t.restart();
    run(link->Pause(2));  // pauses are scaled too
    EXPECT_GE(t.elapsed(), 195);
    EXPECT_LT(t.elapsed(), 1000);
}

TEST_F(Fixture, WaitEndsWhenTheAnswerArrivesInPieces) {
    settings.debugMode = true;
    settings.pduMode = true;
    ASSERT_TRUE(link->OpenPort());
    const QByteArray answer = QByteArrayLiteral("\r\n+CMGS: 5\r\n\r\nOK\r\n");
    int sent = 0;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (sent < answer.size()) pty.write(answer.mid(sent++, 1));
    });
    feeder.start(5);
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(run(link->SendAndWait(QByteArrayLiteral("AT\r"), QByteArrayLiteral("OK"), 10)));
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(link->captured().startsWith(BytesToHex(answer.left(answer.size() - 2))));
    // PDU mode shows both directions as characters, one RX line per chunk.
    EXPECT_EQ(host->trace.first(), u"TX:AT\r"_qs);
    EXPECT_EQ(host->trace.at(1), u"RX:\r"_qs);
    EXPECT_GE(host->trace.size(), 3);
}

TEST_F(Fixture, PortThatCannotBeOpenedIsTraced) {
    ASSERT_TRUE(QFile::link(u"/nonexistent/tty"_qs, dir.filePath(u"com8"_qs)));
    ASSERT_TRUE(link->serial().setCommPort(8));
    EXPECT_FALSE(link->OpenPort());
    EXPECT_EQ(host->trace, QStringList{u"Cannot Open Port"_qs});
    ASSERT_TRUE(link->serial().setCommPort(7));
    EXPECT_TRUE(link->OpenPort());
    EXPECT_FALSE(link->OpenPort());  // held by a running exchange
    EXPECT_EQ(host->trace.count(u"Cannot Open Port"_qs), 2);
    EXPECT_TRUE(link->ClosePort());
    EXPECT_TRUE(link->ClosePort());
}

TEST_F(Fixture, VanishedDeviceEndsTheWaitAtOnce) {
    ASSERT_TRUE(link->OpenPort());
    QTimer::singleShot(100, [&] { pty.close(); });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(run(link->SendAndWait(QByteArrayLiteral("AT\r"), QByteArrayLiteral("OK"), 30)));
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(link->portLost());
    EXPECT_FALSE(link->serial().isOpen());
    ASSERT_EQ(host->trace.size(), 1);
    EXPECT_TRUE(host->trace.first().startsWith(u"Port failure: "));
    t.restart();
    run(link->Pause(30));
    EXPECT_LT(t.elapsed(), 1000);
}

}  // namespace
}  // namespace vantel::test
