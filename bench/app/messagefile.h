// A "vantelq.dat" of many distinct stored messages, for the benchmarks that start the window on
// a full list.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include "frames.h"

namespace vantel::bench {

inline QByteArray MessageFile(int count) {
    QByteArray file;
    for (int i = 0; i < count; ++i) {
        // Distinct senders and times, a few texts of different lengths.
        const QString stamp = QStringLiteral("%1%2%3%4%5%6")
                                  .arg(2 + i / 500000, 2, 10, QChar(u'0'))
                                  .arg(1 + i / 40000 % 12, 2, 10, QChar(u'0'))
                                  .arg(1 + i / 1440 % 28, 2, 10, QChar(u'0'))
                                  .arg(i / 60 % 24, 2, 10, QChar(u'0'))
                                  .arg(i % 60, 2, 10, QChar(u'0'))
                                  .arg(i * 7 % 60, 2, 10, QChar(u'0'));
        const QString text = QStringLiteral("Message number %1 of the load test%2")
                                 .arg(i)
                                 .arg(QString(i % 5 * 20, u'.'));
        file += test::DeliverFrame(QString::number(447700000000LL + i), stamp, text).toLatin1();
        file += "\r\n";
    }
    return file;
}

// The settings and a list of `count` messages in the current folder, as the window finds them.
inline void WriteWindowFiles(int count) {
    QFile ini(QStringLiteral("vantel.ini"));
    if (ini.open(QIODevice::WriteOnly)) ini.write("Speed=19200\r\nPort=1\r\n");
    QFile list(QStringLiteral("vantelq.dat"));
    if (list.open(QIODevice::WriteOnly)) list.write(MessageFile(count));
}

}  // namespace vantel::bench
