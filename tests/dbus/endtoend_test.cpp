// The whole road: the vantel program and the simulated phone as separate processes, an entry
// put in over D-Bus, and what the phone receives at the following send-timer ticks.
#include "app/dbuslink.h"
#include "printers.h"
#include "tests/app/frames.h"

#include <signal.h>

#include <gtest/gtest.h>
#include <QCoroDBusPendingCall>
#include <QCoroProcess>
#include <QCoroTask>
#include <QCoroTimer>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <vector>

using namespace std::chrono_literals;

namespace vantel {
namespace {

const QString kProgram = QStringLiteral(VANTEL_BINARY_DIR "/app/vantel");
const QString kPhone = QStringLiteral(VANTEL_BINARY_DIR "/tools/phonesim/vantel-phonesim");

struct RoadCase {
    const char *what;
    QByteArray ini;
    QStringList executes;  // in the order they are sent
    QStringList received;  // what the phone records, in the order it gets them
};

QStringList SentLines(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QCoro::Task<bool> AwaitPhoneReady(QProcess &phone) {
    QByteArray out;
    while (!out.contains("ready ")) {
        const QByteArray chunk = co_await qCoro(phone).readAll(10s);
        if (chunk.isEmpty()) co_return false;
        out += chunk;
    }
    co_return true;
}

QCoro::Task<bool> AwaitServiceOwner(QDBusConnection bus, QProcess *program) {
    for (int i = 0; i < 150; ++i) {
        if (bus.interface()->isServiceRegistered(QString::fromLatin1(kDBusServiceName)).value())
            co_return true;
        if (program->state() == QProcess::NotRunning) co_return false;
        co_await QCoro::sleepFor(100ms);
    }
    co_return false;
}

QCoro::Task<std::vector<QDBusMessage>> ExecuteAll(QDBusConnection bus, QStringList commands) {
    // All calls leave before the first reply is awaited: they arrive within one timer period.
    std::vector<QDBusPendingCall> calls;
    for (const QString &command : commands) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QString::fromLatin1(kDBusServiceName), QString::fromLatin1(kDBusObjectPath),
            QString::fromLatin1(kDBusInterfaceName), QStringLiteral("Execute"));
        call << command;
        calls.push_back(bus.asyncCall(call));
    }
    std::vector<QDBusMessage> replies;
    for (auto &call : calls)
        replies.push_back(co_await call);
    co_return replies;
}

QCoro::Task<QStringList> AwaitSent(QString path, qsizetype count, QProcess *program) {
    // One entry per send-timer tick (5 s), with room for a slow machine.
    for (int i = 0; i < 100 * int(count); ++i) {
        const QStringList lines = SentLines(path);
        if (lines.size() >= count || program->state() == QProcess::NotRunning) co_return lines;
        co_await QCoro::sleepFor(100ms);
    }
    co_return SentLines(path);
}

void PrintTo(const RoadCase &c, std::ostream *os) {
    *os << c.what;
}

class WholeProgramTest : public ::testing::TestWithParam<RoadCase> {};

TEST_P(WholeProgramTest, EntryFromDBusReachesThePhoneAtTheNextTicksInSortedOrder) {
    const RoadCase &c = GetParam();
    if (!QFile::exists(kProgram) || !QFile::exists(kPhone))
        GTEST_SKIP() << "vantel or vantel-phonesim not built";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile ini(dir.filePath(QStringLiteral("vantel.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(c.ini);
    }
    const QString sentPath = dir.filePath(QStringLiteral("sent.txt"));

    QProcess phone;
    phone.setProcessChannelMode(QProcess::SeparateChannels);
    phone.start(kPhone, {QStringLiteral("--link"), dir.filePath(QStringLiteral("com1")),
                         QStringLiteral("--sent"), sentPath, QStringLiteral("--no-samples")});
    ASSERT_TRUE(QCoro::waitFor(AwaitPhoneReady(phone))) << phone.readAllStandardError().data();

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());  // its own single-instance lock
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(kProgram, {});

    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(QCoro::waitFor(AwaitServiceOwner(bus, &program)))
        << program.readAll().toStdString();

    const auto replies = QCoro::waitFor(ExecuteAll(bus, c.executes));
    for (const QDBusMessage &reply : replies)
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();

    const QStringList received = QCoro::waitFor(AwaitSent(sentPath, c.received.size(), &program));
    EXPECT_EQ(received, c.received);

    // The program lives on after its submissions and still takes entries.
    const auto later = QCoro::waitFor(ExecuteAll(bus, {c.executes.front()}));
    EXPECT_EQ(later.front().type(), QDBusMessage::ReplyMessage)
        << later.front().errorMessage().toStdString();
    EXPECT_EQ(program.state(), QProcess::Running) << program.readAll().toStdString();

    program.kill();
    program.waitForFinished(5000);
    phone.terminate();
    phone.waitForFinished(5000);
}

// The same three-letter message to 12345 as the send form builds it for each link mode, and a
// second one to 54321 that arrives first but sorts last.
const QByteArray kIni =
    "Speed=19200\r\nPort=1\r\nDialString=AT*T\r\nConfirmString=OK\r\n"
    "DebugMode=1\r\n";

INSTANTIATE_TEST_SUITE_P(
    LinkModes, WholeProgramTest,
    ::testing::Values(
        RoadCase{"block mode, two entries",
                 kIni,
                 {QStringLiteral("14,54321,0123,070204914421F3110005914523F10000A70361F118"),
                  QStringLiteral("14,12345,0123,070204914421F3110005912143F50000A70361F118")},
                 {QStringLiteral("INSERT 070204914421F3110005912143F50000A70361F118"),
                  QStringLiteral("INSERT 070204914421F3110005914523F10000A70361F118")}},
        RoadCase{"pdu mode",
                 kIni + "PDUMode=1\r\n",
                 {QStringLiteral("14,12345,0123,04914421F3110005912143F50000A70361F118")},
                 {QStringLiteral("CMGS 14 04914421F3110005912143F50000A70361F118")}}),
    [](const ::testing::TestParamInfo<RoadCase> &info) {
        return info.index == 0 ? std::string("BlockMode") : std::string("PduMode");
    });

// SIGTERM, SIGHUP and SIGINT end the program the way Quit does, without a question: the list
// files are saved (the duplicate line the start-up dropped is gone), the queue is on disk from
// the acknowledgement on. Without a settings file the setup dialog is still open, the list not
// loaded yet, and the list file stays as it was. The D-Bus name is there in both cases.
TEST(WholeProgramEndTest, SignalsSaveTheListFilesAndEnd) {
    if (!QFile::exists(kProgram)) GTEST_SKIP() << "vantel not built";
    struct Case {
        int signal;
        bool settingsFile;
    };
    const Case cases[] = {{SIGTERM, true}, {SIGHUP, true}, {SIGINT, true}, {SIGTERM, false}};
    const QString frame = test::DeliverFrame("4477", "260101120000", "kept");
    const QByteArray twice = (frame + "\r\n" + frame + "\r\n").toLatin1();
    const QString entry =
        QStringLiteral("14,12345,0123,070204914421F3110005912143F50000A70361F118");
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "signal " << c.signal << " ini " << c.settingsFile);
        QTemporaryDir dir;
        auto write = [&](const char *name, const QByteArray &bytes) {
            QFile f(dir.filePath(QLatin1String(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        auto read = [&](const char *name) {
            QFile f(dir.filePath(QLatin1String(name)));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
        };
        write("vantelq.dat", twice);
        if (c.settingsFile) write("vantel.ini", "Port=1\r\n");

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(dir.path());
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(kProgram, {});
        QDBusConnection bus = QDBusConnection::sessionBus();
        ASSERT_TRUE(QCoro::waitFor(AwaitServiceOwner(bus, &program)))
            << program.readAll().toStdString();

        const auto replies = QCoro::waitFor(ExecuteAll(bus, {entry}));
        EXPECT_EQ(replies.front().type(), QDBusMessage::ReplyMessage);
        EXPECT_EQ(read("vantelsq.dat"), (entry + "\r\n").toLatin1());
        if (c.settingsFile) {
            const auto listed = QCoro::waitFor([&]() -> QCoro::Task<int> {
                QDBusMessage call = QDBusMessage::createMethodCall(
                    QString::fromLatin1(kDBusServiceName), QStringLiteral("/Messages"),
                    QStringLiteral("org.vantel.Messages"), QStringLiteral("List"));
                for (int i = 0; i < 100; ++i) {
                    const QDBusMessage reply = co_await bus.asyncCall(call);
                    if (reply.type() == QDBusMessage::ReplyMessage &&
                        reply.arguments().value(0).value<QDBusArgument>().currentType() ==
                            QDBusArgument::ArrayType) {
                        QList<StoredMessage> list;
                        reply.arguments().value(0).value<QDBusArgument>() >> list;
                        if (!list.isEmpty()) co_return int(list.size());
                    }
                    co_await QCoro::sleepFor(50ms);
                }
                co_return 0;
            }());
            EXPECT_EQ(listed, 1);
        }
        ::kill(pid_t(program.processId()), c.signal);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_EQ(read("vantelq.dat"), c.settingsFile ? (frame + "\r\n").toLatin1() : twice);
        EXPECT_EQ(read("vantelsq.dat"), (entry + "\r\n").toLatin1());
        EXPECT_EQ(read("smsaddr.dat"), c.settingsFile ? QByteArray() : QByteArray("<missing>"));
    }
}

}  // namespace
}  // namespace vantel
