#include "pdu/technical.h"

#include "pdu/hexreader.h"
#include "pdu/primitives.h"
#include "pdu/tables.h"
#include "pdu/userdata.h"

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

QString Cat(QStringView a, QStringView b) {
    QString text;
    text.reserve(a.size() + b.size());
    text.append(a);
    text.append(b);
    return text;
}

QStringView YesNo(bool yes) {
    return yes ? u"Yes" : u"No";
}

// GSM 03.40 9.2.3.11 time stamp as "  decoded: " and "Time Zone: " lines.
void AddTimeStamp(Lines &lines, const HexReader &t, qsizetype offset) {
    lines.add(u"  decoded: ", TimeStampText(t.text(), t.pos() + offset));
    lines.add(u"Time Zone: GMT", TimeZoneText(TimeZoneHours(t.text(), t.pos() + offset + 12)),
              u"H");
}

// GSM 03.40 9.2.3.24: the user-data header, element by element.
void AddHeader(Lines &lines, QStringView ud) {
    lines.add(u"User Data Header: ", ud.first(2 * HeaderOctets(ud, true)));
    ForEachHeaderElement(ud, true, [&lines](const HeaderElement &e) {
        const QStringView name = HeaderElementName(e.iei);
        if (name.isEmpty()) {
            lines.add(u"IEI ", BytesToHex(QByteArray(1, char(e.iei))), Cat(u": ", e.data));
            return;
        }
        lines.add(name, u": ", e.data);
        const auto number = [&e](qsizetype from, qsizetype octets) {
            int value = 0;
            for (qsizetype i = from; i < from + octets; ++i)
                value = value << 8 | qMax(HexOctetAt(e.data, i), 0);
            return QString::number(value);
        };
        const qsizetype size = e.iei == 0x00 || e.iei == 0x04 ? 1 : 2;
        if (e.iei == 0x00 || e.iei == 0x08) {
            if (e.data.size() != 2 * (size + 2)) return;
            lines.add(u"  Reference: ", number(0, size));
            lines.add(u"  Part: ", number(size + 1, 1));
            lines.add(u"  Total: ", number(size, 1));
        } else {
            if (e.data.size() != 4 * size) return;
            lines.add(u"  Destination Port: ", number(0, size));
            lines.add(u"  Originator Port: ", number(size, size));
        }
    });
}

// GSM 03.40 9.2.3.16 and 9.2.3.24: TP-UDL, the header when TP-UDHI is set, and the text by the
// data coding scheme.
void AddUserData(Lines &lines, HexReader &t, int firstOctet, int dcs) {
    const QStringView udl = t.pair();
    const int length = HexPairValue(udl);
    lines.add(u"User Data Length: ", udl);
    lines.add(u"  decimal: ", QString::number(length));
    const bool udhi = firstOctet & 0x40;
    if (udhi) AddHeader(lines, t.rest());
    lines.add(u"Message: ", UserDataText(t.rest(), length, dcs, udhi));
}

// The swapped semi-octets as they stand, then, where they read otherwise, the number they
// hold (GSM 03.40 9.1.2.3: "*", "#", "a"-"c", an odd count ending before the filler).
void AddDigits(Lines &lines, QStringView label, QStringView hex, qsizetype start, int digits,
               qsizetype *end) {
    const QString raw = SemiOctetDigits(hex, start, digits, end);
    lines.add(label, u": ", raw);
    const QString number = AddressDigits(hex, start, digits);
    if (number != raw) lines.add(u"  Decoded: ", number);
}

// An address field with its length in digits, its type and its digits (GSM 03.40 9.1.2.5);
// an alphanumeric one is followed by the name its septets spell.
void AddAddress(Lines &lines, HexReader &t, qsizetype offset, QStringView label) {
    const QStringView length = t.peek(offset, 2);
    const int digits = HexPairValue(length);
    lines.add(label, u" Length: ", length);
    lines.add(label, u" type: ", t.peek(offset + 2, 2));
    const QString ton = TonName(t.charAt(offset + 2));
    lines.add(u"  Type of number: ", ton);
    lines.add(u"  Numbering plan identifier: ", NpiName(t.charAt(offset + 3)));
    qsizetype end = 0;
    if (ton == u"Alphanumeric") {
        lines.add(label, u": ", SemiOctetDigits(t.text(), t.pos() + offset + 4, digits, &end));
        lines.add(u"  Decoded: ", UnpackGsm7(t.peek(offset + 4, 20), AlphanumericLength(digits)));
    } else {
        AddDigits(lines, label, t.text(), t.pos() + offset + 4, digits, &end);
    }
    t.seek(end);
}

// GSM 03.40 9.2.2.1 SMS-DELIVER.
void AddDeliver(Lines &lines, HexReader &t) {
    const int fo = HexPairValue(t.peek(0, 2));
    lines.add(u"More Messages To Send: ", YesNo(!(fo & 0x04)));
    lines.add(u"Status Report Indication: ", YesNo(fo & 0x20));
    lines.add(u"Reply Path: ", YesNo(fo & 0x80));
    AddAddress(lines, t, 2, u"Originating Address");

    lines.add(u"Protocol Identifier: ", PidName(t.peek(0, 2)));
    QString dcsName;
    DcsName(t.peek(2, 2), dcsName);
    lines.add(u"Data Coding Scheme: ", dcsName);
    const int dcs = HexPairValue(t.peek(2, 2));
    lines.add(u"SC Timestamp: ", t.peek(4, 14));
    AddTimeStamp(lines, t, 4);
    t.skip(18);
    AddUserData(lines, t, fo, dcs);
}

// GSM 03.40 9.2.2.2 SMS-SUBMIT.
void AddSubmit(Lines &lines, HexReader &t) {
    const int fo = HexPairValue(t.peek(0, 2));
    const int vpf = fo & 0x18;
    lines.add(u"Validity Period Format: ", vpf == 0x00   ? u"Not Present"
                                           : vpf == 0x08 ? u"Reserved Coding"
                                           : vpf == 0x10 ? u"Relative"
                                                         : u"Absolute");
    lines.add(u"Message Reference: ", t.peek(2, 2));
    AddAddress(lines, t, 4, u"Destination Address");

    lines.add(u"Protocol Identifier: ", t.peek(0, 2));
    lines.add(u"Data Coding Scheme: ", t.peek(2, 2));
    const int dcs = HexPairValue(t.peek(2, 2));
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
    AddUserData(lines, t, fo, dcs);
}

// GSM 03.40 9.2.2.3 SMS-STATUS-REPORT.
void AddStatusReport(Lines &lines, HexReader &t) {
    const int fo = HexPairValue(t.peek(0, 2));
    lines.add(u"More Messages To Send: ", YesNo(!(fo & 0x04)));
    lines.add(u"Status Report Qualifier: ", fo & 0x20 ? u"SMS-COMMAND" : u"SMS-SUBMIT");
    lines.add(u"Message Reference: ", t.peek(2, 2));
    AddAddress(lines, t, 4, u"Recipient Address");

    lines.add(u"SC Timestamp: ", t.peek(0, 14));
    AddTimeStamp(lines, t, 0);
    lines.add(u"Discharge Time: ", t.peek(14, 14));
    AddTimeStamp(lines, t, 14);
    const QStringView status = t.peek(28, 2);
    lines.add(u"Status: ", status);
    if (status.size() == 2) lines.add(u"  decoded: ", StatusName(HexPairValue(status)));
    t.skip(30);

    // GSM 03.40 9.2.3.27: TP-PI says which of the optional fields follow.
    const QStringView pi = t.peek(0, 2);
    const int indicator = HexPairValue(pi);
    if (pi.size() < 2 || indicator & 0x78) return;
    lines.add(u"Parameter Indicator: ", pi);
    t.skip(2);
    if (indicator & 0x01) lines.add(u"Protocol Identifier: ", PidName(t.pair()));
    int dcs = 0;
    if (indicator & 0x02) {
        const QStringView pair = t.pair();
        QString dcsName;
        DcsName(pair, dcsName);
        lines.add(u"Data Coding Scheme: ", dcsName);
        dcs = HexPairValue(pair);
    }
    if (indicator & 0x04) AddUserData(lines, t, fo, dcs);
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
        AddDigits(lines, u"SC Address", params, s.pos() + 2, 2 * octets - 2, &end);
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
            AddStatusReport(lines, s);
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
