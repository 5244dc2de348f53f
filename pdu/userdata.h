// The user data of a GSM 03.40 message: its alphabet by the data coding scheme (GSM 03.38 4),
// the user-data header (9.2.3.24) and the text after it.
#pragma once

#include <QString>
#include <QStringView>

namespace vantel {

enum class Alphabet { Gsm7, EightBit, Ucs2 };

struct CodingScheme {
    Alphabet alphabet = Alphabet::Gsm7;
    bool compressed = false;
};

// GSM 03.38 4 (3GPP 23.038): general data coding 00-3F and the automatic-deletion group 40-7F
// (bit 5 compressed, bits 3-2 the alphabet, 11 reserved and read as 7-bit), message waiting
// C0-DF (7-bit) and E0-EF (UCS2), data coding F0-FF (bit 2: 8-bit). The reserved groups 80-BF
// and values outside 0..255 read as the default alphabet.
CodingScheme DataCodingScheme(int dcs);

// The hex string `ud` holds TP-UD; `udhi` is TP-UDHI. The header is UDHL + 1 octets (at most
// what is there), 0 without TP-UDHI.
qsizetype HeaderOctets(QStringView ud, bool udhi);

// TP-UD as text: 7-bit septets after the header and its fill bits, with the escapes of the
// extension table; UCS2 as UTF-16 (surrogate pairs joined, a line feed as CR LF); 8-bit as the
// hex of the octets after the header; compressed data as "<compressed> " and that hex.
// `udl` is TP-UDL: septets for 7-bit data, octets otherwise.
QString UserDataText(QStringView ud, int udl, int dcs, bool udhi);
// The same appended to `text`; with `limit` >= 0 it may stop once it has appended more than
// `limit` characters (those are exact).
void AppendUserDataText(QString &text, QStringView ud, int udl, int dcs, bool udhi,
                        qsizetype limit = -1);

// One information element of a user-data header.
struct HeaderElement {
    int iei = 0;
    QStringView data;  // hex
};

// Calls `element` for each information element of the header of `ud` (with TP-UDHI); an element
// whose length runs past the header gets what there is and ends the list.
template <typename F>
void ForEachHeaderElement(QStringView ud, bool udhi, F element);

// A concatenated short message's place (IEI 00, 8-bit reference; IEI 08, 16-bit reference).
struct Concatenation {
    int reference = -1;  // -1: not a concatenated part
    int part = 0;
    int total = 0;
    bool sixteenBit = false;
    bool valid() const { return reference >= 0; }
};
Concatenation FindConcatenation(QStringView ud, bool udhi);

// "Concatenated short message, 8-bit reference", "Application port addressing, 16-bit
// address", ...; empty for an element without a name here.
QStringView HeaderElementName(int iei);

// ---------------------------------------------------------------------------------------------

int HexOctetAt(QStringView hex, qsizetype octet);  // -1 past the end or for other than hex

// At least one octet, every one of them two hex digits (either case).
inline bool IsHexOctets(QStringView hex) {
    if (hex.isEmpty() || hex.size() % 2 != 0) return false;
    for (qsizetype octet = 0; octet < hex.size() / 2; ++octet)
        if (HexOctetAt(hex, octet) < 0) return false;
    return true;
}

template <typename F>
void ForEachHeaderElement(QStringView ud, bool udhi, F element) {
    const qsizetype end = HeaderOctets(ud, udhi);
    qsizetype at = 1;
    while (at + 1 < end) {
        const int iei = HexOctetAt(ud, at);
        const int length = HexOctetAt(ud, at + 1);
        if (iei < 0 || length < 0) return;
        const qsizetype available = qMin<qsizetype>(length, end - at - 2);
        element(HeaderElement{iei, ud.sliced(2 * (at + 2), 2 * available)});
        at += 2 + length;
    }
}

}  // namespace vantel
