// The link: waits on the line, the trace and log, the serial control, the listing parser, and
// whole exchanges against the simulated phone or a scripted one (runs in tests/data/link-*.txt).
#include <sys/resource.h>
#include <QSignalSpy>
#include <csignal>

#include "atmode/retrieval.h"
#include "harness.h"
#include "link/serialcontrol.h"
#include "link/trace.h"

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
        const QStringList kinds = u"Ok Info Prompt Error TimedOut"_qs.split(u' ');  // Kind's order
        SCOPED_TRACE(r.join(u' '));
        EXPECT_EQ(got.kind, AtAnswer::Kind(kinds.indexOf(r[2])));
        EXPECT_EQ(got.line, QString::fromLatin1(Octets(r[3])));
        EXPECT_EQ(link->buffer(), BytesToHex(Octets(r[4])));
    }
}

// Waits whose deadline falls in the same event-loop pass as arriving data: no wake-up may reach
// a wait that has ended. ./test.sh runs this under AddressSanitizer too.
TEST_F(Fixture, WaitsEndingAsDataArrivesNeverWakeAFinishedWait) {
    link->setTimeScale(0.001);  // a second lasts a millisecond
    ASSERT_TRUE(link->OpenPort());
    for (int i = 0; i < 3000; ++i) {
        QTimer::singleShot(1 + i % 2, Qt::PreciseTimer, link.get(), [&, i] {
            link->ReceiveData(i % 3 ? QByteArray(7, '\0') : QByteArrayLiteral("\x10\x03\xFF"));
            link->ReceiveData(QByteArrayLiteral("\r\nRING\r"));
        });
        if (i % 3 == 0) run(link->SendAndWaitFrame({}, 1));
        if (i % 3 == 1) run(link->SendAndWait({}, QByteArrayLiteral("OK"), 1));
        if (i % 3 == 2) run(link->Command({}, 1, AtRule::AfterInfo(u"+CPMS:"_qs)));
        if (i % 100 == 99) link->clearBuffer();
    }
    EXPECT_TRUE(link->serial().isOpen());  // and the link is whole
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        trace.setClock([] { return QDateTime(QDate(2024, 3, 7), QTime(9, 5, 4)); });
    }
    QByteArray logBytes() const {
        QFile f(trace.logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    Settings settings;
    Trace trace{settings, QDir(dir.path())};
};

// Data shows as hex in Block mode and as characters in PDU mode.
TEST_F(TraceTest, LinesCarryTheTimeOnlyInDebugMode) {
    trace.WriteTrace(u"Retrieving Messages..."_qs, false);
    trace.TraceData(QByteArrayLiteral("\x10\x02"), u"RX:", true);
    settings.debugMode = true;
    trace.WriteTrace(u"Messages Retrieved"_qs, false);
    trace.TraceData(QByteArrayLiteral("\xe9\r"), u"TX:", false);
    EXPECT_EQ(trace.text(),
              u"Retrieving Messages...\r\nRX:1002\r\n09:05:04 Messages Retrieved\r\n"
              u"09:05:04 TX:\u00e9\r\r\n"_qs);
    EXPECT_FALSE(QFile::exists(trace.logPath()));
}

TEST_F(TraceTest, LoggedLinesAreAppendedWithDateInWindows1252) {
    trace.WriteTrace(u"MSG: 1002031003FFFD"_qs, true);
    trace.WriteTrace(u"caf\u00e9 \u20ac"_qs, true);
    EXPECT_EQ(logBytes(), QByteArray("24-03-07 09:05:04 MSG: 1002031003FFFD\r\n"
                                     "24-03-07 09:05:04 caf\xe9 \x80\r\n"));
    // Appended, never truncated.
    Trace again(settings, QDir(dir.path()));
    again.WriteTrace(u"x"_qs, true);
    EXPECT_TRUE(logBytes().startsWith("24-03-07 09:05:04 MSG:"));
    EXPECT_TRUE(logBytes().endsWith(" x\r\n"));
}

TEST_F(TraceTest, UnopenableLogIsReportedInTheTraceOnly) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"vantel.log"_qs));
    trace.WriteTrace(u"MSG: 1002"_qs, true);
    EXPECT_EQ(trace.text(), u"MSG: 1002\r\nProblem opening log file\r\n"_qs);
}

// A full disk: the failure is traced once while it lasts, and again after a line got through.
TEST_F(TraceTest, UnwritableLogLineIsReportedOncePerFailure) {
    trace.WriteTrace(u"first"_qs, true);
    rlimit before{}, full{};
    getrlimit(RLIMIT_FSIZE, &before);
    full = {rlim_t(QFileInfo(trace.logPath()).size()), before.rlim_max};
    signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &full);
    trace.WriteTrace(u"MSG: 1002"_qs, true);
    trace.WriteTrace(u"MSG: 1003"_qs, true);
    setrlimit(RLIMIT_FSIZE, &before);
    trace.WriteTrace(u"again"_qs, true);
    EXPECT_EQ(trace.text(),
              u"first\r\nMSG: 1002\r\nProblem writing log file: File too large\r\n"
              u"MSG: 1003\r\nagain\r\n"_qs);
    EXPECT_TRUE(logBytes().endsWith(" first\r\n24-03-07 09:05:04 again\r\n"));
}

// Text from outside never starts a line of its own in the trace or the log.
TEST(Visible, ControlCharactersShownAndLongTextCut) {
    EXPECT_EQ(Visible(u"abc\r\n26-12-06 10:00:00 MSG: 1002"),
              u"abc<0D><0A>26-12-06 10:00:00 MSG: 1002"_qs);
    const char16_t controls[] = u"\u0000\u001b\u007f\u0085\u2028\u00e9\u20ac";
    EXPECT_EQ(Visible(QStringView(controls, 7)), u"<00><1B><7F><85><2028>\u00e9\u20ac"_qs);
    EXPECT_EQ(Visible(QString(MaxOutsideChars, u'x')), QString(MaxOutsideChars, u'x'));
    EXPECT_EQ(Visible(QString(MaxOutsideChars + 1, u'x')),
              QString(MaxOutsideChars, u'x') + u"..."_qs);
}

TEST_F(TraceTest, TextKeepsItsLast16000Characters) {
    QSignalSpy spy(&trace, &Trace::textChanged);
    QString written;
    for (int i = 0; i < 170; ++i) {
        const QString line = QString::number(i) + QString(95, QChar(u'a' + i % 26));
        trace.WriteTrace(line, false);
        written += line + u"\r\n"_qs;
    }
    // The oldest characters go; the oldest line left may start in its middle.
    EXPECT_EQ(trace.text(), written.right(Trace::Capacity));
    EXPECT_EQ(spy.count(), 170);
    EXPECT_EQ(spy.last().first().toString(), trace.text());
}

TEST(SerialControl, SettingsAndPortNumbersAreTakenOrRefusedWhole) {
    SerialControl serial;
    QString last = u"19200,N,8,1"_qs;
    for (const QStringList &r : Rows(u"serial")) {
        EXPECT_EQ(serial.settings(), last) << r[0];
        EXPECT_EQ(serial.setSettings(r[0]), r[1] == u"1") << r[0];
        last = r[1] == u"1" ? r[0] : last;
    }
    EXPECT_TRUE(serial.setCommPort(3));
    for (int refused : {0, 100, -1})
        EXPECT_FALSE(serial.setCommPort(refused)) << refused;
    EXPECT_EQ(serial.commPort(), 3);
    EXPECT_FALSE(serial.output(QByteArrayLiteral("AT\r")));  // closed
    EXPECT_TRUE(serial.close());
}

// Port n is the link comN in the working directory, opened by its canonical path, else ttyS(n-1).
TEST_F(Fixture, PortIsALinkInTheWorkingDirectoryOrATtyS) {
    EXPECT_EQ(SerialControl::devicePath(7), QFileInfo(pty.slavePath).canonicalFilePath());
    EXPECT_EQ(SerialControl::devicePath(2), u"/dev/ttyS1"_qs);
    EXPECT_EQ(SerialControl::devicePath(10), u"/dev/ttyS9"_qs);
}

// AT+CMGL answers to MESSAGE frames.
TEST(Listing, ListedPdusBecomeMessageFrames) {
    for (const QStringList &r : Rows(u"listing"))
        EXPECT_EQ(ListedFrames(BytesToHex(Octets(r[1])), r[0] == u"1"),
                  r[2].split(u',', Qt::SkipEmptyParts))
            << r[1];
}

TEST_P(Roads, Run) {
    if (const double s = GetParam().name.section(u' ', 1, 1).toDouble(); s > 0) scale = s;
    link->setTimeScale(scale);
    Play();
}

INSTANTIATE_TEST_SUITE_P(Roads, Roads,
                         ::testing::ValuesIn(table::Records("link-roads.txt", table::kRoad)), Name);

// Fault runs, a misbehaving phone or disk in each link mode. Each run retrieves (with DeleteOld)
// and then sends one entry tick by tick as the send timer does, and checks outcomes, not steps:
// every message the phone deleted is whole in vantelq.dat; the entry went out exactly once or is
// still queued; every exchange ended within its time-outs with the buttons enabled and the port
// closed. Then the run's own checks, those under "after the run:".

class Faults : public Roads {};

TEST_P(Faults, NothingLostNothingSentTwiceNoExchangeOutlivesItsTimeOuts) {
    settings.deleteOld = true;
    QFile list(dir.filePath(u"vantelq.dat"_qs));
    // A last line without its line end, as a full disk or an editor leaves it.
    const QByteArray cut = "10020310" + QByteArray(248, '0');
    ASSERT_TRUE(list.open(QIODevice::WriteOnly) && list.write(cut) == cut.size());
    list.close();
    const QList<table::Line> &lines = GetParam().lines;
    qsizetype checks = 0;  // the first check, under "after the run:"
    while (checks < lines.size() && !lines[checks].text.startsWith(u"expect "))
        ++checks;
    ASSERT_TRUE(Play(0, checks));
    // Tests run as root, who may write into any folder: a store folder that is gone refuses
    // every write the same way.
    if (disk == u"gone") Rehost(dir.filePath(u"gone"_qs));
    link->setTimeScale(scale);
    rlimit before{}, full{};
    getrlimit(RLIMIT_FSIZE, &before);
    // Room for the port's lock file, and for no line or part of a line.
    full = {rlim_t(cut.size() + (disk == u"part" ? 150 : 0)), before.rlim_max};
    if (disk == u"full" || disk == u"part")
        signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &full);
    ASSERT_TRUE(disk != u"folder" || (list.remove() && QDir(dir.path()).mkdir(list.fileName())));

    Step(u"retrieve"_qs, {});
    const qint64 retrieval = took;
    qint64 longestSend = 0;
    for (int tick = 0; tick < 3 && (tick == 0 || outcome != TransmitOutcome::Sent); ++tick) {
        Step(u"send"_qs, u"14,12345,0123,"_qs + (settings.pduMode ? u""_qs : u"070204914421F3"_qs) +
                             u"110005912143F50000A70361F118"_qs);
        longestSend = std::max(longestSend, took);
    }
    const bool queued = outcome != TransmitOutcome::Sent;
    setrlimit(RLIMIT_FSIZE, &before);

    // Only messages were stored: no answer to another command taken for a listing.
    for (QString frame : host->offered)
        EXPECT_TRUE(!ValidateFrame(frame) || frame.size() > 10) << "stored no message: " << frame;
    // Every message the phone deleted ("DELETE <store> <index> <pdu>") is whole in the list file;
    // a run in which the phone deleted nothing says "kept", as nothing was compared.
    QStringList stored;
    for (const QByteArray &line : (list.open(QIODevice::ReadOnly), list.readAll()).split('\n'))
        if (QString c = QString::fromLatin1(line.trimmed());
            ValidateFrame(c) && c.startsWith(u"21"))
            stored << c.mid(10);  // a MESSAGE's TPDU
    const QStringList deleted = phone->lines("deleted");
    for (const QString &line : deleted)
        EXPECT_TRUE(stored.contains(line.section(u' ', 3))) << "deleted but not stored: " << line;
    const QStringList saveErrors = Starting(host->trace, u"Error saving vantelq.dat: ");
    EXPECT_EQ(Starting(host->log, u"Error saving vantelq.dat: "), saveErrors);
    EXPECT_EQ(saveErrors.isEmpty(), disk.isEmpty());
    EXPECT_EQ(deleted.isEmpty(), kept) << deleted.size() << " deleted, against \"kept\"";
    list.seek(0);
    const QByteArray contents = list.readAll();
    EXPECT_TRUE(!disk.isEmpty() || contents.startsWith(cut + "\r\n1002"));  // kept its own
    EXPECT_TRUE(contents.isEmpty() || contents == cut || contents.endsWith("\r\n"))
        << "a half line stays";
    // The entry went out once, or is still queued and went out not at all.
    EXPECT_EQ(phone->lines("sent").size(), queued ? 0 : 1) << "queued: " << queued;
    EXPECT_TRUE(mayStayQueued || !queued);
    // Retrieval: entry, per pass a pause and two reply waits (echo) and a delete, the end.
    // Sending: the longest road is Block mode's 3 + 2 + 5 + 5 + 60 + 5 seconds.
    const int passes = int(host->offered.size()) + MaxFruitlessPasses + 1;
    EXPECT_LE(retrieval, scale * 1000 * (8 + 46 * passes) + 2000);
    EXPECT_LE(longestSend, scale * 1000 * 80 + 2000);
    Play(checks);
}

INSTANTIATE_TEST_SUITE_P(Line, Faults,
                         ::testing::ValuesIn(table::Records("link-faults.txt", table::kFault)),
                         Name);

}  // namespace
}  // namespace vantel::test
