// The small vector files under tests/data: records of lines, octets written readably.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <ostream>

namespace vantel::test {

// A record starts with a line "<kind> <name>" and holds the lines up to the next record.
struct Record {
    QString name;
    QStringList lines;
};

inline void PrintTo(const Record &r, std::ostream *os) {
    *os << r.name.toStdString();
}

// The records of one kind in tests/data/<file>; blank lines and lines starting with # are skipped.
inline QList<Record> Records(const char *file, QStringView kind) {
    QFile f(QStringLiteral(VANTEL_TEST_DATA "/") + QLatin1String(file));
    QList<Record> records;
    if (!f.open(QIODevice::ReadOnly)) return records;
    for (const QString &raw : QString::fromUtf8(f.readAll()).split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (line.startsWith(kind) && line.mid(kind.size(), 1) == u" ")
            records.append({line.mid(kind.size() + 1), {}});
        else if (!records.isEmpty())
            records.last().lines << line;
    }
    return records;
}

// "0x" and hex digits, or text in which \r \n \s \xHH stand for CR, LF, a blank and any octet.
inline QByteArray Octets(QStringView text) {
    if (text.startsWith(u"0x")) return QByteArray::fromHex(text.mid(2).toLatin1());
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = char(text[i].unicode());
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char e = char(text[++i].unicode());
        if (e == 'x') {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 's' ? ' ' : e;
        }
    }
    return out;
}

// Blank-separated words, each read as Octets (so \s is a blank inside a word).
inline QStringList Words(QStringView text) {
    QStringList words;
    for (QStringView w : text.split(u' ', Qt::SkipEmptyParts))
        words << QString::fromLatin1(Octets(w));
    return words;
}

}  // namespace vantel::test
