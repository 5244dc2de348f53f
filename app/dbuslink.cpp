#include "app/dbuslink.h"

#include "app/messagestore.h"
#include "app/sendqueuefile.h"
#include "app/sortedlistmodel.h"
#include "compose/queueentry.h"
#include "link/trace.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMetaType>
#include <QThread>

#include <algorithm>

namespace vantel {

namespace {

// UTF-8 length of a text, stopping once it passes `limit`.
qsizetype Utf8OctetsUpTo(QStringView text, qsizetype limit) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size() && n <= limit; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80)
            n += 1;
        else if (c < 0x800)
            n += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                 QChar::isLowSurrogate(text[i + 1].unicode())) {
            n += 4;
            ++i;
        } else
            n += 3;
    }
    return n;
}

bool FitsLimit(const QString &command) {
    // Every UTF-16 unit takes one to three octets: most texts are decided without counting.
    if (command.size() > kMaxExecuteOctets) return false;
    if (command.size() * 3 <= kMaxExecuteOctets) return true;
    return Utf8OctetsUpTo(command, kMaxExecuteOctets) <= kMaxExecuteOctets;
}

}  // namespace

SendSmsService::SendSmsService(SortedListModel &sendQueue, TraceFn trace, QObject *parent)
    : QObject(parent), sendQueue_(sendQueue), trace_(std::move(trace)), bus_(QString()) {}

SendSmsService::~SendSmsService() {
    stop();
}

bool SendSmsService::start() {
    return start(QDBusConnection::sessionBus());
}

bool SendSmsService::start(const QDBusConnection &bus) {
    if (running_ || exported_) return true;
    if (!bus.isConnected() || !bus.interface())
        return fail(QStringLiteral("D-Bus session bus not available"));
    bus_ = bus;
    const QString path = QString::fromLatin1(kDBusObjectPath);
    const QString name = QString::fromLatin1(kDBusServiceName);
    // The objects first, so that a caller who sees the name finds the methods behind it.
    if (!bus_.registerObject(path, this, QDBusConnection::ExportScriptableSlots))
        return fail(QStringLiteral("D-Bus object %1 cannot be exported").arg(path));
    if (messages_)
        bus_.registerObject(
            QString::fromLatin1(kDBusMessagesPath), messages_,
            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals);
    exported_ = true;
    connect(bus_.interface(), &QDBusConnectionInterface::serviceRegistered, this,
            [this, name](const QString &registered) {
                if (registered != name || running_) return;
                running_ = true;
                if (trace_)
                    trace_(QStringLiteral("D-Bus name %1 taken: other programs can queue messages")
                               .arg(name));
            });
    const auto reply =
        bus_.interface()->registerService(name, QDBusConnectionInterface::QueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        running_ = true;
    } else if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceQueued) {
        if (trace_)
            trace_(QStringLiteral("D-Bus name %1 is held by another program: waiting for it")
                       .arg(name));
    } else {
        stop();
        return fail(QStringLiteral("D-Bus name %1 cannot be taken").arg(name));
    }
    return true;
}

bool SendSmsService::fail(const QString &why) {
    if (trace_) trace_(why + QStringLiteral(": other programs cannot queue messages"));
    return false;
}

void SendSmsService::stop() {
    if (!exported_) return;
    exported_ = false;
    running_ = false;
    // Also leaves the bus's queue for the name when it was waiting there.
    bus_.unregisterService(QString::fromLatin1(kDBusServiceName));
    bus_.unregisterObject(QString::fromLatin1(kDBusObjectPath));
    if (messages_) bus_.unregisterObject(QString::fromLatin1(kDBusMessagesPath));
}

void SendSmsService::refuse(const char *error, const QString &why, const QString &command) {
    if (trace_)
        trace_(QStringLiteral("D-Bus entry refused: ") + Visible(command) + QStringLiteral(" (") +
               why + u')');
    if (calledFromDBus()) sendErrorReply(QString::fromLatin1(error), why);
}

void SendSmsService::Execute(const QString &command) {
    // A length that no send-queue entry can reach is refused before anything looks at it.
    if (!FitsLimit(command))
        return refuse(
            kDBusTooLongError,
            QStringLiteral("Execute string longer than %1 octets refused").arg(kMaxExecuteOctets),
            command);
    // The transmission's own check, so that an entry it would drop is never acknowledged; a
    // line break would split the entry in the queue file.
    QString why;
    if (command.contains(u'\r') || command.contains(u'\n'))
        return refuse(kDBusInvalidEntryError, QStringLiteral("the entry holds a line break"),
                      command);
    if (!ReadQueueEntry(command, pduMode_ && pduMode_(), &why))
        return refuse(kDBusInvalidEntryError, why, command);
    if (sendQueue_.count() >= kMaxQueueEntries || sendQueue_.totalChars() >= kMaxQueueChars)
        return refuse(kDBusQueueFullError,
                      QStringLiteral("the send queue is full (%1 entries, %2 characters)")
                          .arg(sendQueue_.count())
                          .arg(sendQueue_.totalChars()),
                      command);
    sendQueue_.add(command);
    if (!queueFile_ || !calledFromDBus()) return;

    // The reply waits until the entry is on disk; calls that come together share one write.
    setDelayedReply(true);
    queueFile_->whenSaved([bus = connection(), call = message(), command, queue = &sendQueue_](
                              bool saved, const QString &error) {
        if (saved) {
            bus.send(call.createReply());
            return;
        }
        // Not on disk: not acknowledged, so not sent either (the caller may try again).
        if (const int row = queue->indexOf(command); row >= 0) queue->removeAt(row);
        bus.send(
            call.createErrorReply(QString::fromLatin1(kDBusNotSavedError),
                                  QStringLiteral("The send queue could not be saved: ") + error));
    });
}

QDBusArgument &operator<<(QDBusArgument &out, const StoredMessage &m) {
    out.beginStructure();
    out << m.frame << m.line;
    out.endStructure();
    return out;
}

const QDBusArgument &operator>>(const QDBusArgument &in, StoredMessage &m) {
    in.beginStructure();
    in >> m.frame >> m.line;
    in.endStructure();
    return in;
}

QDBusArgument &operator<<(QDBusArgument &out, const StoredLines &list) {
    out.beginArray(QMetaType::fromType<StoredMessage>());
    for (const QString &line : list.lines) {
        out.beginStructure();
        out << FrameOfStoredLine(line) << line;
        out.endStructure();
    }
    out.endArray();
    return out;
}

const QDBusArgument &operator>>(const QDBusArgument &in, StoredLines &list) {
    list.lines.clear();
    in.beginArray();
    while (!in.atEnd()) {
        StoredMessage m;
        in >> m;
        list.lines.append(m.line);
    }
    in.endArray();
    return in;
}

MessageListService::MessageListService(LinesFn lines, QObject *parent)
    : QObject(parent), lines_(std::move(lines)) {
    qDBusRegisterMetaType<StoredMessage>();
    qDBusRegisterMetaType<QList<StoredMessage>>();
    qDBusRegisterMetaType<StoredLines>();
    // Building a reply is work for a whole core: the window keeps one of its own.
    workers_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() - 1, 1, kMaxListCalls));
}

MessageListService::~MessageListService() {
    ending_ = true;
    for (const auto &[bus, call] : std::exchange(waiting_, {}))
        bus.send(call.createErrorReply(
            QString::fromLatin1(kDBusListBusyError),
            QStringLiteral("Vantel ended before its message list was loaded")));
    // A reply being built is sent first: the workers use the connection.
    workers_.waitForDone();
}

void MessageListService::setLoading(bool loading) {
    loading_ = loading;
    if (loading_) return;
    for (const auto &[bus, call] : std::exchange(waiting_, {}))
        answer(bus, call);
}

QList<StoredMessage> MessageListService::List() {
    if (!calledFromDBus()) {
        QList<StoredMessage> list;
        for (const QString &line : lines_ ? lines_() : QStringList())
            list.append({FrameOfStoredLine(line), line});
        return list;
    }
    if (calls_ >= kMaxListCalls) {
        sendErrorReply(
            QString::fromLatin1(kDBusListBusyError),
            QStringLiteral("%1 List calls are being answered: try again later").arg(kMaxListCalls));
        return {};
    }
    ++calls_;
    setDelayedReply(true);
    if (loading_)
        waiting_.emplace_back(connection(), message());
    else
        answer(connection(), message());
    return {};
}

void MessageListService::answer(const QDBusConnection &bus, const QDBusMessage &call) {
    // The reply is the list as it stands now, whatever changes while it is built.
    workers_.start([this, bus, call, list = StoredLines{lines_ ? lines_() : QStringList()}] {
        if (ending_)
            bus.send(call.createErrorReply(QString::fromLatin1(kDBusListBusyError),
                                           QStringLiteral("Vantel is ending")));
        else
            bus.send(call.createReply(QVariant::fromValue(list)));
        --calls_;
    });
}

QString NewMessagesText(const QStringList &senders) {
    QStringList from = senders;
    from.removeDuplicates();
    QString text = senders.size() == 1 ? QStringLiteral("1 new message")
                                       : QStringLiteral("%1 new messages").arg(senders.size());
    text += QStringLiteral(" from ") + from.mid(0, 3).join(QStringLiteral(", "));
    if (from.size() > 3) text += QStringLiteral(" and %1 more").arg(from.size() - 3);
    return text;
}

void NotifyDesktop(const QDBusConnection &bus, const QString &text) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app name, id to replace, icon, summary, body, actions, hints, time-out (-1: the server's)
    call << QStringLiteral("Vantel") << uint(0) << QStringLiteral("vantel") << text << QString()
         << QStringList() << QVariantMap() << int(-1);
    // A bus without the service answers with an error that nobody waits for.
    QDBusConnection(bus).send(call);
}

}  // namespace vantel
