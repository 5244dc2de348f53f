#include "table.h"

#include <QFile>
#include <QRegularExpression>
#include <sstream>
#include <utility>

namespace {

std::string Quoted(QStringView s) {
    QString out = u"\""_qs;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'"')
            out += u'\\', out += c;
        else if (u == u'\r')
            out += u"\\r";
        else if (u == u'\n')
            out += u"\\n";
        else if (u < 0x20 || u == 0x7F)
            out += QString::asprintf("\\x%02X", u);
        else
            out += c;
    }
    return (out + u'"').toStdString();
}

template <typename T>
std::string Printed(const T &value) {
    std::ostringstream os;
    PrintTo(value, &os);
    return os.str();
}

// Both values, the first place where they differ and, for lists, how many items differ.
template <typename T>
testing::AssertionResult Compare(const char *a, const char *b, const T &x, const T &y) {
    if (x == y) return testing::AssertionSuccess();
    qsizetype first = 0, differ = 0;
    while (first < x.size() && first < y.size() && x[first] == y[first])
        ++first;
    for (qsizetype i = first; i < std::max(x.size(), y.size()); ++i)
        differ += i >= x.size() || i >= y.size() || x[i] != y[i];
    auto result = testing::AssertionFailure() << "Expected equality of " << a << " and " << b;
    if constexpr (std::is_same_v<T, QStringList>) {
        result << "\n  " << a << ": " << x.size() << " lines\n  " << b << ": " << y.size()
               << " lines\n  " << differ << " differ; the first at line " << first + 1 << ":\n  "
               << a << ": " << Quoted(x.value(first, u"(none)"_qs)) << "\n  " << b << ": "
               << Quoted(y.value(first, u"(none)"_qs)) << "\n  " << a << ": " << Printed(x)
               << "\n  " << b << ": " << Printed(y);
    } else {
        result << "\n  " << a << ": " << Printed(x) << "\n  " << b << ": " << Printed(y)
               << "\n  first difference at " << first << " (sizes " << x.size() << " and "
               << y.size() << "): " << Printed(x.mid(first, 24)) << " against "
               << Printed(y.mid(first, 24));
    }
    return result;
}

}  // namespace

QT_BEGIN_NAMESPACE
void PrintTo(const QString &s, std::ostream *os) {
    *os << Quoted(s);
}
void PrintTo(QStringView s, std::ostream *os) {
    *os << Quoted(s);
}
void PrintTo(const QByteArray &b, std::ostream *os) {
    *os << Quoted(QString::fromLatin1(b));
}
void PrintTo(const QStringList &l, std::ostream *os) {
    *os << l.size() << " lines";
    for (const QString &s : l.mid(0, 20))
        *os << "\n    " << Quoted(s);
    if (l.size() > 20) *os << "\n    ...";
}
testing::AssertionResult CmpHelperEQ(const char *a, const char *b, const QString &x,
                                     const QString &y) {
    return Compare(a, b, x, y);
}
testing::AssertionResult CmpHelperEQ(const char *a, const char *b, const QByteArray &x,
                                     const QByteArray &y) {
    return Compare(a, b, x, y);
}
testing::AssertionResult CmpHelperEQ(const char *a, const char *b, const QStringList &x,
                                     const QStringList &y) {
    return Compare(a, b, x, y);
}
QT_END_NAMESPACE

namespace vantel::table {

void Fail(const std::string &where, const QString &what) {
    throw Error(where + ": " + what.toStdString());
}

QString Text(const char *file) {
    QFile f(QStringLiteral(VANTEL_TEST_DATA "/") + QLatin1String(file));
    if (!f.open(QIODevice::ReadOnly)) Fail(file, u"cannot be read"_qs);
    return QString::fromUtf8(f.readAll());
}

QList<Line> Lex(const std::string &file, const QString &text, bool keepBlanks) {
    QList<Line> lines;
    bool noted = false;
    const QStringList raw = text.split(u'\n');
    for (qsizetype n = 0; n < raw.size(); ++n) {
        QString line = raw[n];
        if (line.endsWith(u'\r')) line.chop(1);
        const QString where = QString::fromStdString(file) + u':' + QString::number(n + 1);
        const bool comment = line.startsWith(u'#'), blank = line.trimmed().isEmpty();
        if ((!blank || keepBlanks) && !comment && !(blank && n == raw.size() - 1))
            lines.append({where.toStdString(), blank ? QString() : line, noted});
        noted = comment;
    }
    return lines;
}

const QStringList kChecks =
    u"trace head tail log sent count lines logged unlogged framed outcome wrote wrote! wrote^ "
    u"wrote$ wrote= wrote# captured captured^ buffer read took< took>= #offered #appended "
    u"#stored #alerts #disables #enables #sent #log #trace #found #lost #open untraced "
    u"#asked reference"_qs.split(u' ');
const QStringList kClient = u"phone config > < <? refused terminate gone"_qs.split(u' ');
const Grammar kRoad{u"road"_qs,
                    kClient +
                        u"set answer later retrieve send hold port open close feed trickle "
                        u"hangup wait frame pause forget pin expect"_qs.split(u' '),
                    {u"phone"_qs, u"<"_qs, u"refused"_qs},
                    u"terminate gone retrieve hold close forget"_qs.split(u' '),
                    kChecks,
                    {}};
const Grammar kFault{u"fault"_qs,   u"set phone config disk unsent kept expect"_qs.split(u' '),
                     {u"phone"_qs}, {u"unsent"_qs, u"kept"_qs},
                     kChecks,       u"after the run:"_qs};
const Grammar kSession{u"session"_qs,
                       kClient + u"sent deleted pieces"_qs.split(u' '),
                       {u"phone"_qs, u"<"_qs, u"refused"_qs},
                       {u"terminate"_qs, u"gone"_qs},
                       {},
                       {}};
const Grammar kCliRun{u"$"_qs, u"< ? > ! ~"_qs.split(u' '), {u">"_qs, u"<"_qs}, {}, {}, {}};

QList<Record> Records(const std::string &file, const QString &text, const Grammar &g) {
    QList<Record> records;
    bool after = false;
    for (const Line &line : Lex(file, text)) {
        const QString verb = line.text.section(u' ', 0, 0), rest = line.text.mid(verb.size() + 1);
        const QString check = rest.section(u' ', 0, 0), value = rest.section(u' ', 1);
        if (verb == g.kind) {
            if (rest.trimmed().isEmpty() && g.kind != u"$")
                Fail(line.where, g.kind + u" without a name"_qs);
            records.append({rest, line.where, {}, {}}), after = false;
            continue;
        }
        if (records.isEmpty()) Fail(line.where, u"stands before the first "_qs + g.kind);
        if (!g.after.isEmpty() && line.text == g.after) {
            if (after) Fail(line.where, u"a second \""_qs + g.after + u'"');
            after = true;
            continue;
        }
        if (!g.steps.contains(verb)) Fail(line.where, u"unknown step \""_qs + verb + u'"');
        if (g.alone.contains(verb) && !rest.isEmpty())
            Fail(line.where, verb + u" takes no value"_qs);
        if (!g.alone.contains(verb) && !g.bare.contains(verb) && rest.isEmpty())
            Fail(line.where, verb + u" without its value"_qs);
        if (verb == u"expect" && !g.checks.contains(check))
            Fail(line.where, u"unknown check \""_qs + check + u'"');
        if (verb == u"expect" && (value.isEmpty() || ((check == u"count" || check == u"wrote#") &&
                                                      value.section(u' ', 1).isEmpty())))
            Fail(line.where, check + u" without its value (\"-\" is nothing)"_qs);
        if (!g.after.isEmpty() && (verb == u"expect") != after)
            Fail(line.where, after ? u"only checks may follow \""_qs + g.after + u'"'
                                   : u"a check above \""_qs + g.after + u'"');
        records.last().lines.append(line);
    }
    return records;
}

QList<Record> Records(const char *file, const Grammar &grammar) {
    try {
        const QList<Record> records = Records(file, Text(file), grammar);
        if (!records.isEmpty()) return records;
        Fail(file, u"holds no "_qs + grammar.kind);
    } catch (const Error &e) {
        return {{u"TableError"_qs, file, {}, QString::fromStdString(e.what())}};
    }
}

QMap<QString, QList<QStringList>> KindRows(const std::string &file, const QString &text,
                                           const QMap<QString, int> &fields) {
    QMap<QString, QList<QStringList>> rows;
    for (const Line &line : Lex(file, text)) {
        QStringList words = line.text.split(u' ');
        const QString kind = words.takeFirst();
        if (!fields.contains(kind)) Fail(line.where, u"unknown kind \""_qs + kind + u'"');
        if (words.size() != fields[kind])
            Fail(line.where, kind + u" needs "_qs + QString::number(fields[kind]) + u" fields"_qs);
        rows[kind] << words.replaceInStrings(QRegularExpression(u"^-$"_qs), {});
    }
    return rows;
}

QList<QStringList> CellRows(const std::string &file, const QString &text, int least, int most) {
    QList<QStringList> rows;
    for (const Line &line : Lex(file, text)) {
        QString cells = line.text;
        rows << cells.replace(u"\\r"_qs, u"\r"_qs).replace(u"\\n"_qs, u"\n"_qs).split(u'|');
        if (rows.last().size() < least || rows.last().size() > most)
            Fail(line.where, QString::number(rows.last().size()) + u" cells, not "_qs +
                                 QString::number(least) + u".."_qs + QString::number(most));
    }
    return rows;
}

const QMap<QString, int> kLinkVectors{{u"boundary"_qs, 4}, {u"frameend"_qs, 3}, {u"buffer"_qs, 4},
                                      {u"answer"_qs, 5},   {u"listing"_qs, 3},  {u"serial"_qs, 2}};
const QMap<QString, QPair<int, int>> kCells{
    {u"app-controls.txt"_qs, {3, 3}},  {u"app-setup.txt"_qs, {8, 10}},
    {u"dialogs-close.txt"_qs, {2, 3}}, {u"dialogs-send.txt"_qs, {8, 11}},
    {u"dialogs-hex.txt"_qs, {5, 5}},   {u"dialogs-viewer.txt"_qs, {13, 13}}};

QList<QStringList> CellRows(const char *file) {
    const auto [least, most] = kCells.value(QLatin1String(file));
    return CellRows(file, Text(file), least, most);
}

QList<QList<QPair<QString, QString>>> KeyRecords(const std::string &file, const QString &text,
                                                 const QString &first) {
    QList<QList<QPair<QString, QString>>> records;
    bool open = false;
    for (const Line &line : Lex(file, text, true)) {
        const qsizetype eq = line.text.indexOf(u'=');
        const QString key = line.text.left(eq);
        if (line.text.isEmpty()) {
            open = false;
            continue;
        }
        if (eq <= 0) Fail(line.where, u"no key="_qs);
        if ((key == first) == open)
            Fail(line.where, open ? u"a second "_qs + first : u"stands before "_qs + first);
        if (key == first) records.emplace_back(), open = true;
        records.last().append({key, line.text.mid(eq + 1)});
    }
    return records;
}

std::vector<Section> Sections(const std::string &file, const QString &text) {
    std::vector<Section> sections;
    for (const Line &line : Lex(file, text)) {
        const qsizetype close = line.text.indexOf(u']');
        if (line.text.startsWith(u'[')) {
            if (close < 2 || line.text.sliced(close + 1).trimmed().isEmpty())
                Fail(line.where, u"a header is \"[Suite.Name] Call\""_qs);
            sections.push_back({line.text.sliced(1, close - 1).toStdString(),
                                line.where,
                                line.text.sliced(close + 1).trimmed(),
                                {},
                                {}});
            continue;
        }
        if (sections.empty()) Fail(line.where, u"stands before the first [section]"_qs);
        QList<Row> &rows = sections.back().rows;
        const QStringList cells = line.text.trimmed().split(u'|');
        if (line.text.startsWith(u' ') && rows.isEmpty()) Fail(line.where, u"goes on no row"_qs);
        if (line.text.startsWith(u' '))
            rows.last().cells.last() += cells.first(), rows.last().cells += cells.mid(1);
        else
            rows.append({line.where, line.text.split(u'|')});
    }
    for (Section &section : sections) {
        if (section.rows.isEmpty()) Fail(section.where, u"a section without rows"_qs);
        for (Row &row : section.rows) {
            for (QString &cell : row.cells) {  // one blank either side belongs to the separator
                if (cell.startsWith(u' ')) cell.remove(0, 1);
                if (cell.endsWith(u' ')) cell.chop(1);
                if (cell == u"**" || cell == u"***")
                    Fail(row.where, u"a cell that matches anything"_qs);
            }
        }
    }
    return sections;
}

void Check(const std::string &file, const QString &text) {
    const QString name = QString::fromStdString(file);
    const std::map<QString, const Grammar *> grammars{{u"link-roads.txt"_qs, &kRoad},
                                                      {u"link-faults.txt"_qs, &kFault},
                                                      {u"phonesim-sessions.txt"_qs, &kSession},
                                                      {u"cli-runs.txt"_qs, &kCliRun}};
    static const QRegularExpression hex(u"^[0-9A-Fa-f]+$"_qs), labelled(u"^\\S+ [0-9A-Fa-f]+$"_qs);
    if (grammars.count(name)) {
        const QList<Record> records = Records(file, text, *grammars.at(name));
        if (records.isEmpty()) Fail(file, u"holds no record"_qs);
        Negatives(records);
    } else if (name == u"link-vectors.txt") {
        KindRows(file, text, kLinkVectors);
    } else if (kCells.contains(name)) {
        CellRows(file, text, kCells[name].first, kCells[name].second);
    } else if (name == u"pdu-real.txt") {
        KeyRecords(file, text, u"name"_qs);
    } else if (name.startsWith(u"pdu-") || name.startsWith(u"core-")) {
        for (const Line &line : name == u"core-real-pdus.txt" ? Lex(file, text) : QList<Line>())
            if (!labelled.match(line.text).hasMatch()) Fail(line.where, u"not \"label PDU\""_qs);
        if (name != u"core-real-pdus.txt") Sections(file, text);
    } else if (name == u"cli-listed-pdus.txt" || name == u"bench-mix.txt") {
        for (const Line &line : Lex(file, text))
            if (!hex.match(line.text).hasMatch()) Fail(line.where, u"not a PDU in hex"_qs);
    } else {
        Fail(file, u"no reader knows this file"_qs);
    }
}

void Negatives(const QList<Record> &records) {
    static const QRegularExpression positive(
        u"^expect (wrote[\\^$=]?|read|trace|head|tail|log|logged|"
        u"(count|lines|wrote#) (>=)?[1-9][0-9]*) (.+)$"_qs),
        negative(u"^expect (wrote!|unlogged|untraced|count 0|lines 0) (.+)$"_qs);
    QString shown;  // what checks that something is there name, as hex and as text
    for (const Record &r : records)
        for (const Line &l : r.lines)
            if (const QByteArray v = Octets(positive.match(l.text).captured(4)); !v.isEmpty())
                shown += QString::fromLatin1(v.toHex().toUpper() + '\n' + v + '\n');
    for (const Record &r : records) {
        for (const Line &l : r.lines) {
            const auto m = negative.match(l.text);
            const QByteArray v = Octets(m.captured(2));
            if (!m.hasMatch() || l.noted) continue;
            for (const QString &part : m.captured(1) == u"wrote!"
                                           ? QStringList{QString::fromLatin1(v.toHex().toUpper())}
                                           : QString::fromLatin1(v).split(u'|'))
                if (!shown.contains(part))
                    Fail(l.where, u"no check shows \""_qs + part + u"\" can appear"_qs);
        }
    }
}

QList<QStringList> CsvRecords(const QByteArray &utf8) {
    const QString text = QString::fromUtf8(utf8);
    QList<QStringList> records;
    QStringList record;
    QString field;
    const auto fail = [&](const char *what) {
        Fail("CSV record " + std::to_string(records.size() + 1), QString::fromLatin1(what));
    };
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == u'"') {
            for (++i;; ++i) {
                if (i >= text.size()) fail("quoted field not closed");
                if (text[i] == u'"' && (i + 1 >= text.size() || text[i + 1] != u'"')) break;
                if (text[i] == u'"') ++i;
                field += text[i];
            }
            ++i;
        } else {
            for (; i < text.size() && text[i] != u',' && text[i] != u'\r'; ++i) {
                if (text[i] == u'"' || text[i] == u'\n') fail("quote or LF in an unquoted field");
                field += text[i];
            }
        }
        record << std::exchange(field, QString());
        if (i < text.size() && text[i] == u',') {
            ++i;
            continue;
        }
        if (text.sliced(i).left(2) != u"\r\n") fail("a field not followed by a comma or CR LF");
        i += 2;
        if (!records.isEmpty() && records.constFirst().size() != record.size())
            fail("a record of another length than the first");
        records << std::exchange(record, QStringList());
    }
    return records;
}

QByteArray Octets(QStringView text) {
    if (text == u"-") return {};
    if (text.startsWith(u"0x")) return QByteArray::fromHex(text.mid(2).toLatin1());
    QByteArray out = text.toLatin1().replace("\\r", "\r").replace("\\n", "\n").replace("\\s", " ");
    for (qsizetype i; (i = out.indexOf("\\x")) >= 0;)
        out.replace(i, 4, QByteArray::fromHex(out.mid(i + 2, 2)));
    return out;
}

qsizetype OctetIndex(const QString &hay, const QString &needle, qsizetype from) {
    qsizetype at = from * 2;
    while ((at = hay.indexOf(needle, at)) % 2 == 1)
        ++at;
    return at < 0 ? -1 : at / 2;
}

}  // namespace vantel::table
