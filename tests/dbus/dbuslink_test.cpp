#include "app/dbuslink.h"
#include "app/messagestore.h"
#include "app/sendqueuefile.h"
#include "app/sortedlistmodel.h"
#include "bench/dbus/burstentries.h"
#include "printers.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QCoroDBusPendingCall>
#include <QCoroProcess>
#include <QCoroTask>
#include <QCoroTimer>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <vector>

using namespace std::chrono_literals;

namespace vantel {
namespace {

const QString kExampleEntry =
    QStringLiteral("14,12345,0123,070204914421F3110005912143F50000A70361F118");

struct ClientRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// A client as a separate process, awaited while this thread's event loop delivers the calls.
QCoro::Task<ClientRun> RunClientAsync(QString program, QStringList args, QProcessEnvironment env) {
    QProcess process;
    process.setProcessEnvironment(env);
    ClientRun run;
    if (!co_await qCoro(process).start(program, args)) co_return run;
    run.finished = co_await qCoro(process).waitForFinished(30s);
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    co_return run;
}

ClientRun RunClient(const QString &program, const QStringList &args,
                    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    return QCoro::waitFor(RunClientAsync(program, args, env));
}

QStringList DbusSendExecute(const QString &command) {
    return {QStringLiteral("--session"),
            QStringLiteral("--print-reply"),
            QStringLiteral("--dest=org.vantel.Vantel"),
            QStringLiteral("/SendSMS"),
            QStringLiteral("org.vantel.SendSMS.Execute"),
            QStringLiteral("string:") + command};
}

QStringList GdbusExecute(const QString &gvariantText) {
    return {QStringLiteral("call"),
            QStringLiteral("--session"),
            QStringLiteral("--dest"),
            QStringLiteral("org.vantel.Vantel"),
            QStringLiteral("--object-path"),
            QStringLiteral("/SendSMS"),
            QStringLiteral("--method"),
            QStringLiteral("org.vantel.SendSMS.Execute"),
            gvariantText};
}

QDBusMessage ExecuteCall(const QString &command) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kDBusServiceName), QString::fromLatin1(kDBusObjectPath),
        QString::fromLatin1(kDBusInterfaceName), QStringLiteral("Execute"));
    call << command;
    return call;
}

QCoro::Task<std::vector<QDBusMessage>> AwaitAll(std::vector<QDBusPendingCall> calls) {
    std::vector<QDBusMessage> replies;
    replies.reserve(calls.size());
    for (auto &call : calls)
        replies.push_back(co_await call);
    co_return replies;
}

// "method Execute(in s command)" for every method of one interface in introspection XML.
QStringList InterfaceMembers(const QString &xml, const QString &interfaceName) {
    QStringList members;
    QXmlStreamReader reader(xml);
    bool inInterface = false;
    QString method;
    QStringList args;
    while (!reader.atEnd()) {
        reader.readNext();
        const auto name = reader.name();
        const auto attrs = reader.attributes();
        if (reader.isStartElement() && name == u"interface")
            inInterface = attrs.value(QLatin1String("name")) == interfaceName;
        else if (reader.isEndElement() && name == u"interface")
            inInterface = false;
        else if (!inInterface)
            continue;
        else if (reader.isStartElement() &&
                 (name == u"method" || name == u"signal" || name == u"property")) {
            method = name.toString() + u' ' + attrs.value(QLatin1String("name")).toString();
            args.clear();
        } else if (reader.isStartElement() && name == u"arg") {
            const auto dir = attrs.value(QLatin1String("direction"));
            args << (dir.isEmpty() ? QStringLiteral("in") : dir.toString()) + u' ' +
                        attrs.value(QLatin1String("type")).toString() + u' ' +
                        attrs.value(QLatin1String("name")).toString();
        } else if (reader.isEndElement() &&
                   (name == u"method" || name == u"signal" || name == u"property")) {
            members << method + u'(' + args.join(QStringLiteral(", ")) + u')';
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return members;
}

class DBusLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, clientName);
        ASSERT_TRUE(client.isConnected());
    }
    void TearDown() override {
        service.reset();
        QDBusConnection::disconnectFromBus(clientName);
    }

    std::unique_ptr<SendSmsService> MakeService(SortedListModel &q, QStringList &lines) {
        return std::make_unique<SendSmsService>(q,
                                                [&lines](const QString &line) { lines << line; });
    }

    SortedListModel queue;
    QStringList traces;
    std::unique_ptr<SendSmsService> service = MakeService(queue, traces);
    const QString clientName = QStringLiteral("test-client");
    QDBusConnection client{QString()};
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

    enum Client { DbusSend, Gdbus };
    struct Call {
        Client client;
        bool pduMode;
        QString argument;  // dbus-send: the raw text; gdbus: GVariant text
        QString queued;    // empty: refused with InvalidEntry and this reason
        QString reason;
    };
    const QString pduEntry = QStringLiteral("14,12345,0123,04914421F3110005912143F50000A70361F118");
    const Call calls[] = {
        {DbusSend, false, kExampleEntry, kExampleEntry, {}},
        {Gdbus,
         false,
         QStringLiteral("'14,54321,+49 171,070204914421F3110005914523F10000A70361F118'"),
         QStringLiteral("14,54321,+49 171,070204914421F3110005914523F10000A70361F118"),
         {}},
        {Gdbus, true, u'\'' + pduEntry + u'\'', pduEntry, {}},
        {DbusSend, false, pduEntry, {}, QStringLiteral("INSERT SMS")},
        {DbusSend, false, QString(), {}, QStringLiteral("fewer than four fields")},
        {Gdbus, false, QStringLiteral("'no commas at all'"), {}, QStringLiteral("fewer than four")},
        {DbusSend, false, QStringLiteral("x4,12345,0123,0702"), {}, QStringLiteral("not a number")},
        {DbusSend, false, QStringLiteral("14,12345,0123,07020"), {}, QStringLiteral("hex octets")},
        {DbusSend, false, QStringLiteral("14,1,0123\"x,0702049144"), {}, QStringLiteral("service")},
        {Gdbus,
         false,
         QStringLiteral("'14,1\\r\\n26-12-06 10:00:00 MSG: 1002,0123,070204914421F3110005912143F5"
                        "0000A70361F118'"),
         {},
         QStringLiteral("line break")},
    };
    for (const Call &call : calls) {
        SCOPED_TRACE(call.argument.toStdString());
        pdu = call.pduMode;
        const ClientRun run =
            call.client == DbusSend
                ? RunClient(QStringLiteral("dbus-send"), DbusSendExecute(call.argument))
                : RunClient(QStringLiteral("gdbus"), GdbusExecute(call.argument));
        ASSERT_TRUE(run.finished);
        if (call.queued.isEmpty()) {
            EXPECT_NE(run.exitCode, 0);
            EXPECT_TRUE(run.err.contains(QString::fromLatin1(kDBusInvalidEntryError)))
                << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(call.reason)) << run.err.toStdString();
            continue;
        }
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        if (call.client == Gdbus) {
            EXPECT_EQ(run.out.trimmed(), QStringLiteral("()"));
        }
        EXPECT_GE(queue.indexOf(call.queued), 0);
    }
    EXPECT_EQ(queue.items(),
              (QStringList{
                  pduEntry, kExampleEntry,
                  QStringLiteral("14,54321,+49 171,070204914421F3110005914523F10000A70361F118")}));
    EXPECT_TRUE(allOnUiThread);
    // One trace line per refusal, with what came from outside made visible.
    EXPECT_EQ(traces.size(), 7) << traces.join(u'\n').toStdString();
    for (const QString &line : traces)
        EXPECT_FALSE(line.contains(u'\r') || line.contains(u'\n')) << line.toStdString();
    EXPECT_TRUE(traces.last().contains(QStringLiteral("14,1<0D><0A>26-12-06")))
        << traces.last().toStdString();
}

TEST_F(DBusLinkTest, DocumentedClientCommandsWorkAsWritten) {
    MessageListService messages([] { return QList<StoredMessage>(); });
    service->setMessageList(&messages);
    ASSERT_TRUE(service->start());
    QFile doc(QStringLiteral(VANTEL_SOURCE_DIR "/docs/dbus.md"));
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList commands;
    for (const QString &line : QString::fromUtf8(doc.readAll()).split(u'\n')) {
        if (line.startsWith(QStringLiteral("dbus-send ")) ||
            line.startsWith(QStringLiteral("gdbus call ")))
            commands << line;
    }
    ASSERT_EQ(commands.size(), 4);
    for (const QString &command : commands) {
        const ClientRun run = RunClient(QStringLiteral("sh"), {QStringLiteral("-c"), command});
        ASSERT_TRUE(run.finished) << command.toStdString();
        EXPECT_EQ(run.exitCode, 0) << command.toStdString() << ": " << run.err.toStdString();
    }
    EXPECT_EQ(queue.items(), QStringList(2, kExampleEntry));
}

TEST_F(DBusLinkTest, LiveObjectMatchesShippedIntrospectionXml) {
    ASSERT_TRUE(service->start());
    const ClientRun run = RunClient(
        QStringLiteral("gdbus"),
        {QStringLiteral("introspect"), QStringLiteral("--session"), QStringLiteral("--dest"),
         QStringLiteral("org.vantel.Vantel"), QStringLiteral("--object-path"),
         QStringLiteral("/SendSMS"), QStringLiteral("--xml")});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    QFile shipped(QStringLiteral(VANTEL_SOURCE_DIR "/docs/org.vantel.SendSMS.xml"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QString iface = QString::fromLatin1(kDBusInterfaceName);
    const QStringList fromDocs = InterfaceMembers(QString::fromUtf8(shipped.readAll()), iface);
    EXPECT_EQ(fromDocs, QStringList{QStringLiteral("method Execute(in s command)")});
    EXPECT_EQ(InterfaceMembers(run.out, iface), fromDocs) << run.out.toStdString();
}

// A readable Block-mode entry: the destination is not looked at, the data is padded with hex.
QString EntryOf(const QString &destination, qsizetype hexDigits) {
    return QStringLiteral("14,") + destination + QStringLiteral(",0,07020011") +
           QString(hexDigits, u'A');
}

QDBusMessage Call(QDBusConnection &client, const QString &command) {
    std::vector<QDBusPendingCall> calls{client.asyncCall(ExecuteCall(command))};
    return QCoro::waitFor(AwaitAll(std::move(calls))).front();
}

TEST_F(DBusLinkTest, CommandsLongerThan64KiBAreRefusedAndNothingQueued) {
    ASSERT_TRUE(service->start());
    const QChar twoOctets(0x00E9), threeOctets(0x20AC);
    const QString fourOctets = QString::fromUtf8("\xF0\x9F\x98\x80");
    struct Case {
        const char *what;
        QString command;
        bool accepted;
    };
    // "14,,0,07020011" is 14 octets: 65522 more reach the limit.
    const Case cases[] = {
        {"ASCII at the limit", EntryOf({}, 65522), true},
        {"ASCII one over", EntryOf(QStringLiteral("A"), 65522), false},
        {"two-octet characters at the limit", EntryOf(QString(32761, twoOctets), 0), true},
        {"two-octet characters one over", EntryOf(QString(32761, twoOctets) + u'A', 0), false},
        {"three-octet characters at the limit",
         EntryOf(QString(21840, threeOctets) + QStringLiteral("AA"), 0), true},
        {"three-octet characters one over",
         EntryOf(QString(21840, threeOctets) + QStringLiteral("AAA"), 0), false},
        {"four-octet characters at the limit",
         EntryOf(fourOctets.repeated(16380) + QStringLiteral("AA"), 0), true},
        {"four-octet characters one over",
         EntryOf(fourOctets.repeated(16380) + QStringLiteral("AAA"), 0), false},
        {"far over", EntryOf({}, 1 << 20), false},
    };
    for (const Case &c : cases) {
        const qsizetype before = queue.count();
        const QDBusMessage reply = Call(client, c.command);
        if (c.accepted) {
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
                << c.what << reply.errorMessage().toStdString();
            EXPECT_TRUE(reply.arguments().isEmpty()) << c.what;
            EXPECT_EQ(queue.count(), before + 1) << c.what;
            EXPECT_GE(queue.indexOf(c.command), 0) << c.what;
        } else {
            EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << c.what;
            EXPECT_EQ(reply.errorName(), QString::fromLatin1(kDBusTooLongError)) << c.what;
            EXPECT_EQ(queue.count(), before) << c.what;
        }
    }

    // A stock client sees the refusal as a failed call.
    const ClientRun run =
        RunClient(QStringLiteral("dbus-send"), DbusSendExecute(QString(70000, u'7')));
    ASSERT_TRUE(run.finished);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QString::fromLatin1(kDBusTooLongError))) << run.err.toStdString();
    EXPECT_EQ(queue.count(), 4);
}

TEST_F(DBusLinkTest, ExecuteStormIsAllAcknowledgedUpToTheQueueBound) {
    ASSERT_TRUE(service->start());
    QStringList arrival = bench::BurstEntries(int(kMaxQueueEntries));
    QStringList ascending = arrival;
    std::stable_sort(ascending.begin(), ascending.end(), SortedListModel::lessThan);

    std::vector<QDBusPendingCall> calls;
    for (const QString &entry : arrival)
        calls.push_back(client.asyncCall(ExecuteCall(entry)));
    const auto replies = QCoro::waitFor(AwaitAll(std::move(calls)));
    const auto acknowledged = std::count_if(replies.begin(), replies.end(), [](const auto &r) {
        return r.type() == QDBusMessage::ReplyMessage;
    });
    EXPECT_EQ(acknowledged, kMaxQueueEntries);
    EXPECT_EQ(queue.items(), ascending);

    // Full by count, then by size: refused, and nothing queued changes.
    const QDBusMessage full = Call(client, kExampleEntry);
    EXPECT_EQ(full.errorName(), QString::fromLatin1(kDBusQueueFullError));
    EXPECT_EQ(queue.items(), ascending);
    queue.clear();
    const QString big = EntryOf({}, 65536 - 14);
    for (qsizetype i = 0; i < kMaxQueueChars / big.size(); ++i)
        ASSERT_EQ(Call(client, big).type(), QDBusMessage::ReplyMessage) << i;
    EXPECT_EQ(Call(client, kExampleEntry).errorName(), QString::fromLatin1(kDBusQueueFullError));
    EXPECT_EQ(queue.count(), 256);
}

TEST_F(DBusLinkTest, NameHeldByAnotherProgramIsTakenWhenItLeaves) {
    const QString other = QStringLiteral("other-owner");
    {
        QDBusConnection owner = QDBusConnection::connectToBus(QDBusConnection::SessionBus, other);
        ASSERT_EQ(owner.interface()->registerService(QString::fromLatin1(kDBusServiceName)).value(),
                  QDBusConnectionInterface::ServiceRegistered);
        EXPECT_TRUE(service->start());
        EXPECT_FALSE(service->isRunning());
        EXPECT_EQ(traces, QStringList{QStringLiteral(
                              "D-Bus name org.vantel.Vantel is held by another program: "
                              "waiting for it")});
    }
    QDBusConnection::disconnectFromBus(other);
    EXPECT_TRUE(QCoro::waitFor([this]() -> QCoro::Task<bool> {
        for (int i = 0; i < 100 && !service->isRunning(); ++i)
            co_await QCoro::sleepFor(20ms);
        co_return service->isRunning();
    }()));
    ASSERT_EQ(traces.size(), 2);
    EXPECT_EQ(traces[1], u"D-Bus name org.vantel.Vantel taken: other programs can queue messages");
    const ClientRun run = RunClient(QStringLiteral("dbus-send"), DbusSendExecute(kExampleEntry));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(queue.items(), QStringList{kExampleEntry});
}

TEST_F(DBusLinkTest, SecondServiceWaitsWithoutDisturbingTheFirst) {
    ASSERT_TRUE(service->start());
    SortedListModel otherQueue;
    QStringList otherTraces;
    auto second = MakeService(otherQueue, otherTraces);
    const QString secondName = QStringLiteral("second-program");
    EXPECT_TRUE(
        second->start(QDBusConnection::connectToBus(QDBusConnection::SessionBus, secondName)));
    EXPECT_FALSE(second->isRunning());
    EXPECT_EQ(otherTraces.size(), 1);
    second.reset();
    QDBusConnection::disconnectFromBus(secondName);

    const ClientRun run = RunClient(QStringLiteral("dbus-send"), DbusSendExecute(kExampleEntry));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(queue.items(), QStringList{kExampleEntry});
    EXPECT_EQ(otherQueue.count(), 0);
    EXPECT_TRUE(traces.isEmpty());
}

TEST_F(DBusLinkTest, ExecuteIsAcknowledgedOnceTheEntryIsOnDisk) {
    QTemporaryDir dir;
    struct Case {
        const char *what;
        QString folder;
        bool saved;
    };
    const Case cases[] = {{"writable folder", dir.path(), true},
                          {"missing folder", dir.filePath(QStringLiteral("gone")), false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SortedListModel q;
        QStringList lines;
        MessageStore store([&lines](const QString &t) { lines << t; }, QDir(c.folder));
        SendQueueFile file(q, store);
        file.load();
        auto s = MakeService(q, lines);
        s->setQueueFile(&file);
        ASSERT_TRUE(s->start());
        // Each reply is checked against the file as it stands when the reply arrives.
        const QStringList entries = bench::BurstEntries(300);
        std::vector<QDBusPendingCall> calls;
        for (const QString &e : entries)
            calls.push_back(client.asyncCall(ExecuteCall(e)));
        bool allOnDisk = true;
        int acknowledged = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            const QDBusMessage reply = QCoro::waitFor(AwaitAll({calls[i]})).front();
            if (reply.type() != QDBusMessage::ReplyMessage) {
                EXPECT_EQ(reply.errorName(), QString::fromLatin1(kDBusNotSavedError));
                continue;
            }
            ++acknowledged;
            const auto onDisk = store.ReadListFile(SendQueueFileName);
            allOnDisk = allOnDisk && onDisk && onDisk->contains(entries[i]);
        }
        EXPECT_EQ(acknowledged, c.saved ? 300 : 0);
        EXPECT_EQ(q.count(), c.saved ? 300 : 0);
        if (c.saved) {
            EXPECT_TRUE(allOnDisk);
            EXPECT_EQ(store.ReadListFile(SendQueueFileName), q.items());
        } else {
            EXPECT_TRUE(lines.last().startsWith(u"Error saving vantelsq.dat: "))
                << lines.last().toStdString();
        }
        s.reset();
    }
}

TEST_F(DBusLinkTest, MessagesAreListedAndAnnounced) {
    QList<StoredMessage> stored{{QStringLiteral("1002AB"), QStringLiteral("line one 1002AB")}};
    MessageListService messages([&stored] { return stored; });
    service->setMessageList(&messages);
    ASSERT_TRUE(service->start());

    const ClientRun list =
        RunClient(QStringLiteral("gdbus"),
                  {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                   QStringLiteral("org.vantel.Vantel"), QStringLiteral("--object-path"),
                   QStringLiteral("/Messages"), QStringLiteral("--method"),
                   QStringLiteral("org.vantel.Messages.List")});
    EXPECT_EQ(list.out.trimmed(), u"([('1002AB', 'line one 1002AB')],)") << list.err.toStdString();

    // dbus-monitor sees the signal as it goes out.
    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--session"),
                   QStringLiteral("type='signal',interface='org.vantel.Messages'")});
    ASSERT_TRUE(monitor.waitForStarted());
    QCoro::waitFor(QCoro::sleepFor(300ms));
    Q_EMIT messages.MessageAdded(QStringLiteral("1002CD"), QStringLiteral("line two 1002CD"));
    const bool seen = QCoro::waitFor([&]() -> QCoro::Task<bool> {
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains("line two 1002CD"); ++i) {
            co_await QCoro::sleepFor(20ms);
            out += monitor.readAllStandardOutput();
        }
        co_return out.contains("member=MessageAdded") && out.contains("line two 1002CD");
    }());
    monitor.kill();
    monitor.waitForFinished();
    EXPECT_TRUE(seen);

    const ClientRun run = RunClient(
        QStringLiteral("gdbus"),
        {QStringLiteral("introspect"), QStringLiteral("--session"), QStringLiteral("--dest"),
         QStringLiteral("org.vantel.Vantel"), QStringLiteral("--object-path"),
         QStringLiteral("/Messages"), QStringLiteral("--xml")});
    QFile shipped(QStringLiteral(VANTEL_SOURCE_DIR "/docs/org.vantel.Messages.xml"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QString iface = QStringLiteral("org.vantel.Messages");
    const QStringList fromDocs = InterfaceMembers(QString::fromUtf8(shipped.readAll()), iface);
    EXPECT_EQ(fromDocs,
              (QStringList{QStringLiteral("method List(out a(ss) messages)"),
                           QStringLiteral("signal MessageAdded(out s frame, out s line)")}));
    EXPECT_EQ(InterfaceMembers(run.out, iface), fromDocs) << run.out.toStdString();
}

TEST_F(DBusLinkTest, ServiceReleasesNameWhenDestroyed) {
    const QString name = QString::fromLatin1(kDBusServiceName);
    ASSERT_TRUE(service->start());
    EXPECT_TRUE(client.interface()->isServiceRegistered(name).value());
    service.reset();
    EXPECT_FALSE(client.interface()->isServiceRegistered(name).value());

    auto again = MakeService(queue, traces);
    EXPECT_TRUE(again->start());
    EXPECT_TRUE(traces.isEmpty());
}

TEST(DBusLinkWithoutBus, StartFailsWithOneTraceLineAndQueueStillWorks) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    struct Case {
        const char *what;
        std::function<void(QProcessEnvironment &)> prepare;
    };
    const Case cases[] = {
        {"address of a dead socket",
         [&](QProcessEnvironment &env) {
             env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                        QStringLiteral("unix:path=") + empty.filePath(QStringLiteral("no-bus")));
         }},
        {"no address at all",
         [&](QProcessEnvironment &env) {
             env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
             env.remove(QStringLiteral("DISPLAY"));
             env.remove(QStringLiteral("WAYLAND_DISPLAY"));
             env.insert(QStringLiteral("XDG_RUNTIME_DIR"), empty.path());
         }},
        {"malformed address",
         [&](QProcessEnvironment &env) {
             env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("nonsense"));
         }},
    };
    for (const Case &c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        c.prepare(env);
        const ClientRun run = RunClient(QCoreApplication::applicationFilePath(),
                                        {QStringLiteral("--start-service-child")}, env);
        ASSERT_TRUE(run.finished) << c.what;
        EXPECT_EQ(run.exitCode, 0) << c.what;
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        const QStringList traceLines = lines.filter(QRegularExpression(QStringLiteral("^trace: ")));
        ASSERT_EQ(traceLines.size(), 1) << c.what << ": " << run.out.toStdString();
        EXPECT_TRUE(traceLines.front().endsWith(u": other programs cannot queue messages"))
            << traceLines.front().toStdString();
        EXPECT_TRUE(lines.contains(QStringLiteral("started: no"))) << c.what;
        EXPECT_TRUE(lines.contains(QStringLiteral("queued: 1"))) << c.what;
    }
}

}  // namespace
}  // namespace vantel
