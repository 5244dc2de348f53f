#include "compose/queueentry.h"

#include "pdu/summary.h"
#include "pdu/userdata.h"

namespace vantel {

namespace {

bool IsDecimal(QStringView s) {
    if (s.isEmpty() || s.size() > 5) return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9') return false;
    return true;
}

bool IsServiceCentre(QStringView s) {
    for (QChar c : s)
        if (!(c.isDigit() && c.unicode() < 0x80) && c != u'+' && c != u' ') return false;
    return true;
}

// GSM 04.11 8.2.5.2: the service-centre address field is a length octet counting the octets
// after it (type of address and digits), at most 11 of them.
constexpr int MaxScaOctets = 11;

QString CheckBlockData(QStringView data) {
    const qsizetype octets = data.size() / 2;
    if (octets < 4 || HexOctetAt(data, 0) != 0x07 || HexOctetAt(data, 1) != 0x02)
        return QStringLiteral("data is not an INSERT SMS request (0702...)");
    const int sca = HexOctetAt(data, 2);
    if (sca > MaxScaOctets || 3 + sca >= octets)
        return QStringLiteral("the service-centre address field does not fit the data");
    // GSM 03.40 9.2.3.1: TP-MTI 01 is SMS-SUBMIT.
    if ((HexOctetAt(data, 3 + sca) & 0x03) != 0x01)
        return QStringLiteral("the message is not an SMS-SUBMIT");
    return {};
}

QString CheckPduData(QStringView data, int count) {
    const qsizetype octets = data.size() / 2;
    if (count < 1) return QStringLiteral("the octet count is 0");
    if (octets == count) return {};
    const int sca = HexOctetAt(data, 0);
    if (sca <= MaxScaOctets && octets == 1 + sca + count) return {};
    return QStringLiteral("the data is not a message of %1 octets").arg(count);
}

}  // namespace

std::optional<QueueEntry> ReadQueueEntry(QStringView entry, bool pduMode, QString *why) {
    auto refuse = [why](const QString &reason) -> std::optional<QueueEntry> {
        if (why) *why = reason;
        return std::nullopt;
    };
    const qsizetype c1 = entry.indexOf(u',');
    const qsizetype c2 = c1 < 0 ? -1 : entry.indexOf(u',', c1 + 1);
    const qsizetype c3 = c2 < 0 ? -1 : entry.indexOf(u',', c2 + 1);
    if (c3 < 0) return refuse(QStringLiteral("fewer than four fields"));
    QueueEntry e{entry.left(c1).toString(), entry.mid(c1 + 1, c2 - c1 - 1).toString(),
                 entry.mid(c2 + 1, c3 - c2 - 1).toString(), entry.mid(c3 + 1).toString()};
    if (!IsDecimal(e.count)) return refuse(QStringLiteral("the octet count is not a number"));
    if (!IsHexOctets(e.data)) return refuse(QStringLiteral("the data is not whole hex octets"));
    if (!IsServiceCentre(e.serviceCentre))
        return refuse(QStringLiteral("the service centre holds more than \"+\" and digits"));
    const QString wrong = pduMode ? CheckPduData(e.data, e.count.toInt()) : CheckBlockData(e.data);
    if (!wrong.isEmpty()) return refuse(wrong);
    return e;
}

namespace {

// The octet where the TPDU starts: after "0702" and the service-centre field in Block mode; in
// PDU mode after the service-centre field when the data is longer than the octet count says.
qsizetype TpduStart(const QueueEntry &entry, bool pduMode) {
    const QStringView data = entry.data;
    if (!pduMode) return 3 + HexOctetAt(data, 2);
    if (data.size() / 2 != entry.count.toInt()) return 1 + HexOctetAt(data, 0);
    return 0;
}

}  // namespace

Concatenation SeriesPlace(const QueueEntry &entry, bool pduMode) {
    const QStringView data = entry.data;
    qsizetype at = TpduStart(entry, pduMode);
    // GSM 03.40 9.2.2.2: first octet (TP-VPF in bits 3-4, TP-UDHI in bit 6), TP-MR, TP-DA
    // (length in digits, type, semi-octets), TP-PID, TP-DCS, TP-VP (none, 1 or 7 octets), TP-UDL.
    const int first = HexOctetAt(data, at);
    const int digits = HexOctetAt(data, at + 2);
    if (first < 0 || digits < 0) return {};
    const int vpf = (first >> 3) & 0x03;
    at += 3 + 1 + (digits + 1) / 2 + 2 + (vpf == 2 ? 1 : vpf == 0 ? 0 : 7) + 1;
    if (2 * at > data.size()) return {};
    return FindConcatenation(data.sliced(2 * at), first & 0x40);
}

std::optional<QueuedMessage> ReadQueuedMessage(QStringView entry, bool pduMode) {
    std::optional<QueueEntry> e = ReadQueueEntry(entry, pduMode);
    if (!e) e = ReadQueueEntry(entry, pduMode = !pduMode);
    if (!e) return std::nullopt;
    QString tpdu = e->data.mid(2 * TpduStart(*e, pduMode));
    const int first = HexOctetAt(tpdu, 0);
    MessageFields fields;
    DecodeSubmitFields(tpdu, fields);
    QueuedMessage m;
    m.recipient =
        fields.addressType.startsWith(u"International") ? u'+' + fields.address : fields.address;
    m.text = fields.text;
    m.part = FindConcatenation(fields.userData, first & 0x40);
    // GSM 03.40 9.2.3.5: TP-SRR, bit 5 of the first octet.
    m.reportRequested = first & 0x20;
    return m;
}

QString PartText(const Concatenation &part) {
    return part.valid() ? QStringLiteral("part %1/%2").arg(part.part).arg(part.total)
                        : QStringLiteral("part 1/1");
}

QString QueueEntryDisplay(QStringView entry) {
    const std::optional<QueuedMessage> m = ReadQueuedMessage(entry);
    if (!m) return entry.toString();
    QString text = m->text.left(40);
    for (QChar &c : text)
        if (c == u'\r' || c == u'\n') c = u' ';
    return m->recipient.leftJustified(20) + u' ' + text.leftJustified(40) + u' ' +
           PartText(m->part);
}

qsizetype NextQueueEntry(const QStringList &queue, bool pduMode, qsizetype *otherMode) {
    qsizetype next = -1, others = 0;
    std::optional<QueueEntry> head;
    Concatenation series;
    for (qsizetype row = 0; row < queue.size(); ++row) {
        std::optional<QueueEntry> e = ReadQueueEntry(queue[row], pduMode);
        if (!e && ReadQueueEntry(queue[row], !pduMode)) {
            ++others;
            continue;
        }
        // An entry no link mode can send goes to the transmission, which sets it aside.
        if (!e) {
            if (!head) {
                next = row;
                if (!otherMode) break;
                head = QueueEntry();
            }
            continue;
        }
        if (!head) {
            next = row;
            head = std::move(e);
            series = SeriesPlace(*head, pduMode);
            if (!otherMode && !series.valid()) break;
            continue;
        }
        if (!series.valid() || e->destination != head->destination) continue;
        const Concatenation c = SeriesPlace(*e, pduMode);
        if (c.reference == series.reference && c.total == series.total &&
            c.sixteenBit == series.sixteenBit && c.part < series.part) {
            next = row;
            series = c;
        }
    }
    if (otherMode) *otherMode = others;
    return next;
}

QString ServiceCentreForCommand(QStringView serviceCentre) {
    QString s = serviceCentre.mid(1).toString();
    s.remove(u' ');
    return s;
}

}  // namespace vantel
