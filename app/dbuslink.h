// Other programs queue send-queue entries over the D-Bus session bus: the service
// org.vantel.Vantel exports /SendSMS with the interface org.vantel.SendSMS and its one method
// Execute(s command), which checks the command as the transmission will and adds it unchanged
// to the send queue at its sorted place. /Messages (org.vantel.Messages) lists the stored
// messages and announces each one a retrieval stores.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <utility>
#include <vector>

namespace vantel {

class SendQueueFile;
class SortedListModel;

// One stored message as org.vantel.Messages gives it: (s frame, s line).
struct StoredMessage {
    QString frame;
    QString line;
};
QDBusArgument &operator<<(QDBusArgument &out, const StoredMessage &m);
const QDBusArgument &operator>>(const QDBusArgument &in, StoredMessage &m);

// The list lines of a List() reply, marshalled as a(ss): each line with its frame, taken out of
// the line only while the reply is written, so that no second copy of the list is kept.
struct StoredLines {
    QStringList lines;
};
QDBusArgument &operator<<(QDBusArgument &out, const StoredLines &list);
// Keeps the lines of what it reads (the frames are in them).
const QDBusArgument &operator>>(const QDBusArgument &in, StoredLines &list);

inline constexpr char kDBusListBusyError[] = "org.vantel.Messages.Error.Busy";
// List() calls waiting or being answered at one time; more are refused as busy.
inline constexpr int kMaxListCalls = 4;

// List() answers from other threads: the list lines are taken on the window's thread (shared,
// not copied, so that costs nothing however long the list is) and the reply, tens of megabytes
// for a long list, is built and sent by a worker, so the window never waits for it.
class MessageListService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vantel.Messages")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.vantel.Messages\">\n"
                "    <method name=\"List\">\n"
                "      <arg name=\"messages\" type=\"a(ss)\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <signal name=\"MessageAdded\">\n"
                "      <arg name=\"frame\" type=\"s\" direction=\"out\"/>\n"
                "      <arg name=\"line\" type=\"s\" direction=\"out\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
public:
    // The list lines in their sorted order; each holds its frame.
    using LinesFn = std::function<QStringList()>;
    explicit MessageListService(LinesFn lines, QObject *parent = nullptr);
    // Calls still waiting are refused; replies being built are finished and sent first.
    ~MessageListService() override;

    // While the list is loading, List() calls wait, and are answered once it is whole.
    void setLoading(bool loading);

public Q_SLOTS:
    Q_SCRIPTABLE QList<vantel::StoredMessage> List();

Q_SIGNALS:
    Q_SCRIPTABLE void MessageAdded(const QString &frame, const QString &line);

private:
    void answer(const QDBusConnection &bus, const QDBusMessage &call);

    LinesFn lines_;
    bool loading_ = false;
    std::vector<std::pair<QDBusConnection, QDBusMessage>> waiting_;
    std::atomic<int> calls_{0};  // waiting or being answered
    std::atomic<bool> ending_{false};
    QThreadPool workers_;
};

// "2 new messages from +447700900123, Phonesim": what a retrieval that stored messages from
// these senders (one a message) tells the desktop.
QString NewMessagesText(const QStringList &senders);
// Shows `text` through the freedesktop notification service on `bus`, without waiting for it;
// nothing happens when there is no such service.
void NotifyDesktop(const QDBusConnection &bus, const QString &text);

inline constexpr char kDBusServiceName[] = "org.vantel.Vantel";
inline constexpr char kDBusObjectPath[] = "/SendSMS";
inline constexpr char kDBusInterfaceName[] = "org.vantel.SendSMS";
inline constexpr char kDBusMessagesPath[] = "/Messages";
inline constexpr char kDBusTooLongError[] = "org.vantel.SendSMS.Error.CommandTooLong";
inline constexpr char kDBusInvalidEntryError[] = "org.vantel.SendSMS.Error.InvalidEntry";
inline constexpr char kDBusQueueFullError[] = "org.vantel.SendSMS.Error.QueueFull";
inline constexpr char kDBusNotSavedError[] = "org.vantel.SendSMS.Error.NotSaved";
// Longest execute string accepted, in UTF-8 octets as it travels on the bus.
inline constexpr qsizetype kMaxExecuteOctets = 64 * 1024;
// Execute is refused while the send queue holds this many entries or characters.
inline constexpr qsizetype kMaxQueueEntries = 10000;
inline constexpr qsizetype kMaxQueueChars = 16 * 1024 * 1024;

class SendSmsService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vantel.SendSMS")
public:
    using TraceFn = std::function<void(const QString &)>;

    SendSmsService(SortedListModel &sendQueue, TraceFn trace, QObject *parent = nullptr);
    ~SendSmsService() override;

    // Entries are checked for the link mode this tells (Block mode when not set).
    void setPduMode(std::function<bool()> pduMode) { pduMode_ = std::move(pduMode); }
    // With a queue file, Execute replies once its entry is on disk.
    void setQueueFile(SendQueueFile *file) { queueFile_ = file; }
    // Exported at /Messages by start().
    void setMessageList(MessageListService *messages) { messages_ = messages; }

    // Exports the objects and asks for the name on the user's session bus. When another
    // program holds the name, waits in the bus's queue and takes it once it is free (with a
    // trace line each time). Without a bus writes one trace line and returns false; the rest
    // of the program works without the link.
    bool start();
    // The same on a given connection (a private bus in tests).
    bool start(const QDBusConnection &bus);
    // The name is ours.
    bool isRunning() const { return running_; }

public Q_SLOTS:
    Q_SCRIPTABLE void Execute(const QString &command);

private:
    bool fail(const QString &why);
    void stop();
    void refuse(const char *error, const QString &why, const QString &command);

    SortedListModel &sendQueue_;
    TraceFn trace_;
    std::function<bool()> pduMode_;
    SendQueueFile *queueFile_ = nullptr;
    MessageListService *messages_ = nullptr;
    QDBusConnection bus_;
    bool exported_ = false;
    bool running_ = false;
};

}  // namespace vantel

Q_DECLARE_METATYPE(vantel::StoredMessage)
Q_DECLARE_METATYPE(vantel::StoredLines)
