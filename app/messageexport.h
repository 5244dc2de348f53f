// The message list written out for other programs: CSV (RFC 4180, UTF-8, for spreadsheets) or
// JSON Lines (for scripts), one record per list line with the fields people ask for: when, what
// kind, who (number and history name), the text with its concatenation joined, and the frame.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

#include "app/listrecords.h"
#include "pdu/summary.h"

namespace vantel {

enum class ExportFormat { Csv, JsonLines };

// The fields of one record, in the order of the columns.
struct ExportRecord {
    QString time;    // ISO 8601 with the zone: a time stamp's only, "" for a validity
    QString kind;    // "deliver", "submit", "status report", "reserved", "not a message", ...
    QString number;  // "+" in front of an international number
    QString name;    // the destination history's name for the number
    QString text;    // the whole text of a concatenated message once every part is stored
    QString part;    // "2/3" for a part of a concatenated message
    QString status;  // the STATUS octet stored with the message, two hex digits
    QString frame;   // the stored frame, as in "vantelq.dat"
};
inline constexpr QStringView kExportColumns[] = {u"time", u"kind", u"number", u"name",
                                                 u"text", u"part", u"status", u"frame"};

// "2024-03-15T10:31:00+01:00" of a summary time text "24/03/15 10:31:00 GMT+1.00H" (years 90
// to 99 are 1990s, the others 2000s); "" when it is no valid date and time.
QString IsoTimeOf(QStringView summaryTime);

// A CSV cell that a spreadsheet would take as a formula ("=", "+", "-", "@", a tab or a CR
// first, other than a plain signed number) or that begins with "'" gets a "'" in front: a text
// from a stranger must not run in the reader's spreadsheet. A reader takes one leading "'" off.
bool NeedsFormulaGuard(QStringView cell);

// Turns list lines (or bare frames) into records, decoding each once. `joined` holds the parts
// of the whole list (a filtered export still joins parts that are not exported) and `names` the
// destination history; both must outlive the exporter.
class MessageExporter {
public:
    MessageExporter(ExportFormat format, const ConcatenatedTexts &joined, const NameBook &names);

    ExportRecord record(QStringView line);
    // The header row (CSV; nothing for JSON Lines).
    QByteArray header() const;
    // Appends the record of `line` to `out`, UTF-8, with its line end.
    void append(QStringView line, QByteArray &out);

private:
    ExportFormat format_;
    const ConcatenatedTexts &joined_;
    const NameBook &names_;
    MessageFields fields_;  // reused: a long list is decoded without allocating per field
    QString frame_;
    QString row_;
};

// Writes the header and the records of `lines` to `device`, a piece at a time. False when the
// device refused a write; *error then says why.
bool WriteMessageExport(QIODevice &device, ExportFormat format, const QStringList &lines,
                        const ConcatenatedTexts &joined, const NameBook &names,
                        QString *error = nullptr);

// The export written to `path` atomically: the old file stays whole when anything fails.
bool SaveMessageExport(const QString &path, ExportFormat format, const QStringList &lines,
                       const ConcatenatedTexts &joined, const NameBook &names,
                       QString *error = nullptr);

// The format a file name asks for by its extension (".csv", ".jsonl", ".json", ".ndjson").
std::optional<ExportFormat> ExportFormatOfName(QStringView fileName);

}  // namespace vantel
