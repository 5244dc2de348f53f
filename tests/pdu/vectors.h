// Table-driven checks kept in tests/data. A file holds sections; a section names what it
// guarantees and the function it calls, and each of its rows gives that function's inputs and
// the outputs expected of it:
//
//   [Suite.WhatIsGuaranteed] FunctionName
//   input | input | expected | expected
//
// Cells are split at "|" (one blank either side is left out). In a cell, \n is CR LF, \xHH and
// \uHHHH a character (\x7C a "|", \x20 a blank at either end), \U0001F600 a character beyond
// the first plane, \*N{text} the text N times, \\ a backslash. An expected cell "*text" must
// end the output, "text*" begin it, "*text*" occur in it (\x2A is a "*" at either end). A line
// that starts with a blank goes on the row above it, less its leading blanks; "#" starts a
// comment line. A cell "**" (matching anything) or a row before the first header fails the
// suite with its file:line (tests/common/table.h reads the files).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "table.h"

namespace vantel {
struct MessageFields;
}
namespace vantel::vectors {

QString Unescape(QStringView cell);
using table::Row;
using table::Section;

// A function the rows call: how many cells of a row are its inputs, and its outputs for them
// (compared with the cells that follow).
struct Call {
    int inputs;
    std::function<QStringList(const QStringList &in)> run;
};

// Each test program defines its calls by name.
const QMap<QString, Call> &Calls();

std::vector<Section> LoadSections(std::initializer_list<const char *> files);
std::string SectionName(const testing::TestParamInfo<Section> &info);

class Vectors : public testing::TestWithParam<Section> {};

// Shorthands for the outputs of a call.
inline QString N(qint64 value) {
    return QString::number(value);
}
inline QString B(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}
inline QString Hex(QByteArrayView octets) {
    return QString::fromLatin1(octets.toByteArray().toHex().toUpper());
}
inline QByteArray Octets(const QString &hex) {
    return QByteArray::fromHex(hex.toLatin1());
}
// Whether decoding succeeded, then every field of `f` (stale ones show what was not written).
QStringList Fields(bool ok, const MessageFields &f);

}  // namespace vantel::vectors

// A call of n inputs `in` whose outputs are the remaining arguments.
#define VANTEL_CALL(n, ...)                                                   \
    Call {                                                                    \
        n, [](const QStringList &in) -> QStringList { return {__VA_ARGS__}; } \
    }
