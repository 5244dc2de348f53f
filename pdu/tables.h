// Names of GSM 03.40 / 03.38 code values, exactly as the viewer and technical view show them.
#pragma once

#include <QString>
#include <QStringView>

namespace vantel {

// First character of a type-of-address octet ("8".."F"); anything else is "Illegal".
QString TonName(QStringView c);
// Second character of a type-of-address octet; upper case only.
QString NpiName(QStringView c);
// The address type text TonName + " " + NpiName of a type-of-address octet's two characters
// (shared, not rebuilt on every call).
QString AddressTypeName(QStringView ton, QStringView npi);
// TP-PID name of a hex pair (an empty text counts as 00).
QString PidName(QStringView pair);
// TP-DCS name of a hex pair; returns true when the coding is the GSM default alphabet.
bool DcsName(QStringView pair, QString &name);
// TP-ST name of a status report (GSM 03.40 9.2.3.15), errors prefixed by their class:
// "Short message received by the SME", "Temporary error, SC still trying: Congestion",
// "Permanent error: SC specific", ...; values from 80 on and from other than hex "Reserved".
QString StatusName(int status);

}  // namespace vantel
