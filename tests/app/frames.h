// Stored messages for the tests: Block-mode MESSAGE frames around GSM 03.40 SMS-DELIVER TPDUs.
#pragma once

#include <QString>

#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "pdu/primitives.h"

namespace vantel::test {

// Semi-octets of each pair swapped (GSM 03.40 9.1.2.3), 'F' filler for an odd count.
inline QString Swapped(QString digits) {
    if (digits.size() % 2) digits += u'F';
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2)
        std::swap(digits[i], digits[i + 1]);
    return digits;
}

// A MESSAGE frame (hex) holding an SMS-DELIVER from `address`, sent at `stamp`
// ("YYMMDDhhmmss"), with `text` in the default alphabet.
inline QString DeliverFrame(const QString &address, const QString &stamp, const QString &text) {
    const auto hex2 = [](qsizetype n) {
        return QStringLiteral("%1").arg(n, 2, 16, QChar(u'0')).toUpper();
    };
    const QString tpdu = u"04"_qs + hex2(address.size()) + u"91"_qs + Swapped(address) +
                         u"0000"_qs + Swapped(stamp) + u"00"_qs + hex2(text.size()) +
                         PackSeptets(text);
    return BytesToHex(BuildFrame(HexToBytes(u"210100010007911326040000F0"_qs + tpdu)));
}

}  // namespace vantel::test
