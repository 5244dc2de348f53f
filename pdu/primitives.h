// Hex strings, semi-octets and the GSM 7-bit alphabet: the primitives every decoder is built from.
//
// A hex string is a text of digit pairs, one pair per octet, high digit first; positions count
// from 1 in the comments, like the field positions of GSM 03.40 tables. Producers write upper
// case; readers accept both cases. An octet string (QByteArray) holds one byte per octet and is
// used only for what crosses the serial line.
//
// Characters are those of the Windows-1252 code page: AnsiCode() gives the 8-bit code of a
// QChar (unmappable characters count as '?'), AnsiChar() the QChar of a code.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vantel {

// Carriage return and line feed: every multi-line text the program builds uses it.
inline constexpr QStringView LineBreak = u"\r\n";

int AnsiCode(QChar c);
QChar AnsiChar(int code);                // code 0..255
QString FromAnsi(QByteArrayView bytes);  // Windows-1252 bytes to text; every byte maps back
QByteArray ToAnsi(QStringView text);     // text to Windows-1252 bytes; unmappable -> '?'
// The first character (a surrogate pair whole) that Windows-1252 cannot hold; empty when none.
QString FirstNonAnsiChar(QStringView text);

// Value of the first character (0 for an empty view): '0'-'9' 0-9, 'A'-'F'/'a'-'f' 10-15;
// other characters give the out-of-range values of the classic formula (a space gives -16).
int HexDigitValue(QStringView c);
// 16 * first digit + second digit; a missing digit counts as 0 ("A" gives 160).
int HexPairValue(QStringView s);
// One octet per pair; an odd length ends with an octet whose low nibble is 0. A pair of
// characters other than hex digits whose value leaves 0..255 ends the conversion there.
QByteArray HexToBytes(QStringView hex);
// One octet per complete pair, leaving out the pair that ends on the last character and
// pairs with a negative value ("4142" gives "A", "41420" gives "AB"); a value above 255 ends
// the conversion there.
QByteArray HexPairsToChars(QStringView hex);
// Two upper-case digits per octet.
QString BytesToHex(QByteArrayView bytes);
// Keeps '0'-'9' and 'A'-'F' only (lower case is dropped, not converted).
QString KeepHexDigits(QStringView s);
// The country code a national number (one leading "0") is sent with, unless set otherwise.
inline constexpr QStringView kDefaultCountryCode = u"44";
// One to three digits, the first not "0" (ITU-T E.164 country codes).
bool IsCountryCode(QStringView code);
// Spaces removed; a leading '+' removed; then a leading "0" becomes `countryCode`, a leading
// "00" goes.
QString NormaliseNumber(QStringView s, QStringView countryCode = kDefaultCountryCode);
// GSM 03.38 6.2.1 default alphabet: the Unicode code of septet `code` (0..127): 0 -> '@',
// 1 -> '£', 0x10 -> 'Δ', 0x24 -> '¤', 0x40 -> '¡', ...; the escape 0x1B reads as a space.
// Codes outside 0..127 are returned unchanged.
int MapGsmChar(int code);
// GSM 03.38 6.2.1.1 extension table: the Unicode code of the septet that follows an escape
// ('€' for 0x65, '[' for 0x3C, form feed for 0x0A, ...), or -1 when the table has none.
int MapGsmExtensionChar(int code);
// The septets of a character in the default alphabet: the septet (0..127), or 0x1B00 plus the
// septet after the escape for a character of the extension table; -1 when the alphabet has none.
int ToGsmSeptets(QChar c);
inline constexpr int kGsmEscape = 0x1B;
// Unpacks septets `skip` .. `count` - 1 (GSM 03.40 9.2.3.24 packing) of a hex string and maps
// them: an escape and the septet after it give one character of the extension table (or,
// when that has none, the default-table character of the second septet); a septet 0x0A becomes
// CR LF. Reading past the end yields '@' from zero septets; count <= skip gives "", and the
// count is capped at 32767. A septet that digits other than hex drive outside 0..127 reads as
// the Windows-1252 character of its code, and outside 0..255 ends the text there.
QString UnpackGsm7(QStringView hex, int count, int skip = 0);
// The same appended to `text`; with `limit` >= 0 it may stop once it has appended more than
// `limit` characters (those are exact).
void AppendGsm7(QString &text, QStringView hex, int count, int skip = 0, qsizetype limit = -1);

// Semi-octet digits (GSM 03.40 9.1.2.3): for each pair XY append Y then X, each unless it is
// 'F'. `digits` is the number of semi-octets to read (the loop runs i = 1, 3, ... while
// i <= digits), starting at 0-based `start`. Returns the digits and sets *end to the 0-based
// position just after the last pair read (which may lie beyond the string).
QString SemiOctetDigits(QStringView hex, qsizetype start, int digits, qsizetype *end = nullptr);
void AppendSemiOctetDigits(QString &out, QStringView hex, qsizetype start, int digits,
                           qsizetype *end = nullptr);

// The number an address field holds (GSM 03.40 9.1.2.3, 9.1.2.5): exactly `digits` semi-octets,
// so an odd count ends before the last octet's high nibble whatever it holds; 0-9 as digits,
// A-E (either case) as "*", "#", "a", "b", "c", F as a filler that is left out, other
// characters as they stand. Same arguments as SemiOctetDigits.
QString AddressDigits(QStringView hex, qsizetype start, int digits, qsizetype *end = nullptr);
void AppendAddressDigits(QString &out, QStringView hex, qsizetype start, int digits,
                         qsizetype *end = nullptr);

// GSM 03.40 9.2.3.11 time stamp of the 14 characters at 0-based `start`:
// "YY/MM/DD hh:mm:ss" with each pair swapped and taken verbatim.
QString TimeStampText(QStringView hex, qsizetype start);
void AppendTimeStampText(QString &text, QStringView hex, qsizetype start);
// Time zone of the pair at 0-based `start` in hours; quarters of an hour, bit 3 of the
// second digit is the sign.
double TimeZoneHours(QStringView hex, qsizetype start);
// "+1.00", "+0.00", "-7.00", "+5.75": sign always shown, two decimals.
QString TimeZoneText(double hours);
void AppendTimeZoneText(QString &text, double hours);

// Characters that an alphanumeric address of `digits` semi-octets holds (GSM 03.40 9.1.2.5):
// the whole septets in digits * 4 bits; the bits left over are padding, not a character.
int AlphanumericLength(int digits);

}  // namespace vantel
