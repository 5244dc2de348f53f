// A session bus of the test's own (a dbus-daemon child), so that tests running side by side and
// the desktop's programs do not compete for the service name.
#pragma once

#include <QProcess>

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
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        const QByteArray address = daemon_.readLine().trimmed();
        return !address.isEmpty() && qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }

private:
    QProcess daemon_;
};

}  // namespace vantel::testing
