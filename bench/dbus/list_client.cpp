// Reads the message list of org.vantel.Vantel from <count> callers at once, each on a connection
// of its own. A caller refused as busy asks again 20 ms later, until every caller has a list.
// Prints "lists <n> busy <refusals> entries <per list>"; exits 0 when every list is the same.
#include <QCoreApplication>
#include <QCoroDBusPendingCall>
#include <QCoroTask>
#include <QCoroTimer>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <cstdio>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Got {
    qsizetype entries = -1;
    size_t hash = 0;  // of every (frame, line) in order
    int busy = 0;
};

QCoro::Task<Got> ReadList(QDBusConnection bus) {
    Got got;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.vantel.Vantel"), QStringLiteral("/Messages"),
        QStringLiteral("org.vantel.Messages"), QStringLiteral("List"));
    for (;;) {
        const QDBusMessage reply = co_await bus.asyncCall(call, 300000);
        if (reply.errorName() == u"org.vantel.Messages.Error.Busy") {
            ++got.busy;
            co_await QCoro::sleepFor(20ms);
            continue;
        }
        if (reply.type() != QDBusMessage::ReplyMessage) {
            std::fprintf(stderr, "%s\n",
                         qPrintable(reply.errorName() + u' ' + reply.errorMessage()));
            co_return got;
        }
        const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
        got.entries = 0;
        list.beginArray();
        while (!list.atEnd()) {
            QString frame, line;
            list.beginStructure();
            list >> frame >> line;
            list.endStructure();
            got.hash = qHashMulti(got.hash, frame, line);
            ++got.entries;
        }
        list.endArray();
        co_return got;
    }
}

QCoro::Task<int> ReadLists(int count) {
    std::vector<QCoro::Task<Got>> callers;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("list-client-%1").arg(i);
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        if (!bus.isConnected()) {
            std::fprintf(stderr, "no session bus\n");
            co_return 2;
        }
        callers.push_back(ReadList(bus));
    }
    std::vector<Got> got;
    int busy = 0;
    for (auto &caller : callers) {
        got.push_back(co_await caller);
        busy += got.back().busy;
    }
    bool same = true;
    for (const Got &g : got)
        same = same && g.entries >= 0 && g.entries == got.front().entries &&
               g.hash == got.front().hash;
    std::printf("lists %d busy %d entries %lld\n", count, busy,
                static_cast<long long>(got.front().entries));
    co_return same ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    int rc = 1;
    QCoro::connect(ReadLists(std::max(count, 1)), &app, [&rc](int result) {
        rc = result;
        QCoreApplication::exit(result);
    });
    app.exec();
    return rc;
}
