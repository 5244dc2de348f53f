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

// The fields are filled by appending to emptied texts, so that a MessageFields decoded into
// again and again keeps its buffers: a long list is decoded without allocating.
void Empty(QString &field) {
    if (field.isDetached()) {
        field.truncate(0);
    } else {
        field = QString();
    }
}

void Set(QString &field, QStringView value) {
    Empty(field);
    field.append(value);
}

// "YY/MM/DD hh:mm:ss GMT+1.00H" of the GSM 03.40 9.2.3.11 time stamp at `offset`.
void SetSummaryTime(QString &time, const HexReader &t, qsizetype offset) {
    Empty(time);
    AppendTimeStampText(time, t.text(), t.pos() + offset);
    time += u" GMT";
    AppendTimeZoneText(time, TimeZoneHours(t.text(), t.pos() + offset + 12));
    time += u'H';
}

// What a decode fills: every text, or only the list line's (time, address and text; of the
// text no more than the list shows need be exact).
struct Target {
    MessageFields &out;
    bool all = true;
    qsizetype textLimit = -1;
    // `field` = `value`, when every text is wanted.
    void set(QString &field, QStringView value) const {
        if (all) Set(field, value);
    }
};

// The user data length pair at the reader's position, then the user data after it, read by
// the data coding scheme `dcs` and the first octet's TP-UDHI.
void ReadUserData(const HexReader &t, int firstOctet, int dcs, const Target &to) {
    const int length = HexPairValue(t.peek(0, 2));
    const QStringView userData = t.peek(2, t.text().size());
    to.set(to.out.userData, userData);
    AppendUserDataText(to.out.text, userData, length, dcs, firstOctet & 0x40, to.textLimit);
}

// An address field (GSM 03.40 9.1.2.5) at `offset`, its length in digits first; the reader
// moves past it. An alphanumeric address is unpacked from its septets, whichever way it goes.
void ReadAddress(HexReader &t, qsizetype offset, const Target &to) {
    MessageFields &out = to.out;
    const int digits = HexPairValue(t.peek(offset, 2));
    out.addressType = AddressTypeName(t.charAt(offset + 2), t.charAt(offset + 3));
    qsizetype end = 0;
    if (out.addressType.startsWith(u"Alphanumeric")) {
        AppendGsm7(out.address, t.peek(offset + 4, 20), AlphanumericLength(digits));
        end = t.pos() + offset + 4 + (digits >= 1 ? 2 * ((qsizetype(digits) + 1) / 2) : 0);
    } else {
        AppendAddressDigits(out.address, t.text(), t.pos() + offset + 4, digits, &end);
    }
    t.seek(end);
}

// GSM 03.40 9.2.2.1 SMS-DELIVER.
void ReadDeliver(HexReader &t, const Target &to) {
    MessageFields &out = to.out;
    const int fo = HexPairValue(t.peek(0, 2));
    if (to.all) out.flagOrReference = Static(fo & 0x04 ? u"Yes" : u"No");
    ReadAddress(t, 2, to);

    to.set(out.pid, t.peek(0, 2));
    to.set(out.dcs, t.peek(2, 2));
    const int dcs = HexPairValue(t.peek(2, 2));
    SetSummaryTime(out.time, t, 4);
    t.skip(18);
    ReadUserData(t, fo, dcs, to);
}

// GSM 03.40 9.2.2.2 SMS-SUBMIT.
void ReadSubmit(HexReader &t, const Target &to) {
    MessageFields &out = to.out;
    const int fo = HexPairValue(t.peek(0, 2));
    const int vpf = fo & 0x18;
    to.set(out.flagOrReference, t.peek(2, 2));
    ReadAddress(t, 4, to);

    to.set(out.pid, t.peek(0, 2));
    to.set(out.dcs, t.peek(2, 2));
    const int dcs = HexPairValue(t.peek(2, 2));
    if (vpf == 0x10) {
        Set(out.time, u" Rel: ");
        out.time += t.peek(4, 2);
        t.skip(6);
    } else if (vpf == 0x18) {
        SetSummaryTime(out.time, t, 4);
        t.skip(18);
    } else {
        t.skip(4);
    }
    ReadUserData(t, fo, dcs, to);
}

// GSM 03.40 9.2.2.3 SMS-STATUS-REPORT: the recipient, the discharge time and the status; the
// parameter indicator says which of PID, DCS and user data follow.
void ReadStatusReport(HexReader &t, const Target &to) {
    MessageFields &out = to.out;
    to.set(out.flagOrReference, t.peek(2, 2));
    ReadAddress(t, 4, to);
    SetSummaryTime(out.time, t, 14);
    const QStringView status = t.peek(28, 2);
    if (status.size() == 2) out.text = StatusName(HexPairValue(status));
    t.skip(30);

    const int indicator = HexPairValue(t.peek(0, 2));
    if (!to.all || t.peek(0, 2).size() < 2 || indicator & 0x78) return;  // reserved bits set
    t.skip(2);
    if (indicator & 0x01) Set(out.pid, t.pair());
    if (indicator & 0x02) Set(out.dcs, t.pair());
    // The text stays the status; the user data are kept as hex.
    if (indicator & 0x04) Set(out.userData, t.peek(2, t.text().size()));
}

bool DecodeFields(QString &tpdu, MessageFields &out, void (*read)(HexReader &, const Target &)) {
    HexReader t(tpdu);
    for (QString *field : {&out.address, &out.time, &out.text})
        Empty(*field);
    read(t, Target{out});
    tpdu = t.rest().toString();
    return true;
}

bool Decode(QStringView content, const Target &to) {
    MessageFields &out = to.out;
    for (QString *field :
         {&out.typeCode, &out.scAddress, &out.scAddressType, &out.firstOctet, &out.flagOrReference,
          &out.address, &out.addressType, &out.pid, &out.dcs, &out.time, &out.text, &out.userData})
        Empty(*field);
    if (Slice(content, 0, 2) != u"21") {
        out.text = QStringLiteral("<not an SMS message>");
        return false;
    }
    const QStringView r = content.sliced(2);
    const QStringView status = Slice(r, 6, 2);

    HexReader t(r, 10);
    const QStringView scLength = Slice(r, 8, 2);
    if (scLength != u"00") {
        // GSM 04.11 8.2.5.1: the length counts octets, the type octet included.
        const int digits = 2 * HexPairValue(scLength) - 2;
        if (to.all) {
            out.scAddressType = AddressTypeName(CharAt(r, 10), CharAt(r, 11));
            qsizetype end = 0;
            AppendAddressDigits(out.scAddress, r, 12, digits, &end);
            t.seek(end);
        } else {
            t.seek(12 + (digits >= 1 ? 2 * ((qsizetype(digits) + 1) / 2) : 0));
        }
    }

    const QStringView firstOctet = t.peek(0, 2);
    const int type = HexPairValue(firstOctet) & 3;
    if (to.all) {
        out.firstOctet.append(firstOctet);
        static constexpr QStringView kTypes[] = {u"MT-", u"MO-", u"SR-", u"RV-"};
        out.typeCode += kTypes[type];
        out.typeCode += status;
    }
    if (type == 0) ReadDeliver(t, to);
    if (type == 1) ReadSubmit(t, to);
    if (type == 2) ReadStatusReport(t, to);
    return true;
}

}  // namespace

bool DecodeMessage(QStringView content, MessageFields &out) {
    return Decode(content, Target{out});
}

bool DecodeListColumns(QStringView content, MessageFields &out, qsizetype textLimit) {
    return Decode(content, Target{out, false, textLimit});
}

bool DecodeDeliverFields(QString &tpdu, MessageFields &out) {
    return DecodeFields(tpdu, out, ReadDeliver);
}

bool DecodeSubmitFields(QString &tpdu, MessageFields &out) {
    return DecodeFields(tpdu, out, ReadSubmit);
}

}  // namespace vantel
