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
    QString out;
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2)
        out += digits.mid(i + 1, 1) + digits.mid(i, 1);
    return out;
}

// A MESSAGE frame (hex) holding an SMS-DELIVER from `address`, sent at `stamp`
// ("YYMMDDhhmmss"), with `text` in the default alphabet.
inline QString DeliverFrame(const QString &address, const QString &stamp, const QString &text) {
    const QString tpdu = QStringLiteral("04") +
                         QStringLiteral("%1").arg(address.size(), 2, 16, QChar(u'0')).toUpper() +
                         QStringLiteral("91") + Swapped(address) + QStringLiteral("0000") +
                         Swapped(stamp) + QStringLiteral("00") +
                         QStringLiteral("%1").arg(text.size(), 2, 16, QChar(u'0')).toUpper() +
                         PackSeptets(text);
    const QString content =
        QStringLiteral("2101000100") + QStringLiteral("07911326040000F0") + tpdu;
    return BytesToHex(BuildFrame(HexToBytes(content)));
}

// The time column the list shows for `stamp`.
inline QString StampText(const QString &stamp) {
    return stamp.mid(0, 2) + u'/' + stamp.mid(2, 2) + u'/' + stamp.mid(4, 2) + u' ' +
           stamp.mid(6, 2) + u':' + stamp.mid(8, 2) + u':' + stamp.mid(10, 2);
}

}  // namespace vantel::test
