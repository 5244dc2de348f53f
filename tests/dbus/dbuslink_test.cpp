#include "app/dbuslink.h"
#include "app/sortedlistmodel.h"
#include "printers.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QCoroDBusPendingCall>
#include <QCoroProcess>
#include <QCoroTask>
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

TEST_F(DBusLinkTest, StockClientsQueueEntriesUnchangedInSortedOrder) {
    ASSERT_TRUE(service->start());
    EXPECT_TRUE(traces.isEmpty());
    bool allOnUiThread = true;
    QObject::connect(&queue, &SortedListModel::rowsInserted, [&allOnUiThread] {
        allOnUiThread = allOnUiThread && QThread::currentThread() == qApp->thread();
    });

    enum Client { DbusSend, Gdbus };
    struct Call {
        Client client;
        QString argument;  // dbus-send: the raw text; gdbus: GVariant text
        QString queued;
    };
    const Call calls[] = {
        {DbusSend, kExampleEntry, kExampleEntry},
        {Gdbus, QStringLiteral("'13,5550100,,0001000A8155050001000003C1F01B'"),
         QStringLiteral("13,5550100,,0001000A8155050001000003C1F01B")},
        {DbusSend, QString(), QString()},
        {Gdbus, QStringLiteral("'no commas at all'"), QStringLiteral("no commas at all")},
        {DbusSend,
         QStringLiteral("a\tb\x01"
                        "c\r\n"),
         QStringLiteral("a\tb\x01"
                        "c\r\n")},
        {Gdbus, QStringLiteral("'ctl\\tx\\u0001'"), QStringLiteral("ctl\tx\x01")},
        {DbusSend, QStringLiteral("Abc"), QStringLiteral("Abc")},
        {Gdbus, QStringLiteral("'ABC'"), QStringLiteral("ABC")},
        {DbusSend, QStringLiteral("abd"), QStringLiteral("abd")},
        {Gdbus, QStringLiteral("'  spaced  '"), QStringLiteral("  spaced  ")},
        {DbusSend, QStringLiteral("1,2,3,4,5"), QStringLiteral("1,2,3,4,5")},
    };
    for (const Call &call : calls) {
        const ClientRun run =
            call.client == DbusSend
                ? RunClient(QStringLiteral("dbus-send"), DbusSendExecute(call.argument))
                : RunClient(QStringLiteral("gdbus"), GdbusExecute(call.argument));
        ASSERT_TRUE(run.finished) << call.argument.toStdString();
        EXPECT_EQ(run.exitCode, 0) << call.argument.toStdString() << ": " << run.err.toStdString();
        if (call.client == Gdbus) {
            EXPECT_EQ(run.out.trimmed(), QStringLiteral("()"));
        }
        EXPECT_GE(queue.indexOf(call.queued), 0) << call.argument.toStdString();
    }
    // Ascending, case ignored; "Abc" and "ABC" compare equal and keep their arrival order.
    const QStringList expected = {
        QString(),
        QStringLiteral("  spaced  "),
        QStringLiteral("1,2,3,4,5"),
        QStringLiteral("13,5550100,,0001000A8155050001000003C1F01B"),
        kExampleEntry,
        QStringLiteral("a\tb\x01"
                       "c\r\n"),
        QStringLiteral("Abc"),
        QStringLiteral("ABC"),
        QStringLiteral("abd"),
        QStringLiteral("ctl\tx\x01"),
        QStringLiteral("no commas at all"),
    };
    EXPECT_EQ(queue.items(), expected);
    EXPECT_TRUE(allOnUiThread);
    EXPECT_TRUE(traces.isEmpty()) << "Execute writes no trace";
}

TEST_F(DBusLinkTest, DocumentedClientCommandsWorkAsWritten) {
    ASSERT_TRUE(service->start());
    QFile doc(QStringLiteral(VANTEL_SOURCE_DIR "/docs/dbus.md"));
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList commands;
    for (const QString &line : QString::fromUtf8(doc.readAll()).split(u'\n')) {
        if (line.startsWith(QStringLiteral("dbus-send ")) ||
            line.startsWith(QStringLiteral("gdbus call ")))
            commands << line;
    }
    ASSERT_EQ(commands.size(), 2);
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

TEST_F(DBusLinkTest, CommandsLongerThan64KiBAreRefusedAndNothingQueued) {
    ASSERT_TRUE(service->start());
    const QChar twoOctets(0x00E9), threeOctets(0x20AC);
    const QString fourOctets = QString::fromUtf8("\xF0\x9F\x98\x80");
    struct Case {
        const char *what;
        QString command;
        bool accepted;
    };
    const Case cases[] = {
        {"ASCII at the limit", QString(65536, u'A'), true},
        {"ASCII one over", QString(65537, u'A'), false},
        {"two-octet characters at the limit", QString(32768, twoOctets), true},
        {"two-octet characters one over", QString(32768, twoOctets) + u'A', false},
        {"three-octet characters at the limit", QString(21845, threeOctets) + u'A', true},
        {"three-octet characters one over", QString(21845, threeOctets) + QStringLiteral("AB"),
         false},
        {"four-octet characters at the limit", fourOctets.repeated(16384), true},
        {"four-octet characters one over", fourOctets.repeated(16384) + u'A', false},
        {"far over", QString(1 << 20, u'9'), false},
    };
    for (const Case &c : cases) {
        const qsizetype before = queue.count();
        std::vector<QDBusPendingCall> calls{client.asyncCall(ExecuteCall(c.command))};
        const QDBusMessage reply = QCoro::waitFor(AwaitAll(std::move(calls))).front();
        if (c.accepted) {
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << c.what;
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

TEST_F(DBusLinkTest, ExecuteStormIsAllAcknowledgedAndQueuedSorted) {
    ASSERT_TRUE(service->start());
    constexpr int kCalls = 3000;
    QStringList ascending;
    for (int i = 0; i < kCalls; ++i)
        ascending << QStringLiteral("%1,4912345,,0011000C91%2")
                         .arg(10 + i % 90)
                         .arg(i, 6, 10, QChar(u'0'));
    std::sort(ascending.begin(), ascending.end());
    QStringList arrival = ascending;
    std::shuffle(arrival.begin(), arrival.end(), std::mt19937(5));

    std::vector<QDBusPendingCall> calls;
    for (const QString &entry : arrival)
        calls.push_back(client.asyncCall(ExecuteCall(entry)));
    const auto replies = QCoro::waitFor(AwaitAll(std::move(calls)));
    const auto acknowledged = std::count_if(replies.begin(), replies.end(), [](const auto &r) {
        return r.type() == QDBusMessage::ReplyMessage;
    });
    EXPECT_EQ(acknowledged, kCalls);
    EXPECT_EQ(queue.items(), ascending);
}

TEST_F(DBusLinkTest, NameHeldByAnotherProgramFailsStartWithOneTraceLine) {
    const QString other = QStringLiteral("other-owner");
    {
        QDBusConnection owner = QDBusConnection::connectToBus(QDBusConnection::SessionBus, other);
        ASSERT_EQ(owner.interface()->registerService(QString::fromLatin1(kDBusServiceName)).value(),
                  QDBusConnectionInterface::ServiceRegistered);
        EXPECT_FALSE(service->start());
        ASSERT_EQ(traces.size(), 1);
        EXPECT_TRUE(traces.front().endsWith(u": other programs cannot queue messages"))
            << traces.front().toStdString();
        EXPECT_FALSE(service->isRunning());
    }
    QDBusConnection::disconnectFromBus(other);
    EXPECT_EQ(queue.count(), 0);
}

TEST_F(DBusLinkTest, SecondServiceFailsWithoutDisturbingTheFirst) {
    ASSERT_TRUE(service->start());
    SortedListModel otherQueue;
    QStringList otherTraces;
    auto second = MakeService(otherQueue, otherTraces);
    EXPECT_FALSE(second->start());
    EXPECT_EQ(otherTraces.size(), 1);
    second.reset();

    const ClientRun run = RunClient(QStringLiteral("dbus-send"), DbusSendExecute(kExampleEntry));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(queue.items(), QStringList{kExampleEntry});
    EXPECT_EQ(otherQueue.count(), 0);
    EXPECT_TRUE(traces.isEmpty());
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
