// The D-Bus link on the test's own bus: the service in this process called by the stock clients
// (dbus-send, gdbus, dbus-monitor) and by a connection of its own, and the whole road through the
// vantel program and the simulated phone as separate processes.
#include "app/dbuslink.h"
#include "app/messagestore.h"
#include "app/sendqueuefile.h"
#include "app/sortedlistmodel.h"
#include "bench/dbus/burstentries.h"

#include <signal.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QCoroDBusPendingCall>
#include <QCoroProcess>
#include <QCoroTask>
#include <QCoroTimer>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <list>

inline void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

using namespace std::chrono_literals;

namespace vantel {
namespace {

const QString kEntry = QStringLiteral("14,12345,0123,070204914421F3110005912143F50000A70361F118");
const QString kName = QString::fromLatin1(kDBusServiceName);

// Runs the event loop until `done` holds or `limit` has passed; returns `done()`.
bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit) {
    return QCoro::waitFor([&]() -> QCoro::Task<bool> {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end)
            co_await QCoro::sleepFor(20ms);
        co_return done();
    }());
}

struct ClientRun {
    bool finished = false;
    int exitCode = -1;
    QString out, err;
};

// A client as a separate process (argv[0] the program), while the event loop serves its calls.
ClientRun RunClient(QStringList argv, const QProcessEnvironment &env = {}) {
    return QCoro::waitFor([&]() -> QCoro::Task<ClientRun> {
        QProcess process;
        if (!env.isEmpty()) process.setProcessEnvironment(env);
        ClientRun run;
        if (!co_await qCoro(process).start(argv.takeFirst(), argv)) co_return run;
        run.finished = co_await qCoro(process).waitForFinished(30s);
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        co_return run;
    }());
}

QStringList DbusSend(const QString &command) {
    return QStringLiteral(
               "dbus-send --session --print-reply --dest=org.vantel.Vantel /SendSMS "
               "org.vantel.SendSMS.Execute")
               .split(u' ')
           << "string:" + command;
}
QStringList Gdbus(const QString &verb, const QString &path, const QStringList &rest) {
    return QStringList{"gdbus", verb, "--session", "--dest", kName, "--object-path", path} + rest;
}

// Sends every command before the first reply is awaited; `onReply` sees each reply as it comes.
std::vector<QDBusMessage> ExecuteAll(
    QDBusConnection bus, const QStringList &commands,
    const std::function<void(qsizetype, const QDBusMessage &)> &onReply = {}) {
    std::vector<QDBusPendingCall> calls;
    for (const QString &command : commands)
        calls.push_back(bus.asyncCall(
            QDBusMessage::createMethodCall(kName, kDBusObjectPath, kDBusInterfaceName, "Execute")
            << command));
    return QCoro::waitFor([&]() -> QCoro::Task<std::vector<QDBusMessage>> {
        std::vector<QDBusMessage> replies;
        for (auto &call : calls) {
            replies.push_back(co_await call);
            if (onReply) onReply(qsizetype(replies.size() - 1), replies.back());
        }
        co_return replies;
    }());
}

// One interface element of introspection XML, without the blanks between elements.
QString InterfaceXml(const QString &xml, const QString &name) {
    const qsizetype from = xml.indexOf("<interface name=\"" + name + "\">");
    QString element = xml.mid(from, from < 0 ? 0 : xml.indexOf("</interface>", from) - from);
    return element.replace(QRegularExpression(">\\s+<"), "><");
}

class DBusLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        service->setMessageList(&messages);
        ASSERT_TRUE(client.isConnected());
    }
    void TearDown() override {
        service.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("test-client"));
    }
    std::unique_ptr<SendSmsService> MakeService(SortedListModel &q, QStringList &lines) {
        return std::make_unique<SendSmsService>(q, [&lines](const QString &l) { lines << l; });
    }

    SortedListModel queue;
    QStringList traces;
    QList<StoredMessage> stored;
    MessageListService messages{[this] { return stored; }};
    std::unique_ptr<SendSmsService> service = MakeService(queue, traces);
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("test-client"));
};

TEST_F(DBusLinkTest, StockClientsQueueReadableEntriesAndGetTheReasonForOthers) {
    bool pdu = false;
    service->setPduMode([&pdu] { return pdu; });
    ASSERT_TRUE(service->start());
    EXPECT_TRUE(traces.isEmpty());
    bool allOnUiThread = true;
    QObject::connect(&queue, &SortedListModel::rowsInserted, [&allOnUiThread] {
        allOnUiThread = allOnUiThread && QThread::currentThread() == qApp->thread();
    });
    const QString other = "14,54321,+49 171,070204914421F3110005914523F10000A70361F118",
                  pduEntry = "14,12345,0123,04914421F3110005912143F50000A70361F118";
    const QString invalid = kDBusInvalidEntryError;
    const struct {
        bool gdbus, pduMode;
        QString command, error, reason;  // no error: queued
    } calls[] = {
        {false, false, kEntry, {}, {}},
        {true, false, other, {}, {}},
        {true, true, pduEntry, {}, {}},
        {false, false, pduEntry, invalid, "INSERT SMS"},
        {false, false, "", invalid, "fewer than four fields"},
        {true, false, "no commas at all", invalid, "fewer than four"},
        {false, false, "x4,12345,0123,0702", invalid, "not a number"},
        {false, false, "14,12345,0123,07020", invalid, "hex octets"},
        {false, false, "14,1,0123\"x,0702049144", invalid, "service"},
        {true, false, "14,1\r\n26-12-06 10:00:00 MSG: 1002,0123,0702049144", invalid, "line break"},
        {false, false, QString(70000, u'7'), kDBusTooLongError, "65536 octets"},
    };
    for (const auto &call : calls) {
        SCOPED_TRACE(call.command.left(80).toStdString());
        pdu = call.pduMode;
        const QString gvariant =
            u'\'' + QString(call.command).replace("\r", "\\r").replace("\n", "\\n") + u'\'';
        const ClientRun run =
            RunClient(call.gdbus ? Gdbus("call", "/SendSMS",
                                         {"--method", "org.vantel.SendSMS.Execute", gvariant})
                                 : DbusSend(call.command));
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode == 0, call.error.isEmpty()) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(call.error) && run.err.contains(call.reason))
            << run.err.toStdString();
        EXPECT_TRUE(!call.gdbus || !call.error.isEmpty() || run.out.trimmed() == u"()");
    }
    EXPECT_EQ(queue.items(), (QStringList{pduEntry, kEntry, other}));
    EXPECT_TRUE(allOnUiThread);
    // One trace line per refusal, with what came from outside made visible.
    EXPECT_EQ(traces.size(), 8) << traces.join(u'\n').toStdString();
    for (const QString &line : traces)
        EXPECT_FALSE(line.contains(u'\r') || line.contains(u'\n')) << line.toStdString();
    EXPECT_TRUE(traces[6].contains("14,1<0D><0A>26-12-06")) << traces[6].toStdString();
}

// A readable Block-mode entry: the destination is not looked at, the data is padded with hex.
QString EntryOf(const QString &destination, qsizetype hexDigits) {
    return "14," + destination + ",0,07020011" + QString(hexDigits, u'A');
}

TEST_F(DBusLinkTest, CommandsLongerThan64KiBAreRefusedAndNothingQueued) {
    ASSERT_TRUE(service->start());
    // Characters of one to four UTF-8 octets up to the limit ("14,,0,07020011" is 14 octets),
    // then one octet over.
    for (const QString &c : {QString("A"), QString(QChar(0xE9)), QString(QChar(0x20AC)),
                             QString::fromUtf8("\xF0\x9F\x98\x80")}) {
        const qsizetype octets = c.toUtf8().size(), room = kMaxExecuteOctets - 14;
        const QString atLimit = EntryOf(c.repeated(room / octets) + QString(room % octets, 'A'), 0);
        for (const QString &command : {atLimit, atLimit + 'A'}) {
            SCOPED_TRACE(::testing::Message() << octets << "-octet characters, " << command.size());
            const qsizetype before = queue.count();
            const bool accepted = command == atLimit;
            EXPECT_EQ(ExecuteAll(client, {command}).front().errorName(),
                      accepted ? QString() : kDBusTooLongError);
            EXPECT_EQ(queue.count(), before + accepted);
            EXPECT_EQ(queue.indexOf(command) >= 0, accepted);
        }
    }
}

// Every command line of the documentation, run as written: the calls succeed (List gives the
// stored messages), both monitors see MessageAdded go out, introspection answers.
TEST_F(DBusLinkTest, DocumentedClientCommandsWorkAsWritten) {
    stored = {{"1002AB", "line one 1002AB"}};
    ASSERT_TRUE(service->start());
    QFile doc(QStringLiteral(VANTEL_SOURCE_DIR "/docs/dbus.md"));
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList commands =
        QString::fromUtf8(doc.readAll())
            .split(u'\n')
            .filter(QRegularExpression("^(dbus-send|dbus-monitor|gdbus) "));
    ASSERT_EQ(commands.size(), 8);
    std::list<QProcess> monitors;
    for (const QString &command : commands) {
        if (command.contains("monitor ")) {
            monitors.emplace_back().start("sh", {"-c", "exec " + command});
            continue;
        }
        const ClientRun run = RunClient({"sh", "-c", command});
        EXPECT_TRUE(run.finished && run.exitCode == 0)
            << command.toStdString() << ": " << run.err.toStdString();
        const bool list = command.startsWith("gdbus call") && command.contains("List");
        EXPECT_TRUE(!list || run.out.trimmed() == u"([('1002AB', 'line one 1002AB')],)");
    }
    EXPECT_EQ(queue.items(), QStringList(2, kEntry));
    // Sent again until both monitors are listening.
    QByteArray seen[2];
    EXPECT_TRUE(WaitUntil(
        [&] {
            Q_EMIT messages.MessageAdded("1002CD", "line two 1002CD");
            int i = 0;
            for (QProcess &monitor : monitors)
                seen[i++] += monitor.readAllStandardOutput();
            return seen[0].contains("line two 1002CD") && seen[1].contains("line two 1002CD");
        },
        10s))
        << seen[0].data() << seen[1].data();
    EXPECT_TRUE(seen[0].contains("MessageAdded") && seen[1].contains("MessageAdded"));
    for (QProcess &monitor : monitors) {
        monitor.kill();
        monitor.waitForFinished();
    }
}

TEST_F(DBusLinkTest, LiveObjectsMatchShippedIntrospectionXml) {
    ASSERT_TRUE(service->start());
    const struct {
        QString path, interface, member;
    } objects[] = {
        {"/SendSMS", kDBusInterfaceName,
         R"(<method name="Execute"><arg name="command" type="s" direction="in"/></method>)"},
        {"/Messages", "org.vantel.Messages",
         R"(<signal name="MessageAdded"><arg name="frame" type="s" direction="out"/>)"},
    };
    for (const auto &o : objects) {
        const ClientRun run = RunClient(Gdbus("introspect", o.path, {"--xml"}));
        QFile shipped(VANTEL_SOURCE_DIR "/docs/" + o.interface + ".xml");
        ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
        const QString fromDocs = InterfaceXml(QString::fromUtf8(shipped.readAll()), o.interface);
        EXPECT_TRUE(fromDocs.contains(o.member)) << fromDocs.toStdString();
        EXPECT_EQ(InterfaceXml(run.out, o.interface), fromDocs) << run.out.toStdString();
    }
}

TEST_F(DBusLinkTest, ExecuteStormIsAllAcknowledgedUpToTheQueueBound) {
    ASSERT_TRUE(service->start());
    const QStringList arrival = bench::BurstEntries(int(kMaxQueueEntries));
    QStringList ascending = arrival;
    std::stable_sort(ascending.begin(), ascending.end(), SortedListModel::lessThan);
    for (const QDBusMessage &reply : ExecuteAll(client, arrival))
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(queue.items(), ascending);

    // Full by count, then by size: refused, and nothing queued changes.
    EXPECT_EQ(ExecuteAll(client, {kEntry}).front().errorName(), kDBusQueueFullError);
    EXPECT_EQ(queue.items(), ascending);
    queue.clear();
    const QString big = EntryOf({}, 65536 - 14);
    for (qsizetype i = 0; i < kMaxQueueChars / big.size(); ++i)
        ASSERT_EQ(ExecuteAll(client, {big}).front().type(), QDBusMessage::ReplyMessage) << i;
    EXPECT_EQ(ExecuteAll(client, {kEntry}).front().errorName(), kDBusQueueFullError);
    EXPECT_EQ(queue.count(), 256);
}

// Whoever holds the name first keeps it: a service that finds it taken waits in the bus's queue
// (one trace line) and takes it when the holder leaves; a service gone lets the name go.
TEST_F(DBusLinkTest, NameHeldByAnotherProgramIsTakenWhenItLeaves) {
    const QString other = QStringLiteral("other-owner");
    ASSERT_EQ(QDBusConnection::connectToBus(QDBusConnection::SessionBus, other)
                  .interface()
                  ->registerService(kName)
                  .value(),
              QDBusConnectionInterface::ServiceRegistered);
    EXPECT_TRUE(service->start());
    EXPECT_FALSE(service->isRunning());
    EXPECT_EQ(traces, QStringList{"D-Bus name org.vantel.Vantel is held by another program: "
                                  "waiting for it"});
    QDBusConnection::disconnectFromBus(other);
    EXPECT_TRUE(WaitUntil([this] { return service->isRunning(); }, 5s));
    ASSERT_EQ(traces.size(), 2);
    EXPECT_EQ(traces[1], u"D-Bus name org.vantel.Vantel taken: other programs can queue messages");

    // A second copy waits behind this one without disturbing it.
    SortedListModel secondQueue;
    QStringList secondTraces;
    auto second = MakeService(secondQueue, secondTraces);
    EXPECT_TRUE(second->start(QDBusConnection::connectToBus(QDBusConnection::SessionBus, other)));
    EXPECT_FALSE(second->isRunning());
    EXPECT_EQ(secondTraces.size(), 1);
    second.reset();
    QDBusConnection::disconnectFromBus(other);
    EXPECT_EQ(RunClient(DbusSend(kEntry)).exitCode, 0);
    EXPECT_EQ(queue.items(), QStringList{kEntry});
    EXPECT_EQ(secondQueue.count(), 0);

    service.reset();
    EXPECT_FALSE(client.interface()->isServiceRegistered(kName).value());
    service = MakeService(queue, traces);
    EXPECT_TRUE(service->start() && service->isRunning());
    EXPECT_EQ(traces.size(), 2);
}

TEST_F(DBusLinkTest, ExecuteIsAcknowledgedOnceTheEntryIsOnDisk) {
    QTemporaryDir dir;
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable ? "writable folder" : "missing folder");
        SortedListModel q;
        QStringList lines;
        MessageStore store([&lines](const QString &t) { lines << t; },
                           QDir(writable ? dir.path() : dir.filePath("gone")));
        SendQueueFile file(q, store);
        file.load();
        auto s = MakeService(q, lines);
        s->setQueueFile(&file);
        ASSERT_TRUE(s->start());
        // Each reply is checked against the file as it stands when the reply arrives.
        const QStringList entries = bench::BurstEntries(300);
        int acknowledged = 0, onDisk = 0;
        ExecuteAll(client, entries, [&](qsizetype i, const QDBusMessage &reply) {
            EXPECT_EQ(reply.errorName(), writable ? QString() : kDBusNotSavedError);
            acknowledged += reply.type() == QDBusMessage::ReplyMessage;
            const auto saved = store.ReadListFile(SendQueueFileName);
            onDisk += saved && saved->contains(entries[i]);
        });
        EXPECT_EQ(acknowledged, writable ? 300 : 0);
        EXPECT_EQ(onDisk, acknowledged);
        EXPECT_EQ(q.count(), acknowledged);
        EXPECT_TRUE(writable ? store.ReadListFile(SendQueueFileName) == q.items()
                             : lines.last().startsWith(u"Error saving vantelsq.dat: "));
    }
}

TEST(DBusLinkWithoutBus, StartFailsWithOneTraceLineAndQueueStillWorks) {
    QTemporaryDir empty;
    // A dead socket, no address at all (and no desktop to ask), a malformed address.
    for (const QString &address :
         QStringList{"unix:path=" + empty.filePath("no-bus"), QString(), "nonsense"}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        if (address.isEmpty()) {
            for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(name);
            env.insert("XDG_RUNTIME_DIR", empty.path());
        }
        const ClientRun run =
            RunClient({QCoreApplication::applicationFilePath(), "--start-service-child"}, env);
        const QStringList traceLines = run.out.split(u'\n').filter(QRegularExpression("^trace: "));
        ASSERT_EQ(traceLines.size(), 1) << address.toStdString() << run.out.toStdString();
        EXPECT_TRUE(traceLines[0].endsWith(u": other programs cannot queue messages"));
        EXPECT_TRUE(run.exitCode == 0 && run.out.endsWith("started: no\nqueued: 1\n"))
            << run.out.toStdString();
    }
}

// --- the whole program ---------------------------------------------------------------------

QByteArray ReadFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Starts vantel in `dir` with these files and waits until it holds its D-Bus name.
bool StartProgram(QProcess &program, const QTemporaryDir &dir,
                  const std::map<QString, QByteArray> &files) {
    for (const auto &[name, bytes] : files) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return false;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path());  // its own single-instance lock
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(VANTEL_BINARY_DIR "/app/vantel", QStringList());
    const auto bus = QDBusConnection::sessionBus().interface();
    WaitUntil(
        [&] { return bus->isServiceRegistered(kName) || program.state() == QProcess::NotRunning; },
        15s);
    return program.state() == QProcess::Running;
}

struct RoadCase {
    const char *name;
    QByteArray ini;
    QStringList executes;  // in the order they are sent
    QByteArray received;   // what the phone records, in the order it gets them
};
void PrintTo(const RoadCase &c, std::ostream *os) {
    *os << c.name;
}

class WholeProgramTest : public ::testing::TestWithParam<RoadCase> {};

TEST_P(WholeProgramTest, EntryFromDBusReachesThePhoneAtTheNextTicksInSortedOrder) {
    const RoadCase &c = GetParam();
    QTemporaryDir dir;
    const QString sent = dir.filePath("sent.txt");
    QProcess phone, program;
    phone.start(VANTEL_BINARY_DIR "/tools/phonesim/vantel-phonesim",
                {"--link", dir.filePath("com1"), "--sent", sent, "--no-samples"});
    QByteArray said;
    ASSERT_TRUE(
        WaitUntil([&] { return (said += phone.readAllStandardOutput()).contains("ready "); }, 10s))
        << phone.readAllStandardError().data();
    ASSERT_TRUE(StartProgram(program, dir,
                             {{"vantel.ini",
                               "Speed=19200\r\nPort=1\r\nDialString=AT*T\r\n"
                               "ConfirmString=OK\r\nDebugMode=1\r\n" +
                                   c.ini}}))
        << program.readAll().data();

    for (const QDBusMessage &reply : ExecuteAll(QDBusConnection::sessionBus(), c.executes))
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    // One entry per send-timer tick (5 s), with room for a slow machine.
    WaitUntil([&] { return ReadFile(sent).size() >= c.received.size(); }, c.executes.size() * 10s);
    EXPECT_EQ(ReadFile(sent), c.received);

    // The program lives on after its submissions and still takes entries.
    const auto later = ExecuteAll(QDBusConnection::sessionBus(), {c.executes.front()});
    EXPECT_EQ(later.front().type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(program.state(), QProcess::Running) << program.readAll().data();
    program.kill();
    program.waitForFinished(5000);
    phone.terminate();
    phone.waitForFinished(5000);
}

// The same three-letter message to 12345 as the send form builds it for each link mode, and a
// second one to 54321 that arrives first but sorts last.
INSTANTIATE_TEST_SUITE_P(
    LinkModes, WholeProgramTest,
    ::testing::Values(RoadCase{"BlockMode",
                               "",
                               {"14,54321,0123,070204914421F3110005914523F10000A70361F118", kEntry},
                               "INSERT 070204914421F3110005912143F50000A70361F118\n"
                               "INSERT 070204914421F3110005914523F10000A70361F118\n"},
                      RoadCase{"PduMode",
                               "PDUMode=1\r\n",
                               {"14,12345,0123,04914421F3110005912143F50000A70361F118"},
                               "CMGS 14 04914421F3110005912143F50000A70361F118\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// SIGTERM, SIGHUP and SIGINT end the program the way Quit does, without a question: the list
// files are saved (the duplicate line the start-up dropped is gone), the queue is on disk from
// the acknowledgement on. Without a settings file the setup dialog is still open, the list not
// loaded yet, and the list file stays as it was. The D-Bus name is there in both cases.
TEST(WholeProgramEndTest, SignalsSaveTheListFilesAndEnd) {
    // The stored frame of an SMS-DELIVER from 4477 of 26-01-01 12:00:00 saying "kept".
    const QByteArray frame =
                         "1002210100010007911326040000F00404914477000062100010002100000004EB"
                         "329C0E1003FA56\r\n",
                     entry = kEntry.toLatin1() + "\r\n";
    const QDBusMessage list =
        QDBusMessage::createMethodCall(kName, kDBusMessagesPath, "org.vantel.Messages", "List");
    for (const auto &[sig, settings] : {std::pair{SIGTERM, true}, std::pair{SIGHUP, true},
                                        std::pair{SIGINT, true}, std::pair{SIGTERM, false}}) {
        SCOPED_TRACE(::testing::Message() << "signal " << sig << " ini " << settings);
        QTemporaryDir dir;
        QProcess program;
        std::map<QString, QByteArray> files{{"vantelq.dat", frame + frame}};
        if (settings) files["vantel.ini"] = "Port=1\r\n";
        ASSERT_TRUE(StartProgram(program, dir, files)) << program.readAll().data();
        EXPECT_EQ(ExecuteAll(QDBusConnection::sessionBus(), {kEntry}).front().type(),
                  QDBusMessage::ReplyMessage);
        EXPECT_EQ(ReadFile(dir.filePath("vantelsq.dat")), entry);
        // The list is loaded (one message, the duplicate dropped) before the signal goes.
        EXPECT_TRUE(!settings || WaitUntil(
                                     [&] {
                                         const auto arg = QDBusConnection::sessionBus()
                                                              .call(list)
                                                              .arguments()
                                                              .value(0)
                                                              .value<QDBusArgument>();
                                         QList<StoredMessage> listed;
                                         if (arg.currentType() == QDBusArgument::ArrayType)
                                             arg >> listed;
                                         return listed.size() == 1;
                                     },
                                     5s));
        ::kill(pid_t(program.processId()), sig);
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_TRUE(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0);
        EXPECT_EQ(ReadFile(dir.filePath("vantelq.dat")),
                  settings ? frame : QByteArray(frame + frame));
        EXPECT_EQ(ReadFile(dir.filePath("vantelsq.dat")), entry);
        EXPECT_EQ(ReadFile(dir.filePath("smsaddr.dat")), settings ? "" : "<missing>");
    }
}

}  // namespace
}  // namespace vantel
