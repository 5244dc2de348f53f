#include "app/messageexport.h"

#include <cerrno>

#include <QDate>
#include <QSaveFile>

#include "app/jsonline.h"
#include "app/messagestore.h"
#include "blockmode/frame.h"

namespace vantel {

namespace {

// Records gather in memory up to this size before they go to the device.
constexpr qsizetype kWriteChunk = 1 << 20;

int Digits(QStringView text, qsizetype at, qsizetype count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

QString KindOf(const MessageFields &fields) {
    static constexpr QStringView kTypes[] = {u"MT", u"MO", u"SR", u"RV"};
    static const QString kKinds[] = {QStringLiteral("deliver"), QStringLiteral("submit"),
                                     QStringLiteral("status report"), QStringLiteral("reserved")};
    for (size_t i = 0; i < std::size(kTypes); ++i)
        if (fields.typeCode.startsWith(kTypes[i])) return kKinds[i];
    return QStringLiteral("not a message");
}

bool IsCsvSpecial(QChar c) {
    return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
}

void AppendCsvCell(QString &row, QStringView cell) {
    const bool guard = NeedsFormulaGuard(cell);
    bool quote = false;
    for (const QChar c : cell)
        quote = quote || IsCsvSpecial(c);
    if (quote) row += u'"';
    if (guard) row += u'\'';
    if (!quote) {
        row += cell;
    } else {
        for (const QChar c : cell) {
            if (c == u'"') row += u'"';
            row += c;
        }
        row += u'"';
    }
}

}  // namespace

QString IsoTimeOf(QStringView t) {
    // "YY/MM/DD hh:mm:ss GMT+h.hhH"
    if (t.size() < 27 || !t.endsWith(u'H') || t.sliced(17, 4) != u" GMT") return {};
    for (qsizetype at : {2, 5}) {
        if (t[at] != u'/') return {};
    }
    if (t[8] != u' ' || t[11] != u':' || t[14] != u':') return {};
    const int yy = Digits(t, 0, 2), month = Digits(t, 3, 2), day = Digits(t, 6, 2);
    const int hour = Digits(t, 9, 2), minute = Digits(t, 12, 2), second = Digits(t, 15, 2);
    const int year = yy >= 90 ? 1900 + yy : 2000 + yy;
    if (yy < 0 || !QDate::isValid(year, month, day) || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return {};
    // The zone: a sign, whole hours, a point and hundredths (quarters of an hour).
    const QStringView zone = t.sliced(21, t.size() - 22);
    const qsizetype point = zone.indexOf(u'.');
    if (zone.size() < 5 || (zone[0] != u'+' && zone[0] != u'-') || point < 2 ||
        point != zone.size() - 3)
        return {};
    const int zoneHours = Digits(zone, 1, point - 1), hundredths = Digits(zone, point + 1, 2);
    if (zoneHours < 0 || zoneHours > 99 || hundredths < 0 || hundredths % 25 != 0) return {};
    char16_t iso[25];
    qsizetype n = 0;
    const auto two = [&](int value, char16_t after) {
        iso[n++] = char16_t(u'0' + value / 10);
        iso[n++] = char16_t(u'0' + value % 10);
        if (after) iso[n++] = after;
    };
    two(year / 100, 0);
    two(year % 100, u'-');
    two(month, u'-');
    two(day, u'T');
    two(hour, u':');
    two(minute, u':');
    two(second, zone[0].unicode());
    two(zoneHours, u':');
    two(hundredths * 60 / 100, 0);
    return QString(reinterpret_cast<const QChar *>(iso), n);
}

bool NeedsFormulaGuard(QStringView cell) {
    if (cell.isEmpty()) return false;
    const QChar first = cell.front();
    if (first == u'\'' || first == u'=' || first == u'@' || first == u'\t' || first == u'\r')
        return true;
    if (first != u'+' && first != u'-') return false;
    // A signed number stays a number.
    if (cell.size() == 1) return true;
    for (const QChar c : cell.sliced(1))
        if (c < u'0' || c > u'9') return true;
    return false;
}

MessageExporter::MessageExporter(ExportFormat format, const ConcatenatedTexts &joined,
                                 const NameBook &names)
    : format_(format), joined_(joined), names_(names) {}

ExportRecord MessageExporter::record(QStringView line) {
    ExportRecord r;
    r.frame = FrameOfStoredLine(line);
    frame_ = r.frame;
    if (!ValidateFrame(frame_)) {
        r.kind = QStringLiteral("invalid frame");
        return r;
    }
    if (!DecodeMessage(frame_, fields_)) {
        r.kind = KindOf(fields_);
        return r;
    }
    const MessageFields &f = fields_;
    r.kind = KindOf(f);
    if (f.typeCode.startsWith(u"MT") || f.typeCode.startsWith(u"SR")) r.time = IsoTimeOf(f.time);
    r.number = f.addressType.startsWith(u"International") ? u'+' + f.address : f.address;
    r.name = names_.nameOf(f.address, f.addressType);
    const Concatenation part = PartOf(f);
    if (part.valid()) {
        r.part = QString::number(part.part) + u'/' + QString::number(part.total);
        r.text = joined_.joined(f, part);
    }
    if (r.text.isEmpty()) r.text = f.text;
    r.status = f.typeCode.mid(3);
    return r;
}

QByteArray MessageExporter::header() const {
    if (format_ != ExportFormat::Csv) return {};
    QByteArray row;
    for (QStringView column : kExportColumns) {
        if (!row.isEmpty()) row += ',';
        row += column.toLatin1();
    }
    return row + "\r\n";
}

void MessageExporter::append(QStringView line, QByteArray &out) {
    const ExportRecord r = record(line);
    const QString *cells[] = {&r.time, &r.kind, &r.number, &r.name,
                              &r.text, &r.part, &r.status, &r.frame};
    static_assert(std::size(cells) == std::size(kExportColumns));
    row_.truncate(0);
    for (size_t i = 0; i < std::size(cells); ++i) {
        if (format_ == ExportFormat::Csv) {
            if (i > 0) row_ += u',';
            AppendCsvCell(row_, *cells[i]);
        } else {
            row_ += i == 0 ? u'{' : u',';
            AppendJsonQuoted(row_, kExportColumns[i]);
            row_ += u':';
            AppendJsonQuoted(row_, *cells[i]);
        }
    }
    row_ += format_ == ExportFormat::Csv ? QStringView(u"\r\n") : QStringView(u"}\n");
    out += row_.toUtf8();
}

bool WriteMessageExport(QIODevice &device, ExportFormat format, const QStringList &lines,
                        const ConcatenatedTexts &joined, const NameBook &names, QString *error) {
    MessageExporter exporter(format, joined, names);
    QByteArray out = exporter.header();
    out.reserve(kWriteChunk + (1 << 16));
    const auto flush = [&] {
        if (device.write(out) == out.size()) {
            out.truncate(0);
            return true;
        }
        // A short write (a full disk, a size limit) leaves no error of its own: errno has it.
        const int code = errno;
        const auto *file = qobject_cast<const QFileDevice *>(&device);
        if (error)
            *error = file && file->error() == QFileDevice::NoError ? qt_error_string(code)
                                                                   : device.errorString();
        return false;
    };
    for (const QString &line : lines) {
        exporter.append(line, out);
        if (out.size() >= kWriteChunk && !flush()) return false;
    }
    return flush();
}

bool SaveMessageExport(const QString &path, ExportFormat format, const QStringList &lines,
                       const ConcatenatedTexts &joined, const NameBook &names, QString *error) {
    QSaveFile file(path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
    } else if (!WriteMessageExport(file, format, lines, joined, names, &reason)) {
        file.cancelWriting();
    } else if (!file.commit()) {
        reason = file.errorString();
    } else {
        return true;
    }
    if (error) *error = reason;
    return false;
}

std::optional<ExportFormat> ExportFormatOfName(QStringView fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0 || fileName.sliced(dot).contains(u'/')) return std::nullopt;
    const QStringView extension = fileName.sliced(dot + 1);
    if (extension.compare(u"csv", Qt::CaseInsensitive) == 0) return ExportFormat::Csv;
    for (QStringView json : {u"jsonl", u"json", u"ndjson"})
        if (extension.compare(json, Qt::CaseInsensitive) == 0) return ExportFormat::JsonLines;
    return std::nullopt;
}

}  // namespace vantel
