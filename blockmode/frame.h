// GSM 07.05 Block-mode frames: DLE STX, content with every 0x10 stuffed by 0x00, DLE ETX and a
// 16-bit two's-complement checksum of the unstuffed content, high octet first (each checksum
// octet 0x10 stuffed as well).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vantel {

// The fixed frames of the retrieval dialogue.
inline const QByteArray GetNextMessageFrame = QByteArrayLiteral("\x10\x02\x03\x10\x03\xFF\xFD");
inline const QByteArray EndSmsModeFrame = QByteArrayLiteral("\x10\x02\x1E\x10\x03\xFF\xE2");
inline constexpr QStringView GetNextMessageHex = u"1002031003FFFD";
// GET MESSAGE FAILURE 00 00: stands in for a reply that never came.
inline constexpr QStringView TimeoutFrame = u"10022200001003FFDE";
// FrameKey of a GET MESSAGE FAILURE with cause 00 ("No such message"): ends a retrieval.
inline constexpr QStringView EndOfListKey = u"100222001003";
inline constexpr QStringView MissingStuffingWarning =
    u"Warning: Missing Stuffing Octet in Checksum: fixed";

// Content octets (type then parameters, unstuffed, at least one) to the octets on the line.
QByteArray BuildFrame(QByteArrayView content);

struct ExtractedFrame {
    QString frame;  // hex text of the frame; empty when none was found
    bool found = false;
    int repairs = 0;  // checksum octets whose missing stuffing octet was put back
};
// Cuts the frame that ends at the first DLE ETX out of a captured response (hex), from its
// DLE STX on (or, without one, from the fifth digit: the first two octets are left over from
// the previous match). The caller writes MissingStuffingWarning to the trace once per repair.
ExtractedFrame ExtractFrame(QStringView captured);

// Checks markers, stuffing and checksum. On success replaces `frame` by its content (hex,
// unstuffed, without markers and checksum) and returns true; on failure replaces it by one of
// the "Syntax error: ..." texts and returns false.
bool ValidateFrame(QString &frame);

// Digits 1-6 followed by digits 9-14 of a hex frame: the frame without its first parameter.
QString FrameKey(QStringView frame);

}  // namespace vantel
