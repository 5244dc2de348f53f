// Readable accounts of Block-mode frames, for the trace, the log and the technical view.
#pragma once

#include <QString>
#include <QStringView>

namespace vantel {

// `line` is a hex frame or any text whose last space-separated word is one (a message-list
// line). Every line of the account, the last included, ends with CR LF.
QString DescribeBlockMessage(QStringView line);
// "Message Type: " + the name of a two-digit type code, or "Message Type: Unknown!".
QString BlockTypeName(QStringView code);
// Block-mode cause text; `further` is the octet after the cause (for cause 87) or empty.
QString BlockCauseText(QStringView cause, QStringView further);
// GSM 04.11 8.2.5.4 RP-Cause names.
QString RpCauseName(QStringView code);
// Confirm types of REQUEST CONFIRMED.
QString ConfirmTypeName(QStringView code);

}  // namespace vantel
