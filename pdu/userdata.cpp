#include "pdu/userdata.h"

#include "pdu/hexreader.h"
#include "pdu/primitives.h"

namespace vantel {

namespace {

int NibbleOf(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

int HexOctetAt(QStringView hex, qsizetype octet) {
    if (octet < 0 || 2 * octet + 1 >= hex.size()) return -1;
    const int high = NibbleOf(hex[2 * octet].unicode());
    const int low = NibbleOf(hex[2 * octet + 1].unicode());
    return high < 0 || low < 0 ? -1 : 16 * high + low;
}

CodingScheme DataCodingScheme(int dcs) {
    CodingScheme scheme;
    if (dcs < 0 || dcs > 255) return scheme;
    if (dcs < 0x80) {
        scheme.compressed = dcs & 0x20;
        const int alphabet = (dcs >> 2) & 3;
        if (alphabet == 1) scheme.alphabet = Alphabet::EightBit;
        if (alphabet == 2) scheme.alphabet = Alphabet::Ucs2;
    } else if ((dcs & 0xF0) == 0xE0) {
        scheme.alphabet = Alphabet::Ucs2;
    } else if ((dcs & 0xF0) == 0xF0 && (dcs & 0x04)) {
        scheme.alphabet = Alphabet::EightBit;
    }
    return scheme;
}

qsizetype HeaderOctets(QStringView ud, bool udhi) {
    if (!udhi) return 0;
    const int length = HexOctetAt(ud, 0);
    if (length < 0) return 0;
    return qMin<qsizetype>(length + 1, ud.size() / 2);
}

QString UserDataText(QStringView ud, int udl, int dcs, bool udhi) {
    QString text;
    AppendUserDataText(text, ud, udl, dcs, udhi);
    return text;
}

void AppendUserDataText(QString &text, QStringView ud, int udl, int dcs, bool udhi,
                        qsizetype limit) {
    const CodingScheme scheme = DataCodingScheme(dcs);
    const qsizetype header = HeaderOctets(ud, udhi);
    if (scheme.alphabet == Alphabet::Gsm7 && !scheme.compressed) {
        // GSM 03.40 9.2.3.24: the first character starts at a septet boundary after the header.
        return AppendGsm7(text, ud, udl, int((8 * header + 6) / 7), limit);
    }
    // TP-UDL counts octets here; the data are what of them there is.
    qsizetype end = qBound<qsizetype>(header, udl, ud.size() / 2);
    // Hex digits give two characters an octet, UCS2 one character (at least) two octets.
    if (limit >= 0) end = qMin(end, header + 2 * limit + 2);
    const QStringView octets = Slice(ud, 2 * header, 2 * (end - header));
    if (scheme.compressed) {
        text += u"<compressed> ";
        text += octets;
        return;
    }
    if (scheme.alphabet == Alphabet::EightBit) {
        text += octets;
        return;
    }

    const qsizetype start = text.size();
    text.reserve(start + octets.size() / 4 + 8);
    for (qsizetype i = 0; i + 1 < octets.size() / 2; i += 2) {
        const int high = HexOctetAt(octets, i);
        const int low = HexOctetAt(octets, i + 1);
        if (high < 0 || low < 0) break;
        const char16_t unit = char16_t(high << 8 | low);
        if (unit == u'\n') {
            text += LineBreak;
        } else {
            text += QChar(unit);
        }
    }
    // A surrogate without its partner shows as the replacement character.
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            text[i] = QChar::ReplacementCharacter;
        }
    }
}

Concatenation FindConcatenation(QStringView ud, bool udhi) {
    Concatenation found;
    ForEachHeaderElement(ud, udhi, [&found](const HeaderElement &e) {
        // GSM 03.40 9.2.3.24.1 and 9.2.3.24.8: reference, total, sequence number (from 1).
        const bool eightBit = e.iei == 0x00 && e.data.size() == 6;
        const bool sixteenBit = e.iei == 0x08 && e.data.size() == 8;
        if (!eightBit && !sixteenBit) return;
        const int n = sixteenBit ? 2 : 1;
        int reference = HexOctetAt(e.data, 0);
        if (sixteenBit) reference = reference << 8 | HexOctetAt(e.data, 1);
        const int total = HexOctetAt(e.data, n);
        const int part = HexOctetAt(e.data, n + 1);
        if (reference < 0 || total < 1 || part < 1 || part > total) return;
        found = {reference, part, total, sixteenBit};
    });
    return found;
}

QStringView HeaderElementName(int iei) {
    switch (iei) {
        case 0x00:
            return u"Concatenated short message, 8-bit reference";
        case 0x04:
            return u"Application port addressing, 8-bit address";
        case 0x05:
            return u"Application port addressing, 16-bit address";
        case 0x08:
            return u"Concatenated short message, 16-bit reference";
        default:
            return {};
    }
}

}  // namespace vantel
