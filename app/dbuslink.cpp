#include "app/dbuslink.h"

#include "app/sortedlistmodel.h"

#include <QDBusConnectionInterface>
#include <QDBusError>

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
    if (running_) return true;
    if (!bus.isConnected() || !bus.interface())
        return fail(QStringLiteral("D-Bus session bus not available"));
    bus_ = bus;
    const QString path = QString::fromLatin1(kDBusObjectPath);
    const QString name = QString::fromLatin1(kDBusServiceName);
    // The object first, so that a caller who sees the name finds the method behind it.
    if (!bus_.registerObject(path, this, QDBusConnection::ExportScriptableSlots))
        return fail(QStringLiteral("D-Bus object %1 cannot be exported").arg(path));
    const auto reply =
        bus_.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus_.unregisterObject(path);
        return fail(QStringLiteral("D-Bus name %1 is taken").arg(name));
    }
    running_ = true;
    return true;
}

bool SendSmsService::fail(const QString &why) {
    if (trace_) trace_(why + QStringLiteral(": other programs cannot queue messages"));
    return false;
}

void SendSmsService::stop() {
    if (!running_) return;
    running_ = false;
    bus_.unregisterService(QString::fromLatin1(kDBusServiceName));
    bus_.unregisterObject(QString::fromLatin1(kDBusObjectPath));
}

void SendSmsService::Execute(const QString &command) {
    // The execute string is queued as it is: no check, no decoding, no trace. Only a length
    // that no send-queue entry can reach is refused, so that a client cannot flood memory.
    if (!FitsLimit(command)) {
        if (calledFromDBus())
            sendErrorReply(QString::fromLatin1(kDBusTooLongError),
                           QStringLiteral("Execute string longer than %1 octets refused")
                               .arg(kMaxExecuteOctets));
        return;
    }
    sendQueue_.add(command);
}

}  // namespace vantel
