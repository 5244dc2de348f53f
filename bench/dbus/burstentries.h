// The send-queue entries of a burst: distinct, of realistic length, readable in Block mode, in an
// order that is not the sorted one.
#pragma once

#include <QString>
#include <QStringList>

namespace vantel::bench {

// The three-letter Block-mode message of the documentation, to the five-digit number n.
inline QString BlockEntryTo(int n) {
    const QString d = QStringLiteral("%1").arg(n % 100000, 5, 10, QChar(u'0'));
    const QString swapped = QString(d[1]) + d[0] + d[3] + d[2] + u'F' + d[4];
    return QStringLiteral("14,%1,0123,070204914421F311000591%2").arg(d, swapped) +
           QStringLiteral("0000A70361F118");
}

inline QStringList BurstEntries(int count) {
    QStringList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        // A multiplier coprime to the count scatters the numbers over the whole burst.
        entries << BlockEntryTo(int((qint64(i) * 7919) % count));
    }
    return entries;
}

}  // namespace vantel::bench
