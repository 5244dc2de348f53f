#include <sys/resource.h>
#include <QSignalSpy>
#include <csignal>

#include "atmode/retrieval.h"
#include "harness.h"
#include "link/serialcontrol.h"
#include "link/trace.h"
#include "pdu/primitives.h"

namespace vantel::test {
namespace {

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
    const qint64 size = QFileInfo(trace.logPath()).size();
    signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit full = before;
    full.rlim_cur = rlim_t(size);
    setrlimit(RLIMIT_FSIZE, &full);
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
TEST(SerialControl, PortIsALinkInTheWorkingDirectoryOrATtyS) {
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QFile target(dir.filePath(u"device"_qs));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target.fileName(), dir.filePath(u"com1"_qs)));
    EXPECT_EQ(SerialControl::devicePath(1), QFileInfo(target.fileName()).canonicalFilePath());
    EXPECT_EQ(SerialControl::devicePath(2), u"/dev/ttyS1"_qs);
    EXPECT_EQ(SerialControl::devicePath(10), u"/dev/ttyS9"_qs);
    QDir::setCurrent(previous);
}

// AT+CMGL answers to MESSAGE frames.
TEST(Listing, ListedPdusBecomeMessageFrames) {
    for (const QStringList &r : Rows(u"listing"))
        EXPECT_EQ(ListedFrames(Hex(Octets(r[1])), r[0] == u"1"),
                  r[2].split(u',', Qt::SkipEmptyParts))
            << r[1];
}

}  // namespace
}  // namespace vantel::test
