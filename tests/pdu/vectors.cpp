#include "vectors.h"

#include "pdu/summary.h"

namespace vantel::vectors {

QString Unescape(QStringView cell) {
    QString out;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const QChar c = cell[i];
        const QChar next = i + 1 < cell.size() ? cell[i + 1] : QChar();
        if (c != u'\\' || next.isNull()) {
            out += c;
            continue;
        }
        const int digits = next == u'x' ? 2 : next == u'u' ? 4 : next == u'U' ? 8 : 0;
        if (next == u'n') {
            out += u"\r\n";
        } else if (digits > 0) {
            const char32_t code = cell.sliced(i + 2, digits).toUInt(nullptr, 16);
            out += QString::fromUcs4(&code, 1);
            i += digits;
        } else if (next == u'*') {
            const qsizetype open = cell.indexOf(u'{', i), close = cell.indexOf(u'}', open);
            const int times = cell.sliced(i + 2, open - i - 2).toInt();
            out += Unescape(cell.sliced(open + 1, close - open - 1)).repeated(times);
            i = close - 1;
        } else {
            out += next;
        }
        ++i;
    }
    return out;
}

std::vector<Section> LoadSections(std::initializer_list<const char *> files) {
    std::vector<Section> sections;
    for (const char *name : files) {
        try {
            for (Section &s : table::Sections(name, table::Text(name)))
                sections.push_back(std::move(s));
        } catch (const table::Error &e) {
            sections.push_back({std::string("TableError_") + name,
                                name,
                                {},
                                {},
                                QString::fromStdString(e.what())});
        }
    }
    return sections;
}

std::string SectionName(const testing::TestParamInfo<Section> &info) {
    std::string name = info.param.name;
    for (char &c : name) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

QStringList Fields(bool ok, const MessageFields &f) {
    return {B(ok),     f.typeCode,    f.scAddress, f.scAddressType, f.firstOctet, f.flagOrReference,
            f.address, f.addressType, f.pid,       f.dcs,           f.time,       f.text,
            f.userData};
}

namespace {

// Whether `got` is what the cell written as `expected` asks for.
bool Matches(const QString &expected, const QString &got) {
    const bool suffix = expected.startsWith(u'*'), prefix = expected.endsWith(u'*');
    if ((!suffix && !prefix) || expected.size() < 2) return got == Unescape(expected);
    const QString part = Unescape(expected.mid(suffix ? 1 : 0).chopped(prefix ? 1 : 0));
    return suffix && prefix ? got.contains(part)
           : suffix         ? got.endsWith(part)
                            : got.startsWith(part);
}

}  // namespace

TEST_P(Vectors, Hold) {
    const Section &section = GetParam();
    ASSERT_TRUE(section.error.isEmpty()) << section.error;
    ASSERT_TRUE(Calls().contains(section.call))
        << section.name << ": no call " << section.call.toStdString();
    const Call &call = Calls()[section.call];
    for (const Row &row : section.rows) {
        QStringList in;
        for (const QString &cell : row.cells.mid(0, call.inputs))
            in << Unescape(cell);
        const QStringList expected = row.cells.mid(call.inputs);
        const QStringList got = call.run(in);
        ASSERT_EQ(expected.size(), got.size()) << row.where << ": cells";
        for (qsizetype i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(Matches(expected[i], got[i]))
                << row.where << ", output " << i + 1 << " (section at " << section.where << ")"
                << "\n  expected: " << expected[i].toStdString()
                << "\n       got: " << got[i].toStdString();
        }
    }
}

}  // namespace vantel::vectors
