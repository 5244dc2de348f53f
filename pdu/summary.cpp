#include "pdu/summary.h"

#include "pdu/hexreader.h"
#include "pdu/primitives.h"
#include "pdu/tables.h"
#include "pdu/userdata.h"

namespace vantel {

namespace {

QString Static(QStringView text) {
    return QString::fromRawData(text.data(), text.size());
}

// "YY/MM/DD hh:mm:ss GMT+1.00H" of the GSM 03.40 9.2.3.11 time stamp at `offset`.
QString SummaryTime(const HexReader &t, qsizetype offset) {
    QString time = TimeStampText(t.text(), t.pos() + offset);
    time += u" GMT";
    AppendTimeZoneText(time, TimeZoneHours(t.text(), t.pos() + offset + 12));
    time += u'H';
    return time;
}

// The user data length pair at the reader's position, then the user data after it, read by
// the data coding scheme and the first octet's TP-UDHI.
void ReadUserData(const HexReader &t, int firstOctet, MessageFields &out) {
    const int length = HexPairValue(t.peek(0, 2));
    const QStringView userData = t.peek(2, t.text().size());
    out.userData = userData.toString();
    out.text = UserDataText(userData, length, HexPairValue(out.dcs), firstOctet & 0x40);
}

// An address field (GSM 03.40 9.1.2.5) at `offset`, its length in digits first; the reader
// moves past it. An alphanumeric address is unpacked from its septets.
void ReadAddress(HexReader &t, qsizetype offset, MessageFields &out) {
    const int digits = HexPairValue(t.peek(offset, 2));
    out.addressType = AddressTypeName(t.charAt(offset + 2), t.charAt(offset + 3));
    qsizetype end = 0;
    out.address = SemiOctetDigits(t.text(), t.pos() + offset + 4, digits, &end);
    if (out.addressType.startsWith(u"Alphanumeric")) {
        out.address = UnpackGsm7(t.peek(offset + 4, 20), AlphanumericLength(digits));
    }
    t.seek(end);
}

// GSM 03.40 9.2.2.1 SMS-DELIVER.
void ReadDeliver(HexReader &t, MessageFields &out) {
    const int fo = HexPairValue(t.peek(0, 2));
    out.flagOrReference = Static(fo & 0x04 ? u"Yes" : u"No");
    ReadAddress(t, 2, out);

    out.pid = t.peek(0, 2).toString();
    out.dcs = t.peek(2, 2).toString();
    out.time = SummaryTime(t, 4);
    t.skip(18);
    ReadUserData(t, fo, out);
}

// GSM 03.40 9.2.2.2 SMS-SUBMIT.
void ReadSubmit(HexReader &t, MessageFields &out) {
    const int fo = HexPairValue(t.peek(0, 2));
    const int vpf = fo & 0x18;
    out.flagOrReference = t.peek(2, 2).toString();

    const int digits = HexPairValue(t.peek(4, 2));
    out.addressType = AddressTypeName(t.charAt(6), t.charAt(7));
    qsizetype end = 0;
    out.address = SemiOctetDigits(t.text(), t.pos() + 8, digits, &end);
    t.seek(end);

    out.pid = t.peek(0, 2).toString();
    out.dcs = t.peek(2, 2).toString();
    if (vpf == 0x10) {
        out.time = QStringLiteral(" Rel: ");
        out.time += t.peek(4, 2);
        t.skip(6);
    } else if (vpf == 0x18) {
        out.time = SummaryTime(t, 4);
        t.skip(18);
    } else {
        t.skip(4);
    }
    ReadUserData(t, fo, out);
}

// GSM 03.40 9.2.2.3 SMS-STATUS-REPORT: the recipient, the discharge time and the status; the
// parameter indicator says which of PID, DCS and user data follow.
void ReadStatusReport(HexReader &t, MessageFields &out) {
    out.flagOrReference = t.peek(2, 2).toString();
    ReadAddress(t, 4, out);
    out.time = SummaryTime(t, 14);
    const QStringView status = t.peek(28, 2);
    if (status.size() == 2) out.text = StatusName(HexPairValue(status));
    t.skip(30);

    const int indicator = HexPairValue(t.peek(0, 2));
    if (t.peek(0, 2).size() < 2 || indicator & 0x78) return;  // none, or reserved bits set
    t.skip(2);
    if (indicator & 0x01) out.pid = t.pair().toString();
    if (indicator & 0x02) out.dcs = t.pair().toString();
    // The text stays the status; the user data are kept as hex.
    if (indicator & 0x04) out.userData = t.peek(2, t.text().size()).toString();
}

bool DecodeFields(QString &tpdu, MessageFields &out, void (*read)(HexReader &, MessageFields &)) {
    HexReader t(tpdu);
    read(t, out);
    tpdu = t.rest().toString();
    return true;
}

}  // namespace

bool DecodeMessage(QStringView content, MessageFields &out) {
    out = MessageFields{};
    if (Slice(content, 0, 2) != u"21") {
        out.text = QStringLiteral("<not an SMS message>");
        return false;
    }
    const QStringView r = content.sliced(2);
    const QStringView status = Slice(r, 6, 2);

    HexReader t(r, 10);
    const QStringView scLength = Slice(r, 8, 2);
    if (scLength != u"00") {
        const int octets = HexPairValue(scLength);
        out.scAddressType = AddressTypeName(CharAt(r, 10), CharAt(r, 11));
        qsizetype end = 0;
        out.scAddress = SemiOctetDigits(r, 12, 2 * octets - 2, &end);
        t.seek(end);
    }

    const QStringView firstOctet = t.peek(0, 2);
    out.firstOctet = firstOctet.toString();
    static constexpr QStringView kTypes[] = {u"MT-", u"MO-", u"SR-", u"RV-"};
    const int type = HexPairValue(firstOctet) & 3;
    out.typeCode.reserve(5);
    out.typeCode += kTypes[type];
    out.typeCode += status;
    if (type == 0) ReadDeliver(t, out);
    if (type == 1) ReadSubmit(t, out);
    if (type == 2) ReadStatusReport(t, out);
    return true;
}

bool DecodeDeliverFields(QString &tpdu, MessageFields &out) {
    return DecodeFields(tpdu, out, ReadDeliver);
}

bool DecodeSubmitFields(QString &tpdu, MessageFields &out) {
    return DecodeFields(tpdu, out, ReadSubmit);
}

}  // namespace vantel
