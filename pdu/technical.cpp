#include "pdu/technical.h"

#include "pdu/hexreader.h"
#include "pdu/primitives.h"
#include "pdu/tables.h"

namespace vantel {

namespace {

class Lines {
public:
    Lines() { text_.reserve(1024); }

    void add(QStringView label, QStringView value) {
        text_ += label;
        text_ += value;
        text_ += LineBreak;
    }
    void add(QStringView label, QStringView value, QStringView suffix) {
        text_ += label;
        text_ += value;
        text_ += suffix;
        text_ += LineBreak;
    }
    QString take() { return std::move(text_); }

private:
    QString text_;
};

QStringView YesNo(bool yes) {
    return yes ? u"Yes" : u"No";
}

// GSM 03.40 9.2.3.11 time stamp as "  decoded: " and "Time Zone: " lines.
void AddTimeStamp(Lines &lines, const HexReader &t, qsizetype offset) {
    lines.add(u"  decoded: ", TimeStampText(t.text(), t.pos() + offset));
    lines.add(u"Time Zone: GMT", TimeZoneText(TimeZoneHours(t.text(), t.pos() + offset + 12)),
              u"H");
}

// GSM 03.40 9.2.3.16 and 9.2.3.24: TP-UDL and the user data, always unpacked as 7-bit text.
void AddUserData(Lines &lines, HexReader &t) {
    const QStringView udl = t.pair();
    const int length = HexPairValue(udl);
    lines.add(u"User Data Length: ", udl);
    lines.add(u"  decimal: ", QString::number(length));
    lines.add(u"Message: ", UnpackGsm7(t.rest(), length));
}

// GSM 03.40 9.2.2.1 SMS-DELIVER.
void AddDeliver(Lines &lines, HexReader &t) {
    const int fo = HexPairValue(t.peek(0, 2));
    lines.add(u"More Messages To Send: ", YesNo(!(fo & 0x04)));
    lines.add(u"Status Report Indication: ", YesNo(fo & 0x20));
    lines.add(u"Reply Path: ", YesNo(fo & 0x80));

    const QStringView length = t.peek(2, 2);
    const int digits = HexPairValue(length);
    lines.add(u"Originating Address Length: ", length);
    lines.add(u"Originating Address type: ", t.peek(4, 2));
    const QString ton = TonName(t.charAt(4));
    lines.add(u"  Type of number: ", ton);
    lines.add(u"  Numbering plan identifier: ", NpiName(t.charAt(5)));
    qsizetype end = 0;
    lines.add(u"Originating Address: ", SemiOctetDigits(t.text(), t.pos() + 6, digits, &end));
    if (ton == u"Alphanumeric") {
        lines.add(u"  Decoded: ", UnpackGsm7(t.peek(6, 20), AlphanumericLength(digits)));
    }
    t.seek(end);

    lines.add(u"Protocol Identifier: ", PidName(t.peek(0, 2)));
    QString dcs;
    DcsName(t.peek(2, 2), dcs);
    lines.add(u"Data Coding Scheme: ", dcs);
    lines.add(u"SC Timestamp: ", t.peek(4, 14));
    AddTimeStamp(lines, t, 4);
    t.skip(18);
    AddUserData(lines, t);
}

// GSM 03.40 9.2.2.2 SMS-SUBMIT.
void AddSubmit(Lines &lines, HexReader &t) {
    const int vpf = HexPairValue(t.peek(0, 2)) & 0x18;
    lines.add(u"Validity Period Format: ", vpf == 0x00   ? u"Not Present"
                                           : vpf == 0x08 ? u"Reserved Coding"
                                           : vpf == 0x10 ? u"Relative"
                                                         : u"Absolute");
    lines.add(u"Message Reference: ", t.peek(2, 2));

    const QStringView length = t.peek(4, 2);
    lines.add(u"Destination Address Length: ", length);
    lines.add(u"Destination Address type: ", t.peek(6, 2));
    lines.add(u"  Type of number: ", TonName(t.charAt(6)));
    lines.add(u"  Numbering plan identifier: ", NpiName(t.charAt(7)));
    qsizetype end = 0;
    lines.add(u"Destination Address: ",
              SemiOctetDigits(t.text(), t.pos() + 8, HexPairValue(length), &end));
    t.seek(end);

    lines.add(u"Protocol Identifier: ", t.peek(0, 2));
    lines.add(u"Data Coding Scheme: ", t.peek(2, 2));
    if (vpf == 0x10) {
        lines.add(u"Validity Period: ", t.peek(4, 2));
        t.skip(6);
    } else if (vpf == 0x18) {
        lines.add(u"Validity Period: ", t.peek(4, 14));
        AddTimeStamp(lines, t, 4);
        t.skip(18);
    } else {
        t.skip(4);
    }
    AddUserData(lines, t);
}

QString DecodeBody(QString &tpdu, void (*add)(Lines &, HexReader &)) {
    Lines lines;
    HexReader t(tpdu);
    add(lines, t);
    tpdu = t.rest().toString();
    return lines.take();
}

}  // namespace

QString DecodeTechnical(QStringView params, bool pduLength) {
    Lines lines;
    HexReader s(params);
    lines.add(u"IEI: ", s.pair());
    lines.add(u"LENGTH: ", s.pair());
    lines.add(u"MESSAGE REF: ", s.pair());
    lines.add(u"STATUS: ", s.pair());

    // Service-centre address (GSM 04.11 8.2.5.1): its length counts octets, type octet included.
    const QStringView scLength = s.pair();
    lines.add(u"SC Address length: ", scLength);
    if (scLength != u"00") {
        const int octets = HexPairValue(scLength);
        lines.add(u"SC Address type: ", s.peek(0, 2));
        lines.add(u"  Type of number: ", TonName(s.charAt(0)));
        lines.add(u"  Numbering plan identifier: ", NpiName(s.charAt(1)));
        qsizetype end = 0;
        lines.add(u"SC Address: ", SemiOctetDigits(params, s.pos() + 2, 2 * octets - 2, &end));
        s.seek(end);
    }

    if (pduLength) {
        s.skip(2);
        lines.add(u"PDU Length: ", s.pair());
    }

    const QStringView firstOctet = s.peek(0, 2);
    lines.add(u"Message Type Indicator: ", firstOctet);
    switch (HexPairValue(firstOctet) & 3) {
        case 0:
            lines.add(u"Message Type: ", u"SMS-DELIVER / SMS-DELIVER REPORT");
            AddDeliver(lines, s);
            break;
        case 1:
            lines.add(u"Message Type: ", u"SMS-SUBMIT / SMS-SUBMIT-REPORT");
            AddSubmit(lines, s);
            break;
        case 2:
            lines.add(u"Message Type: ", u"SMS-STATUS-REPORT / SMS-COMMAND");
            break;
        default:
            lines.add(u"Message Type: ", u"<Reserved>");
            break;
    }
    return lines.take();
}

QString DecodeTechnicalDeliver(QString &tpdu) {
    return DecodeBody(tpdu, AddDeliver);
}

QString DecodeTechnicalSubmit(QString &tpdu) {
    return DecodeBody(tpdu, AddSubmit);
}

}  // namespace vantel
