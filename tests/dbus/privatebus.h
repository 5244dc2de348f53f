// A session bus of the test's own: a dbus-daemon child whose address is put into
// DBUS_SESSION_BUS_ADDRESS before anything touches the bus, so that tests running side by side
// (and any program on the desktop's bus) do not compete for the service name.
#pragma once

#include <QProcess>
#include <QString>

namespace vantel::testing {

class PrivateBus {
public:
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(3000);
    }

    // Starts the daemon and exports its address to this process and its children.
    bool start() {
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")},
                      QIODevice::ReadOnly);
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
        return true;
    }
    const QString &address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

}  // namespace vantel::testing
