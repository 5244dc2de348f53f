// The message-list line: 17 columns of time, 20 of address, 50 of text, separated by
// spaces, then the stored frame from column 91 on.
#pragma once

#include <QString>
#include <QStringView>

namespace vantel {

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
