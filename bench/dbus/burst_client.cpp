// Sends a burst of Execute calls to org.vantel.Vantel without waiting between them, then
// collects every reply. Prints "acknowledged <n> refused <m>"; exits 0 when all were
// acknowledged.
#include "burstentries.h"

#include <QCoreApplication>
#include <QCoroDBusPendingCall>
#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTimer>
#include <cstdio>
#include <vector>

namespace {

QCoro::Task<int> Burst(int count) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "no session bus\n");
        co_return 2;
    }
    std::vector<QDBusPendingCall> calls;
    calls.reserve(count);
    for (const QString &entry : vantel::bench::BurstEntries(count)) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.vantel.Vantel"), QStringLiteral("/SendSMS"),
            QStringLiteral("org.vantel.SendSMS"), QStringLiteral("Execute"));
        call << entry;
        calls.push_back(bus.asyncCall(call));
    }
    int acknowledged = 0;
    int refused = 0;
    for (auto &call : calls) {
        const QDBusMessage reply = co_await call;
        if (reply.type() == QDBusMessage::ReplyMessage)
            ++acknowledged;
        else {
            if (refused == 0)
                std::fprintf(stderr, "%s\n",
                             qPrintable(reply.errorName() + u' ' + reply.errorMessage()));
            ++refused;
        }
    }
    std::printf("acknowledged %d refused %d\n", acknowledged, refused);
    co_return acknowledged == count ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    int rc = 1;
    QCoro::connect(Burst(count), &app, [&rc](int result) {
        rc = result;
        QCoreApplication::exit(result);
    });
    app.exec();
    return rc;
}
