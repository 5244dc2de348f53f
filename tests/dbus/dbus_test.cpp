// The D-Bus link on the test's own bus: the service in this process called by the stock clients
// (dbus-send, gdbus, dbus-monitor) and by a connection of its own, and the whole road through the
// vantel program and the simulated phone as separate processes.
#include "app/dbuslink.h"
#include "app/messagestore.h"
#include "app/sendqueuefile.h"
#include "app/sortedlistmodel.h"
#include "bench/app/messagefile.h"
#include "bench/dbus/burstentries.h"
#include "table.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoroDBusPendingCall>
#include <QCoroTask>
#include <QCoroTimer>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace vantel {
namespace {

const QString kEntry = QStringLiteral("14,12345,0123,070204914421F3110005912143F50000A70361F118");
const QString kName = QString::fromLatin1(kDBusServiceName);

// Runs the event loop until `done` holds or `limit` has passed; returns `done()`.
bool WaitUntil(std::chrono::milliseconds limit, const std::function<bool()> &done) {
    return QCoro::waitFor([&]() -> QCoro::Task<bool> {
        for (const auto end = std::chrono::steady_clock::now() + limit;
             !done() && std::chrono::steady_clock::now() < end;)
            co_await QCoro::sleepFor(20ms);
        co_return done();
    }());
}

struct ClientRun {
    int exitCode = -1;  // also when it did not end
    QString out, err;
};

// A client as a separate process (argv[0] the program), while the event loop serves its calls.
ClientRun RunClient(QStringList argv,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(argv.takeFirst(), argv);
    const bool ended = WaitUntil(30s, [&p] { return p.state() == QProcess::NotRunning; });
    return {ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Execute called by dbus-send, or by gdbus (the command then goes as GVariant text).
QStringList ExecuteBy(bool gdbus, QString command) {
    QStringList argv = QString(gdbus ? "gdbus call --session --dest %1 --object-path /SendSMS "
                                       "--method %2.Execute ARG"
                                     : "dbus-send --session --print-reply --dest=%1 /SendSMS "
                                       "%2.Execute ARG")
                           .arg(kName, kDBusInterfaceName)
                           .split(u' ');
    argv.last() =
        gdbus ? "'" + command.replace("\r", "\\r").replace("\n", "\\n") + "'" : "string:" + command;
    return argv;
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

class DBusLinkTest : public ::testing::Test {
protected:
    void SetUp() override { service->setMessageList(&messages); }
    std::unique_ptr<SendSmsService> MakeService(SortedListModel &q, QStringList &lines) {
        return std::make_unique<SendSmsService>(q, [&lines](const QString &l) { lines << l; });
    }

    SortedListModel queue;
    QStringList traces;
    QStringList stored;  // list lines
    MessageListService messages{[this] { return stored; }};
    std::unique_ptr<SendSmsService> service = MakeService(queue, traces);
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("test-client"));
};

TEST_F(DBusLinkTest, StockClientsQueueReadableEntriesAndGetTheReasonForOthers) {
    bool pdu = false;
    service->setPduMode([&pdu] { return pdu; });
    ASSERT_TRUE(service->start());
    const QString other = "14,54321,+49 171,070204914421F3110005914523F10000A70361F118",
                  pduEntry = "14,12345,0123,04914421F3110005912143F50000A70361F118",
                  invalid = kDBusInvalidEntryError;
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
        const ClientRun run = RunClient(ExecuteBy(call.gdbus, call.command));
        EXPECT_EQ(run.exitCode == 0, call.error.isEmpty()) << run.err.left(300).toStdString();
        EXPECT_TRUE(run.err.contains(call.error) && run.err.contains(call.reason));
        EXPECT_TRUE(!call.gdbus || !call.error.isEmpty() || run.out.trimmed() == u"()");
    }
    EXPECT_EQ(queue.items(), (QStringList{pduEntry, kEntry, other}));
    // One trace line per refusal, with what came from outside made visible.
    ASSERT_EQ(traces.size(), 8) << traces.join(u'\n').toStdString();
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
            const qsizetype before = queue.count(), accepted = command == atLimit;
            SCOPED_TRACE(::testing::Message() << octets << "-octet characters, " << command.size());
            EXPECT_EQ(ExecuteAll(client, {command}).front().errorName(),
                      accepted ? QString() : kDBusTooLongError);
            EXPECT_EQ(queue.count(), before + accepted);
            EXPECT_EQ(queue.indexOf(command) >= 0, accepted);
        }
    }
}

// One interface element of introspection XML, without the blanks between elements.
QString InterfaceXml(const QString &xml, const QString &name) {
    const qsizetype from = xml.indexOf("<interface name=\"" + name + "\">");
    QString element = xml.mid(from, from < 0 ? 0 : xml.indexOf("</interface>", from) - from);
    return element.replace(QRegularExpression(">\\s+<"), "><");
}

// Every command line of the documentation, run as written: the calls succeed (List gives the
// stored messages), both monitors see MessageAdded go out, and introspection (as XML) gives the
// interfaces exactly as the shipped XML files describe them.
TEST_F(DBusLinkTest, DocumentedCommandsWorkAsWrittenAndLiveObjectsMatchShippedXml) {
    stored = {"line one 1002AB"};
    ASSERT_TRUE(service->start());
    QFile doc(QStringLiteral(VANTEL_SOURCE_DIR "/docs/dbus.md"));
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly | QIODevice::Text));
    const QRegularExpression commandLine("^(dbus-send|dbus-monitor|gdbus) ");
    const QStringList commands = QString::fromUtf8(doc.readAll()).split(u'\n').filter(commandLine);
    ASSERT_EQ(commands.size(), 8);
    QProcess monitors[2];
    QByteArray seen[2];
    int watching = 0;
    for (const QString &command : commands) {
        if (command.contains("monitor ") && watching < 2) {
            monitors[watching++].start("sh", {"-c", "exec " + command});
            continue;
        }
        const ClientRun run = RunClient({"sh", "-c", command});
        const QString iface =
            command.endsWith("/SendSMS") ? kDBusInterfaceName : "org.vantel.Messages";
        QFile shipped(VANTEL_SOURCE_DIR "/docs/" + iface + ".xml");
        if (command.startsWith("gdbus introspect") && shipped.open(QIODevice::ReadOnly)) {
            const QString fromDocs = InterfaceXml(QString::fromUtf8(shipped.readAll()), iface);
            EXPECT_TRUE(fromDocs.contains("<method name=") || fromDocs.contains("<signal name="));
            EXPECT_EQ(InterfaceXml(RunClient({"sh", "-c", command + " --xml"}).out, iface),
                      fromDocs);
        }
        EXPECT_EQ(run.exitCode, 0) << command.toStdString() << ": " << run.err.toStdString();
        const bool list = command.startsWith("gdbus call") && command.contains("List");
        EXPECT_TRUE(!list || run.out.trimmed() == u"([('1002AB', 'line one 1002AB')],)");
    }
    EXPECT_EQ(queue.items(), QStringList(2, kEntry));
    const auto bothHaveIt = [&] {  // sent again until both monitors are listening
        Q_EMIT messages.MessageAdded("1002CD", "line two 1002CD");
        bool all = true;
        for (int i : {0, 1})
            all = (seen[i] += monitors[i].readAllStandardOutput()).contains("line two 1002CD") &&
                  seen[i].contains("MessageAdded") && all;
        return all;
    };
    EXPECT_TRUE(WaitUntil(10s, bothHaveIt)) << seen[0].data() << seen[1].data();
    for (QProcess &monitor : monitors)
        monitor.kill(), monitor.waitForFinished();
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
    auto owner = QDBusConnection::connectToBus(QDBusConnection::SessionBus, other).interface();
    ASSERT_EQ(owner->registerService(kName).value(), QDBusConnectionInterface::ServiceRegistered);
    EXPECT_TRUE(service->start());
    EXPECT_FALSE(service->isRunning());
    EXPECT_EQ(traces,
              QStringList{"D-Bus name " + kName + " is held by another program: waiting for it"});
    QDBusConnection::disconnectFromBus(other);
    EXPECT_TRUE(WaitUntil(5s, [this] { return service->isRunning(); }));
    ASSERT_EQ(traces.size(), 2);
    EXPECT_EQ(traces[1], "D-Bus name " + kName + " taken: other programs can queue messages");

    // A second copy waits behind this one without disturbing it.
    SortedListModel secondQueue;
    QStringList secondTraces;
    auto second = MakeService(secondQueue, secondTraces);
    EXPECT_TRUE(second->start(QDBusConnection::connectToBus(QDBusConnection::SessionBus, other)));
    EXPECT_FALSE(second->isRunning());
    EXPECT_EQ(secondTraces.size(), 1);
    second.reset();
    QDBusConnection::disconnectFromBus(other);
    EXPECT_EQ(RunClient(ExecuteBy(false, kEntry)).exitCode, 0);
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
            onDisk +=
                store.ReadListFile(SendQueueFileName).value_or(QStringList()).contains(entries[i]);
        });
        EXPECT_EQ(acknowledged, writable ? 300 : 0);
        EXPECT_EQ(onDisk, acknowledged);
        EXPECT_EQ(q.count(), acknowledged);
        EXPECT_TRUE(writable ? store.ReadListFile(SendQueueFileName) == q.items()
                             : lines.last().startsWith(u"Error saving vantelsq.dat: "));
    }
}

// Each (frame, line) of a List() reply.
QList<std::pair<QString, QString>> Pairs(const QDBusMessage &reply) {
    QList<std::pair<QString, QString>> pairs;
    for (const StoredMessage &m : qdbus_cast<QList<StoredMessage>>(reply.arguments().value(0)))
        pairs.append({m.frame, m.line});
    return pairs;
}

// List() calls that come while the list is loading wait for the whole list; calls past the bound
// are refused at once as busy. Every answer holds each (frame, line) the store gives, in the
// list's order, a damaged frame with blanks in it included; then the bound is free again.
TEST_F(DBusLinkTest, ListDuringLoadWaitsForTheWholeListAndCallsPastTheBoundAreBusy) {
    const QByteArray file = bench::MessageFile(3000) + "1002 not a frame 1003\r\n";
    MessageStore store(MessageStore::TraceFn{});
    messages.setLoading(true);
    ASSERT_TRUE(service->start());
    const QDBusMessage list =
        QDBusMessage::createMethodCall(kName, kDBusMessagesPath, "org.vantel.Messages", "List");
    std::vector<QDBusPendingCall> calls;
    const std::vector<QDBusMessage> replies =
        QCoro::waitFor([&]() -> QCoro::Task<std::vector<QDBusMessage>> {
            for (ListFileLines lines(file); !lines.atEnd(); co_await QCoro::sleepFor(10ms)) {
                if (calls.size() < kMaxListCalls + 2) calls.push_back(client.asyncCall(list));
                store.AddMessages(lines.take(250));
                stored = store.model().items();
            }
            for (int i = 0; i < 250 && !calls.back().isFinished(); ++i)
                co_await QCoro::sleepFor(20ms);
            for (const auto &call : calls)
                EXPECT_EQ(call.isFinished(), &call - calls.data() >= kMaxListCalls);
            store.flushPending();
            stored = store.model().items();
            messages.setLoading(false);
            std::vector<QDBusMessage> got;
            for (auto &call : calls)
                got.push_back(co_await call);
            got.push_back(co_await client.asyncCall(list));
            co_return got;
        }());
    QList<std::pair<QString, QString>> whole;
    for (int row = 0; row < store.model().count(); ++row)
        whole.append({store.frameAt(row), store.model().at(row)});
    ASSERT_EQ(whole.size(), 3001);
    EXPECT_TRUE(std::any_of(whole.begin(), whole.end(),
                            [](const auto &p) { return p.first == u"1002 not a frame 1003"; }));
    for (const QDBusMessage &reply : replies) {
        const bool busy = &reply - replies.data() == kMaxListCalls ||
                          &reply - replies.data() == kMaxListCalls + 1;
        EXPECT_EQ(reply.errorName(), busy ? QString(kDBusListBusyError) : QString());
        EXPECT_TRUE(busy || Pairs(reply) == whole) << Pairs(reply).size();
    }
}

TEST(DBusLinkWithoutBus, StartFailsWithOneTraceLine) {
    // A dead socket, no address at all, a malformed address.
    for (const QString address : {"unix:path=/nonexistent/no-bus", "", "nonsense"}) {
        SortedListModel queue;
        QStringList traces;
        SendSmsService service(queue, [&traces](const QString &line) { traces << line; });
        EXPECT_FALSE(service.start(QDBusConnection::connectToBus(address, "no-bus" + address)));
        EXPECT_FALSE(service.isRunning());
        ASSERT_EQ(traces.size(), 1) << address.toStdString();
        EXPECT_TRUE(traces[0].endsWith(u": other programs cannot queue messages"));
        QDBusConnection::disconnectFromBus("no-bus" + address);
    }
}

QByteArray ReadFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A folder with its files, the simulated phone on its com1 and copies of the vantel program.
struct ProgramFolder {
    QTemporaryDir dir;
    QProcess phone;
    ~ProgramFolder() { phone.terminate(), phone.waitForFinished(5000); }
    QByteArray read(const char *name) const { return ReadFile(dir.filePath(name)); }
    // Each file that has bytes; a null one is not written.
    bool write(const std::vector<std::pair<const char *, QByteArray>> &files) const {
        for (const auto &[name, bytes] : files) {
            QFile f(dir.filePath(name));
            if (!bytes.isNull() &&
                !(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()))
                return false;
        }
        return true;
    }
    bool startPhone(const QStringList &options) {
        phone.start(VANTEL_BINARY_DIR "/tools/phonesim/vantel-phonesim",
                    QStringList{"--link", dir.filePath("com1"), "--sent", dir.filePath("sent.txt"),
                                "--no-samples", "--transcript", dir.filePath("phone.txt")} +
                        options);
        QByteArray said;
        return WaitUntil(
            10s, [&] { return (said += phone.readAllStandardOutput()).contains("ready "); });
    }
    // A copy with a runtime folder (and so a single-instance lock) of its own, started in the
    // folder or, as from the menu, elsewhere and taken there by --folder; true while it runs once
    // the D-Bus name is held.
    bool start(QProcess &program, const char *runtime, bool byFolder = false, rlim_t limit = 0) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", dir.filePath(runtime));
        QDir(dir.path()).mkdir(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(byFolder ? QDir::tempPath() : dir.path());
        program.setChildProcessModifier([limit] {
            const rlimit size{limit, limit};
            if (limit) setrlimit(RLIMIT_FSIZE, &size);
        });
        program.start(VANTEL_BINARY_DIR "/app/vantel",
                      byFolder ? QStringList{"--folder", dir.path()} : QStringList());
        WaitUntil(30s, [&] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(kName) ||
                   program.state() == QProcess::NotRunning;
        });
        return program.state() == QProcess::Running;
    }
};

// The same three-letter message to 12345 as the send form builds it for each link mode, and a
// second one to 54321.
const QByteArray
    kIni = "Speed=19200\r\nPort=1\r\nDialString=AT*T\r\nConfirmString=OK\r\nDebugMode=1\r\n",
    kPduIni = kIni + "PDUMode=1\r\n",
    // The stored frame of an SMS-DELIVER from 4477 of 26-01-01 12:00:00: "kept".
    kFrame = "1002210100010007911326040000F00404914477000062100010002100000004EB329C0E1003FA56\r\n";
const QString kBlockEntry = kEntry,
              kBlockEntry2 = "14,54321,0123,070204914421F3110005914523F10000A70361F118",
              kPduEntry = "14,12345,0123,04914421F3110005912143F50000A70361F118",
              kPduEntry2 = "14,54321,0123,04914421F3110005914523F10000A70361F118",
              kPduLong = "151,12345,0123,04914421F3110005912143F50004A78C" + QString(280, u'A'),
              kPart1 = "18,12345,,510005912143F50004A707050003420201AA",
              kPart2 = "18,12345,,510005912143F50004A707050003420202AA";
// The list files as Quit saves them: the duplicate line the start-up dropped is gone.
const std::vector<std::pair<const char *, QByteArray>> kSaved{{"vantelq.dat", kFrame},
                                                              {"smsaddr.dat", ""}};
QString Insert(const QString &entry) {
    return "INSERT " + entry.section(u',', 3);
}
QString Cmgs(const QString &entry) {
    return "CMGS " + entry.section(u',', 0, 0) + ' ' + entry.section(u',', 3);
}
QByteArray Lines(const QStringList &lines, const char *end = "\r\n") {
    QByteArray out;
    for (const QString &line : lines)
        out += line.toLatin1() + end;
    return out;
}

// The moments at which the queue's promise is tried on the real program: every queued message
// goes out exactly once or is still queued, and nothing given to the program disappears.
enum class Moment {
    None,           // the program sends what it can; then `signal`
    Signal,         // SIGTERM once the phone has taken `before` messages (it holds its answer)
    TwoSignals,     // the same, and a second SIGTERM 300 ms later
    FolderInPlace,  // after `before` messages a folder takes the queue file's place for 12 s
    SecondCopy,     // a second copy, with a runtime folder of its own, starts on the folder
};
struct QueueRun {
    const char *name;
    QByteArray ini{};  // none: no settings file, the setup dialog stays open
    bool phone = true;
    QStringList phoneOptions{};
    QByteArray list{};       // vantelq.dat at the start
    QByteArray queue{};      // vantelsq.dat at the start
    QStringList executes{};  // over D-Bus once it runs; the first again once the others went out
    bool byFolder = false;   // started elsewhere, as from the menu, and taken there by --folder
    Moment moment = Moment::None;
    int before = 0;
    rlim_t fileSizeLimit = 0;  // RLIMIT_FSIZE of the program; 0: none
    int signal = SIGTERM;
    QStringList sent{};       // what the phone takes, in this order
    QByteArray queueAfter{};  // vantelsq.dat at the end (with Moment::None, before the signal too)
    QByteArray rejected = "<missing>";
    std::vector<std::pair<const char *, QByteArray>> after{};  // other files at the end
    QStringList logged{};                                      // each is in vantel.log
    int endsWithinMs = 15000;                                  // from the last signal to the exit
    QByteArray phoneGot{};  // in what the phone received (hex), after the last submission
};
void PrintTo(const QueueRun &c, std::ostream *os) {
    *os << c.name;
}

class QueueRunTest : public ::testing::TestWithParam<QueueRun> {};

TEST_P(QueueRunTest, EveryQueuedMessageGoesOutOnceOrStaysQueued) {
    const QueueRun &c = GetParam();
    ProgramFolder folder;
    const auto sentLines = [&] {
        const QByteArray sent = folder.read("sent.txt");
        return sent == "<missing>" ? QStringList()
                                   : QString::fromLatin1(sent).split(u'\n', Qt::SkipEmptyParts);
    };
    ASSERT_TRUE(!c.phone || folder.startPhone(c.phoneOptions))
        << folder.phone.readAllStandardError().data();
    ASSERT_TRUE(
        folder.write({{"vantel.ini", c.ini}, {"vantelsq.dat", c.queue}, {"vantelq.dat", c.list}}));
    QProcess program, second;
    QByteArray refused;
    ASSERT_TRUE(folder.start(program, "run1", c.byFolder, c.fileSizeLimit))
        << program.readAllStandardError().data();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusPendingCall early = bus.asyncCall(
        QDBusMessage::createMethodCall(kName, kDBusMessagesPath, "org.vantel.Messages", "List"),
        60000);
    for (const QDBusMessage &reply : ExecuteAll(bus, c.executes))
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    // Nothing sends without a phone: what was acknowledged is on disk.
    EXPECT_TRUE(c.phone || folder.read("vantelsq.dat") == c.queue + Lines(c.executes));

    const auto waitForSent = [&](qsizetype n) {
        return WaitUntil(n * 10s + 5s, [&] { return sentLines().size() >= n; });
    };
    QElapsedTimer sinceSignal;
    switch (c.moment) {
        case Moment::SecondCopy:
            folder.start(second, "run2");
            EXPECT_TRUE(WaitUntil(30s, [&] {
                return (refused += second.readAllStandardError())
                    .contains("Vantel is already running");
            })) << refused.data();
            second.kill();
            second.waitForFinished();
            break;
        case Moment::FolderInPlace: {
            ASSERT_TRUE(waitForSent(c.before));
            const QString queueFile = folder.dir.filePath("vantelsq.dat");
            ASSERT_TRUE(QFile::rename(queueFile, queueFile + ".moved") && QDir().mkdir(queueFile));
            WaitUntil(12s, [] { return false; });
            EXPECT_EQ(sentLines().size(), c.before)
                << "sent while the queue file could not be written";
            EXPECT_TRUE(QDir().rmdir(queueFile));
            break;
        }
        case Moment::Signal:
        case Moment::TwoSignals:
            ASSERT_TRUE(waitForSent(c.before));
            ::kill(pid_t(program.processId()), SIGTERM);
            if (c.moment == Moment::TwoSignals) {
                WaitUntil(300ms, [] { return false; });
                ::kill(pid_t(program.processId()), SIGTERM);
            }
            sinceSignal.start();
            break;
        case Moment::None:
            break;
    }
    if (!sinceSignal.isValid()) {
        const bool again = !c.executes.isEmpty();  // the program still takes entries
        waitForSent(std::max(c.sent.size() - again, qsizetype(0)));
        if (again) {
            EXPECT_EQ(ExecuteAll(bus, {c.executes.front()}).front().type(),
                      QDBusMessage::ReplyMessage);
        }
        waitForSent(c.sent.size());
        // More than a send-timer tick: a message sent twice would show.
        if (c.phone) WaitUntil(c.sent.isEmpty() ? 12s : 7s, [] { return false; });
        EXPECT_EQ(folder.read("vantelsq.dat"), c.queueAfter) << "before the signal";
        // Loaded before the signal goes; the setup dialog holds the call back.
        EXPECT_EQ(WaitUntil(c.ini.isNull() ? 1s : 60s, [&] { return early.isFinished(); }),
                  !c.ini.isNull());
        ::kill(pid_t(program.processId()), c.signal);
        sinceSignal.start();
    }
    EXPECT_TRUE(WaitUntil(std::chrono::milliseconds(c.endsWithinMs),
                          [&] { return program.state() == QProcess::NotRunning; }))
        << "still running " << sinceSignal.elapsed() << " ms after the signal";
    if (program.state() != QProcess::NotRunning) program.kill(), program.waitForFinished();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().data();

    // The List() call made as soon as the name was there got the whole list, never the part
    // loaded so far, in the list's order (each frame once); ending the setup dialog refused it.
    ASSERT_TRUE(WaitUntil(5s, [&] { return early.isFinished(); }));
    QStringList frames = QString::fromLatin1(c.list).split("\r\n", Qt::SkipEmptyParts), got, lines;
    for (const auto &[frame, line] : Pairs(early.reply()))
        got << frame, lines << line;
    frames.sort(), frames.removeDuplicates(), got.sort();
    EXPECT_EQ(early.reply().errorName(), c.ini.isNull() ? QString(kDBusListBusyError) : QString());
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(), SortedListModel::lessThan));
    EXPECT_EQ(got, c.ini.isNull() ? QStringList() : frames);
    EXPECT_EQ(sentLines(), c.sent);
    EXPECT_EQ(folder.read("vantelsq.dat"), c.queueAfter);
    EXPECT_EQ(folder.read("vantelsq.rejected"), c.rejected);
    for (const auto &[name, bytes] : c.after)
        EXPECT_EQ(folder.read(name), bytes) << name;
    const QByteArray log = folder.read("vantel.log");
    for (const QString &text : c.logged)
        EXPECT_TRUE(log.contains(text.toLatin1())) << text.toStdString() << "\nnot in\n"
                                                   << log.data();
    if (!c.phoneGot.isEmpty()) {
        QByteArray received;  // "<ms> RX <hex>" lines, joined
        for (const QByteArray &line : folder.read("phone.txt").split('\n'))
            if (const qsizetype at = line.indexOf(" RX "); at >= 0) received += line.mid(at + 4);
        const QByteArray last =
            c.sent.isEmpty() ? QByteArray() : c.sent.last().section(u' ', -1).toLatin1();
        EXPECT_TRUE(received.mid(received.lastIndexOf(last)).contains(c.phoneGot))
            << received.data();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, QueueRunTest,
    ::testing::Values(
        // Entries put in over D-Bus reach the phone at the following send-timer ticks in sorted
        // order (the first to arrive sorts last). SIGTERM, SIGHUP and SIGINT end the program the
        // way Quit does, without a question, and save the list files.
        QueueRun{.name = "DBusEntriesReachTheBlockModePhoneAndSigtermSaves",
                 .ini = kIni,
                 .list = kFrame + kFrame,
                 .executes = {kBlockEntry2, kBlockEntry},
                 .byFolder = true,
                 .sent = {Insert(kBlockEntry), Insert(kBlockEntry2), Insert(kBlockEntry2)},
                 .after = kSaved},
        QueueRun{.name = "DBusEntryReachesThePduModePhoneAndSighupSaves",
                 .ini = kPduIni,
                 .list = kFrame + kFrame,
                 .executes = {kPduEntry},
                 .byFolder = true,
                 .signal = SIGHUP,
                 .sent = {Cmgs(kPduEntry), Cmgs(kPduEntry)},
                 .after = kSaved},
        QueueRun{.name = "SigintWithoutPhoneSaves",
                 .ini = "Port=1\r\n",
                 .phone = false,
                 .list = kFrame + kFrame,
                 .executes = {kEntry},
                 .byFolder = true,
                 .signal = SIGINT,
                 .queueAfter = Lines({kEntry, kEntry}),
                 .after = kSaved},
        // Without a settings file the setup dialog is still open, the list not loaded yet: the
        // list file stays as it was, and the queue is on disk from the acknowledgement on.
        QueueRun{.name = "SigtermInTheSetupDialog",
                 .phone = false,
                 .list = kFrame + kFrame,
                 .executes = {kEntry},
                 .byFolder = true,
                 .queueAfter = Lines({kEntry, kEntry}),
                 .after = {{"vantelq.dat", kFrame + kFrame}, {"smsaddr.dat", "<missing>"}}},
        // A signal while the phone holds the outcome: the exchange ends as it would, closing
        // Block mode, and the sent entry leaves the queue before the program ends.
        // A long list is still loading when the first List() call comes.
        QueueRun{.name = "ListDuringStartUpGetsTheWholeList",
                 .ini = kIni,
                 .phone = false,
                 .list = bench::MessageFile(20000),
                 .queue = ""},
        QueueRun{.name = "SignalWhileBlockInsertIsInThePhonesHands",
                 .ini = kIni,
                 .phoneOptions = {"--insert-delay-ms", "4000"},
                 .queue = Lines({kBlockEntry}),
                 .moment = Moment::Signal,
                 .before = 1,
                 .sent = {Insert(kBlockEntry)},
                 .logged = {"Vantel ends once the exchange with the phone is over", "MSG: 100225"},
                 .endsWithinMs = 10000,
                 .phoneGot = "10021E1003FFE2"},
        QueueRun{.name = "SignalWhileAtCmgsIsInThePhonesHands",
                 .ini = kPduIni,
                 .phoneOptions = {"--cmgs-delay-ms", "4000"},
                 .queue = Lines({kPduEntry, kPduEntry2}),
                 .moment = Moment::Signal,
                 .before = 1,
                 .sent = {Cmgs(kPduEntry)},
                 .queueAfter = Lines({kPduEntry2}),
                 .logged = {"Vantel ends once the exchange with the phone is over"},
                 .endsWithinMs = 10000},
        // A second signal ends at once: the entry the phone took is still queued.
        QueueRun{.name = "SecondSignalEndsAtOnce",
                 .ini = kIni,
                 .phoneOptions = {"--insert-delay-ms", "30000"},
                 .queue = Lines({kBlockEntry}),
                 .moment = Moment::TwoSignals,
                 .before = 1,
                 .sent = {Insert(kBlockEntry)},
                 .queueAfter = Lines({kBlockEntry}),
                 .endsWithinMs = 3000},
        // A queue file that cannot be written holds the queue back from the start.
        QueueRun{.name = "QueueFileOverTheSizeLimitHoldsTheQueueBack",
                 .ini = kPduIni,
                 .queue = Lines({kPduEntry, kPduLong}),
                 .fileSizeLimit = 300,
                 .sent = {},
                 .queueAfter = Lines({kPduEntry, kPduLong}),
                 .logged = {"Send queue held back: vantelsq.dat cannot be written ("}},
        // A sent entry whose removal cannot be saved stops the queue until it can.
        QueueRun{.name = "RemovalThatCannotBeSavedStopsTheQueueUntilItCan",
                 .ini = kIni,
                 .phoneOptions = {"--insert-delay-ms", "3000"},
                 .queue = Lines({kBlockEntry, kBlockEntry2}),
                 .moment = Moment::FolderInPlace,
                 .before = 1,
                 .sent = {Insert(kBlockEntry), Insert(kBlockEntry2)},
                 .logged = {"Send queue held back: vantelsq.dat cannot be written (",
                            "Send queue resumed: vantelsq.dat can be written again"}},
        QueueRun{.name = "SecondCopyOnTheFolderIsRefused",
                 .ini = kPduIni,
                 .queue = Lines({kPduEntry2, kPduEntry}),
                 .moment = Moment::SecondCopy,
                 .sent = {Cmgs(kPduEntry), Cmgs(kPduEntry2)}},
        // Entries of the other link mode wait; lines end at CR too; a line no mode can read
        // is set aside as it was; a series goes out in the order of its parts.
        QueueRun{.name = "OtherModesEntriesWaitAndSeriesGoOutInOrder",
                 .ini = kPduIni,
                 .queue = Lines({kBlockEntry, kPart2, "garbage", kPart1}, "\r"),
                 .sent = {Cmgs(kPart1), Cmgs(kPart2)},
                 .queueAfter = Lines({kBlockEntry}),
                 .rejected = "garbage\r\n",
                 .logged = {"Unreadable send-queue entry moved to vantelsq.rejected: garbage "
                            "(fewer than four fields)"}}),
    [](const auto &info) { return std::string(info.param.name); });

// A stand-in for the desktop's notification service: it keeps what it is shown.
class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList shown;
public Q_SLOTS:
    uint Notify(const QString &app, uint, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int) {
        shown << app + '|' + icon + '|' + summary + '|' + body;
        return uint(shown.size());
    }
};

TEST(DesktopNotificationTest, NewMessagesAreShownWhenTheServiceIsThere) {
    const struct {
        QStringList senders;
        QString text;
    } cases[] = {
        {{"+447700900123"}, "1 new message from +447700900123"},
        {{"+447700900123", "Phonesim", "+447700900123"},
         "3 new messages from +447700900123, Phonesim"},
        {{"1", "2", "3", "4", "5", "1"}, "6 new messages from 1, 2, 3 and 2 more"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NewMessagesText(c.senders), c.text);

    // Without the service nothing happens; with it, the text arrives as the summary.
    QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifier");
    NotifyDesktop(client, "1 new message from 1");
    QDBusConnection desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
    Notifications service;
    ASSERT_TRUE(desktop.registerObject("/org/freedesktop/Notifications", &service,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop.registerService("org.freedesktop.Notifications"));
    NotifyDesktop(client, cases[1].text);
    EXPECT_TRUE(WaitUntil(10s, [&] { return !service.shown.isEmpty(); }));
    EXPECT_EQ(service.shown, QStringList{"Vantel|vantel|" + cases[1].text + '|'});
    QDBusConnection::disconnectFromBus("desktop");
    QDBusConnection::disconnectFromBus("notifier");
}

}  // namespace
}  // namespace vantel

#include "dbus_test.moc"
