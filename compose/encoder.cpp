#include "compose/encoder.h"

#include "pdu/primitives.h"

namespace vantel {

namespace {

// The most a single SMS-SUBMIT carries: 160 septets, or 140 octets written as 280 hex digits.
constexpr qsizetype kMaxSeptets = 160;
constexpr qsizetype kMaxHexDigits = 280;

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendOctet(QString &out, int octet) {
    out.append(QLatin1Char(kHexDigits[(octet >> 4) & 0xF]));
    out.append(QLatin1Char(kHexDigits[octet & 0xF]));
}

// What follows the first "=" of a combo box text that names an address-book entry.
QString AfterFirstEquals(const QString &text, QString *history) {
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0) return text;
    *history = text;
    return text.sliced(equals + 1);
}

bool IsEightBitDcs(QStringView dcs) {
    return dcs == u"F4" || dcs == u"F5" || dcs == u"F6" || dcs == u"F7";
}

// GSM 03.40 9.2.3.1-9.2.3.5: TP-MTI SMS-SUBMIT and TP-VPF relative, with TP-RP, TP-SRR or,
// for a user-data header typed in 8-bit mode, TP-UDHI.
QStringView FirstOctet(const SendFields &fields, QStringView dcs) {
    if (dcs == u"F5") return u"51";
    if (fields.replyPath) return fields.statusReport ? u"B1" : u"91";
    return fields.statusReport ? u"31" : u"11";
}

EncodedEntry Refusal(QString error) {
    EncodedEntry refused;
    refused.error = std::move(error);
    return refused;
}

}  // namespace

int ToGsmCode(int code) {
    return code == 64 ? 0 : code;
}

QString EncodeAddress(QStringView number, bool countOctets) {
    const QString digits = NormaliseNumber(number);
    const qsizetype n = digits.size();
    const qsizetype length = countOctets ? (n + 1) / 2 + 1 : n;

    QString field;
    field.reserve(4 + n + 1);
    AppendOctet(field, int(length & 0xFF));
    field.append(u"91");
    // GSM 03.40 9.1.2.3: semi-octets, the first digit in the low nibble, 'F' filling the last.
    for (qsizetype i = 0; i < n; i += 2) {
        field.append(i + 1 < n ? digits[i + 1] : QChar(u'F'));
        field.append(digits[i]);
    }
    return field;
}

QString PackSeptets(QStringView text) {
    // GSM 03.38 6.1.2.1.1: septets laid least significant bit first into consecutive octets.
    QString out;
    out.reserve((7 * text.size() + 7) / 8 * 2);
    quint32 bits = 0;
    int pending = 0;
    for (const QChar c : text) {
        bits |= quint32(ToGsmCode(AnsiCode(c)) & 0x7F) << pending;
        pending += 7;
        while (pending >= 8) {
            AppendOctet(out, int(bits & 0xFF));
            bits >>= 8;
            pending -= 8;
        }
    }
    if (pending > 0) AppendOctet(out, int(bits & 0xFF));
    return out;
}

EncodedEntry BuildQueueEntry(const SendFields &fields, LinkMode mode) {
    const QString dcs = fields.dcs.left(2);
    const bool eightBit = IsEightBitDcs(dcs);
    const qsizetype length = fields.message.size();

    if (fields.dcs.startsWith(u"00") && fields.message.isEmpty()) {
        return Refusal(u"No text to send"_qs);
    }
    if (!eightBit && length > kMaxSeptets) {
        return Refusal(QStringLiteral("Text too long to send: %1 characters, at most %2")
                           .arg(length)
                           .arg(kMaxSeptets));
    }
    if (eightBit && length > kMaxHexDigits) {
        return Refusal(QStringLiteral("8-bit data too long to send: %1 hex digits, at most %2")
                           .arg(length)
                           .arg(kMaxHexDigits));
    }
    if (eightBit && length % 2 != 0) {
        return Refusal(
            QStringLiteral("8-bit data must be whole octets: %1 hex digits is odd").arg(length));
    }

    EncodedEntry result;
    QString destination = AfterFirstEquals(fields.to, &result.addToAddressList);
    QString serviceCentre = AfterFirstEquals(fields.sc, &result.addToSCList);
    const qsizetype comma = destination.indexOf(u',');
    if (comma >= 0) {
        serviceCentre = destination.sliced(comma + 1);
        destination.truncate(comma);
    }

    const QString userData = eightBit ? fields.message : PackSeptets(fields.message);
    const qsizetype userDataLength = eightBit ? length / 2 : length;

    QString tpdu;
    tpdu.reserve(32 + destination.size() + userData.size());
    tpdu.append(FirstOctet(fields, dcs));
    tpdu.append(u"00");
    tpdu.append(EncodeAddress(destination, false));
    tpdu.append(QStringView(fields.pid).left(2));
    tpdu.append(dcs);
    tpdu.append(u"A7");
    AppendOctet(tpdu, int(userDataLength));
    tpdu.append(userData);

    QString pdu;
    if (mode == LinkMode::Block) pdu = u"0702"_qs;
    if (mode != LinkMode::PduSkipSca) pdu += EncodeAddress(serviceCentre, true);
    pdu += tpdu;

    result.ok = true;
    result.entry =
        QString::number(tpdu.size() / 2) + u',' + destination + u',' + serviceCentre + u',' + pdu;
    return result;
}

}  // namespace vantel
