// The one reader of the tables in tests/data, shared by every suite, and the way failures print
// Qt values. A table is read as strictly as source code: each line is a comment ("#" first), a
// blank, a header or a row of a kind the table knows, else reading fails naming file:line.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <stdexcept>

// Failures show Qt values as whole, escaped text, and two that differ show where they part.
QT_BEGIN_NAMESPACE
void PrintTo(const QString &s, std::ostream *os);
void PrintTo(QStringView s, std::ostream *os);
void PrintTo(const QByteArray &b, std::ostream *os);
void PrintTo(const QStringList &l, std::ostream *os);
inline std::ostream &operator<<(std::ostream &os, const QString &s) {
    return os << s.toStdString();
}
// Found by EXPECT_EQ through argument-dependent lookup, before GoogleTest's own template.
testing::AssertionResult CmpHelperEQ(const char *, const char *, const QString &, const QString &);
testing::AssertionResult CmpHelperEQ(const char *, const char *, const QByteArray &,
                                     const QByteArray &);
testing::AssertionResult CmpHelperEQ(const char *, const char *, const QStringList &,
                                     const QStringList &);
// An expected "" or u"" compares as text, not as a pointer.
inline testing::AssertionResult CmpHelperEQ(const char *a, const char *b, const QString &x,
                                            const char16_t *y) {
    return CmpHelperEQ(a, b, x, QString::fromUtf16(y));
}
inline testing::AssertionResult CmpHelperEQ(const char *a, const char *b, const QString &x,
                                            const char *y) {
    return CmpHelperEQ(a, b, x, QString::fromUtf8(y));
}
QT_END_NAMESPACE

namespace vantel::table {

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};
[[noreturn]] void Fail(const std::string &where, const QString &what);

struct Line {
    std::string where;  // file:line
    QString text;
    bool noted = false;  // a comment stands right above it
};

// The text of tests/data/<file>.
QString Text(const char *file);
// The lines that are neither blank nor comments (blanks kept with keepBlanks, as empty lines).
QList<Line> Lex(const std::string &file, const QString &text, bool keepBlanks = false);

// A record: a header "<kind> <name>" and the lines up to the next header.
struct Record {
    QString name;
    std::string where;
    QList<Line> lines;
    QString error;  // the file is malformed: the record stands for the mistake
};
inline void PrintTo(const Record &r, std::ostream *os) {
    *os << r.name.toStdString();
}

// What a kind of record may hold: each line starts with one of `steps` and gives a value, unless
// the step may stand `bare` or takes none (`alone`); "expect" names one of `checks` and its value
// ("-" for nothing). After the line `after` (when set) only checks may follow.
struct Grammar {
    QString kind;
    QStringList steps, bare, alone, checks;
    QString after;
};
extern const Grammar kRoad, kFault, kSession, kCliRun;

QList<Record> Records(const std::string &file, const QString &text, const Grammar &grammar);
// Those of tests/data/<file>; a malformed file gives one record holding its error.
QList<Record> Records(const char *file, const Grammar &grammar);

// Rows of blank-separated fields, the first word naming the kind, with its number of fields.
QMap<QString, QList<QStringList>> KindRows(const std::string &file, const QString &text,
                                           const QMap<QString, int> &fields);
// Rows of cells split at '|', between `least` and `most` of them; by file, as many as it takes.
QList<QStringList> CellRows(const std::string &file, const QString &text, int least, int most);
QList<QStringList> CellRows(const char *file);
extern const QMap<QString, int> kLinkVectors;  // the kinds of link-vectors.txt, their fields
// Records of "key=value" lines, each opened by `first`= and ended by a blank line.
QList<QList<QPair<QString, QString>>> KeyRecords(const std::string &file, const QString &text,
                                                 const QString &first);

// Rows of a vector file under "[Suite.Name] Call" headers (tests/pdu/vectors.h tells more).
struct Row {
    std::string where;
    QStringList cells;
};
struct Section {
    std::string name, where;
    QString call;
    QList<Row> rows;
    QString error;
};
inline void PrintTo(const Section &s, std::ostream *os) {
    *os << s.name;
}
std::vector<Section> Sections(const std::string &file, const QString &text);

// Reads tests/data/<file> as its suite does (its text given), throwing its first mistake.
void Check(const std::string &file, const QString &text);
// A check that something is absent ("wrote!", "unlogged", "count 0", "lines 0") must name what
// a check that it is present shows somewhere in `records`, or a comment right above says why not.
void Negatives(const QList<Record> &records);

// "0x" and hex digits, or text in which \r \n \s \xHH stand for CR, LF, a blank and any
// octet; "-" is nothing.
QByteArray Octets(QStringView text);

// The records of an RFC 4180 file (UTF-8): fields split at commas, a quoted field holding ""
// for a quote and any commas, CR and LF; every record, the last too, ends in CR LF. Anything
// else (a quote inside an unquoted field, a lone CR or LF, text after a closing quote, records
// of different lengths) throws Error naming the record.
QList<QStringList> CsvRecords(const QByteArray &utf8);

// Where `needle` (hex) stands in `hay` (hex) at whole octets, from octet `from`; -1: nowhere.
qsizetype OctetIndex(const QString &hay, const QString &needle, qsizetype from = 0);

}  // namespace vantel::table
