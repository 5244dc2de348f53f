// A session bus of the test's own: a dbus-daemon child whose address is put into
// DBUS_SESSION_BUS_ADDRESS before anything touches the bus, so that tests running side by side
// (and any program on the desktop's bus) do not compete for the service name.
#pragma once

#include <QCoroProcess>
#include <QCoroTask>
#include <QProcess>
#include <QString>
#include <chrono>

namespace vantel::testing {

class PrivateBus {
public:
    PrivateBus() = default;
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;
    ~PrivateBus() {
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            daemon_.waitForFinished(3000);
        }
    }

    // Starts the daemon and exports its address to this process and its children.
    bool start() {
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                              QStringLiteral("--print-address=1")});
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.start(QIODevice::ReadOnly);
        address_ = QCoro::waitFor(readAddress());
        if (address_.isEmpty()) return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
        return true;
    }
    const QString &address() const { return address_; }

private:
    QCoro::Task<QString> readAddress() {
        if (!co_await qCoro(daemon_).waitForStarted(5000)) co_return QString();
        QByteArray line;
        while (!line.contains('\n')) {
            const QByteArray chunk = co_await qCoro(daemon_).readAll(std::chrono::seconds(5));
            if (chunk.isEmpty()) co_return QString();
            line += chunk;
        }
        co_return QString::fromUtf8(line.left(line.indexOf('\n'))).trimmed();
    }

    QProcess daemon_;
    QString address_;
};

}  // namespace vantel::testing
