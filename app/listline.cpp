#include "app/listline.h"

#include "blockmode/frame.h"

namespace vantel {

namespace {

constexpr QStringView kInvalidChecksum = u"<invalid checksum>";

// `text` (or `fallback` when it is empty) cut or padded with spaces to `width` columns.
void AppendColumn(QString &line, const QString &text, QStringView fallback, qsizetype width) {
    const QStringView shown = text.isEmpty() ? fallback : QStringView(text);
    const qsizetype used = qMin(width, shown.size());
    line.append(shown.first(used));
    line.resize(line.size() + width - used, u' ');
}

}  // namespace

ListLine MakeListLine(const QString &frame) {
    ListLine out;
    out.line.reserve(kFrameColumn + frame.size());

    QString content = frame;
    if (!ValidateFrame(content)) {
        out.line.append(kInvalidChecksum);
        out.line.resize(kFrameColumn, u' ');
        out.line.append(frame);
        return out;
    }

    // Only the columns are decoded, the text no further than its column shows.
    MessageFields fields;
    out.result = DecodeListColumns(content, fields, kListColumns[2].width);
    for (const ListColumn &c : kListColumns) {
        AppendColumn(out.line, fields.*c.field, c.fallback, c.width);
        out.line.append(u' ');
    }
    out.line.append(frame);
    return out;
}

QStringView FrameOfLine(QStringView line) {
    return line.sliced(line.lastIndexOf(u' ') + 1);
}

QString CountLabelText(qsizetype count) {
    return u' ' + QString::number(count) + (count == 1 ? u" item"_qs : u" items"_qs);
}

}  // namespace vantel
