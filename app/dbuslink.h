// Other programs queue send-queue entries over the D-Bus session bus: the service
// org.vantel.Vantel exports /SendSMS with the interface org.vantel.SendSMS and its one method
// Execute(s command), which adds the command unchanged to the send queue at its sorted place.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <functional>

namespace vantel {

class SortedListModel;

inline constexpr char kDBusServiceName[] = "org.vantel.Vantel";
inline constexpr char kDBusObjectPath[] = "/SendSMS";
inline constexpr char kDBusInterfaceName[] = "org.vantel.SendSMS";
inline constexpr char kDBusTooLongError[] = "org.vantel.SendSMS.Error.CommandTooLong";
// Longest execute string accepted, in UTF-8 octets as it travels on the bus.
inline constexpr qsizetype kMaxExecuteOctets = 64 * 1024;

class SendSmsService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vantel.SendSMS")
public:
    using TraceFn = std::function<void(const QString &)>;

    SendSmsService(SortedListModel &sendQueue, TraceFn trace, QObject *parent = nullptr);
    ~SendSmsService() override;

    // Owns the name on the user's session bus and exports the object. On failure writes one
    // trace line and returns false; the rest of the program works without the link.
    bool start();
    // The same on a given connection (a private bus in tests).
    bool start(const QDBusConnection &bus);
    bool isRunning() const { return running_; }

public Q_SLOTS:
    Q_SCRIPTABLE void Execute(const QString &command);

private:
    bool fail(const QString &why);
    void stop();

    SortedListModel &sendQueue_;
    TraceFn trace_;
    QDBusConnection bus_;
    bool running_ = false;
};

}  // namespace vantel
