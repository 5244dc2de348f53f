// The send-queue entries of a burst: distinct, of realistic length, in an order that is not
// the sorted one.
#pragma once

#include <QString>
#include <QStringList>

namespace vantel::bench {

inline QStringList BurstEntries(int count) {
    QStringList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        // A multiplier coprime to the count scatters the numbers over the whole burst.
        const int n = int((qint64(i) * 7919) % count);
        entries << QStringLiteral("%1,+49170%2,+491710760000,0011000C9194710%3F00000AA0CC8329BFD06")
                       .arg(15 + n % 3)
                       .arg(n, 7, 10, QChar(u'0'))
                       .arg(n, 6, 10, QChar(u'0'));
    }
    return entries;
}

}  // namespace vantel::bench
