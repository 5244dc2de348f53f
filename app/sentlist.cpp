#include "app/sentlist.h"

#include <QDateTime>

#include "app/messagestore.h"
#include "compose/queueentry.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/tables.h"
#include "pdu/userdata.h"

namespace vantel {

namespace {

QString NowText() {
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

// The time as the message list writes times, in local time.
QString ShownTime(const QString &stored) {
    const QDateTime time = QDateTime::fromString(stored, Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yy/MM/dd HH:mm:ss"))
                          : stored;
}

QString ShownNumber(const MessageFields &fields) {
    return fields.addressType.startsWith(u"International") ? u'+' + fields.address : fields.address;
}

// GSM 03.40 9.2.2.3: TP-ST of a status report, after TP-MR, TP-RA, TP-SCTS and TP-DT; the
// TPDU follows the MESSAGE frame's five octets and its service-centre address field.
int ReportStatus(QStringView content) {
    const qsizetype tpdu = 6 + HexOctetAt(content, 5);
    const int digits = HexOctetAt(content, tpdu + 2);
    return digits < 0 ? -1 : HexOctetAt(content, tpdu + 4 + (digits + 1) / 2 + 14);
}

}  // namespace

QString SentLine(const SentMessage &m) {
    return m.time + u',' +
           (m.reference < 0 ? QStringLiteral("none") : QString::number(m.reference)) + u',' +
           m.entry + u',' + m.state;
}

std::optional<SentMessage> ReadSentLine(QStringView line) {
    const QList<QStringView> f = line.split(u',');
    if (f.size() < 7) return std::nullopt;
    SentMessage m;
    m.time = f[0].toString();
    bool ok = f[1] == u"none";
    if (!ok) m.reference = f[1].toInt(&ok);
    if (!ok || m.reference > 255) return std::nullopt;
    const qsizetype entryAt = f[0].size() + f[1].size() + 2;
    const qsizetype stateAt = entryAt + f[2].size() + f[3].size() + f[4].size() + f[5].size() + 4;
    m.entry = line.mid(entryAt, stateAt - entryAt - 1).toString();
    m.state = line.mid(stateAt).toString();
    return m;
}

QString ReportState(int status, QStringView dischargeTime) {
    // Class 0 completed the transaction, class 1 is still being tried; class 2 (permanent),
    // class 3 (no more attempts) and reserved values end it.
    if (status >= 0 && status < 0x20)
        return QStringLiteral("Delivered ") + dischargeTime.left(14).toString();
    const QString prefix = status >= 0x20 && status < 0x40 ? QStringLiteral("Still trying: ")
                                                           : QStringLiteral("Failed: ");
    return prefix + StatusName(status);
}

bool SameNumber(QStringView a, QStringView b, QStringView countryCode) {
    const QString x = NormaliseNumber(a, countryCode);
    return !x.isEmpty() && x == NormaliseNumber(b, countryCode);
}

SentMessages::SentMessages(MessageStore &store, QObject *parent)
    : QAbstractTableModel(parent), store_(store) {}

int SentMessages::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : count();
}

int SentMessages::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SentMessages::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const SentMessage &m = at(index.row());
    if (role == Qt::ToolTipRole) return SentLine(m);
    if (role != Qt::DisplayRole) return {};
    if (index.column() == Time) return ShownTime(m.time);
    if (index.column() == State) return m.state;
    const std::optional<QueuedMessage> q = ReadQueuedMessage(m.entry);
    if (!q) return index.column() == Text ? QVariant(m.entry) : QVariant();
    if (index.column() == Recipient) return q->recipient;
    if (index.column() == Part) return PartText(q->part);
    QString text = q->text.left(200);
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    return text;
}

QVariant SentMessages::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char *const kHeaders[] = {"Time", "To", "Text", "Part", "State"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section])
                                                 : QVariant();
}

void SentMessages::load() {
    const std::optional<QStringList> lines = store_.LoadListFile(SentListFile);
    if (!lines) return;
    beginResetModel();
    for (const QString &line : *lines) {
        if (std::optional<SentMessage> m = ReadSentLine(line))
            sent_.push_back(std::move(*m));
        else if (!line.isEmpty())
            unread_ << line;
    }
    endResetModel();
}

bool SentMessages::add(const QString &entry, int reference, QString *error) {
    const std::optional<QueuedMessage> q = ReadQueuedMessage(entry);
    SentMessage m{
        NowText(), reference, entry,
        q && q->reportRequested ? QStringLiteral("Awaiting report") : QStringLiteral("Sent")};
    beginInsertRows({}, count(), count());
    sent_.push_back(m);
    endInsertRows();
    if (store_.AppendLines(SentListFile, {SentLine(m)}, error)) return true;
    dirty_ = true;
    return false;
}

int SentMessages::reportedRow(const MessageFields &report, QStringView countryCode) const {
    const int reference = HexPairValue(report.flagOrReference);
    const QString recipient = ShownNumber(report);
    for (int row = count() - 1; row >= 0; --row) {
        const SentMessage &m = at(row);
        if (m.reference != reference) continue;
        const std::optional<QueuedMessage> q = ReadQueuedMessage(m.entry);
        if (q && q->reportRequested && SameNumber(q->recipient, recipient, countryCode)) return row;
    }
    return -1;
}

int SentMessages::applyReport(QStringView content, QStringView countryCode) {
    MessageFields report;
    DecodeMessage(content, report);
    const int row = reportedRow(report, countryCode);
    if (row < 0) return row;
    sent_[std::size_t(row)].state = ReportState(ReportStatus(content), report.time);
    Q_EMIT dataChanged(index(row, State), index(row, State));
    save();
    return row;
}

QString SentMessages::describe(int row) const {
    const SentMessage &m = at(row);
    const std::optional<QueuedMessage> q = ReadQueuedMessage(m.entry);
    if (!q) return QStringLiteral("The message sent %1: %2").arg(ShownTime(m.time), m.entry);
    QString text = q->text.left(40);
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    return QStringLiteral("The message sent %1 to %2 (%3): %4")
        .arg(ShownTime(m.time), q->recipient, PartText(q->part), text);
}

bool SentMessages::save(QString *error) {
    QStringList lines = unread_;
    for (const SentMessage &m : sent_)
        lines << SentLine(m);
    const bool saved = store_.WriteListFile(SentListFile, lines, error);
    dirty_ = !saved;
    return saved;
}

bool SentMessages::writable(QString *error) {
    return !dirty_ || save(error);
}

}  // namespace vantel
