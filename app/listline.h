// The message-list line: 17 columns of time, 20 of address, 50 of text, separated by
// spaces, then the stored frame from column 91 on.
#pragma once

#include <QString>
#include <QStringView>

#include "pdu/summary.h"

namespace vantel {

// The columns in front of the frame: the field each shows, what it shows when that is empty,
// and its width. Each is followed by a blank.
struct ListColumn {
    QString MessageFields::*field;
    QStringView fallback;
    qsizetype width;
};
inline constexpr ListColumn kListColumns[] = {
    {&MessageFields::time, u"<no timestamp>", 17},
    {&MessageFields::address, u"<no address>", 20},
    {&MessageFields::text, u"<no text>", 50},
};
// Where the stored frame begins (0-based).
inline constexpr qsizetype kFrameColumn = [] {
    qsizetype column = 0;
    for (const ListColumn &c : kListColumns)
        column += c.width + 1;
    return column;
}();

struct ListLine {
    QString line;
    bool result = false;  // false when the frame fails its check or is not an SMS message
};

// The list line of a stored frame (hex, as received).
ListLine MakeListLine(const QString &frame);
// The stored frame of a list line: everything after its last space (all of it without one).
QStringView FrameOfLine(QStringView line);
// " 3 items", " 1 item", " 0 items".
QString CountLabelText(qsizetype count);

}  // namespace vantel
