// SMS-SUBMIT encoder: turns the send form's field values into send-queue entries
// "octets,destination,service centre,data", one for each part of a concatenated message.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include "pdu/primitives.h"
#include "pdu/userdata.h"

namespace vantel {

// GSM 04.11 / 03.40 address field: length, type "91", swapped semi-octets with 'F' filler.
// The length counts octets (type octet included) when `countOctets`, else digits. A national
// number (one leading "0") goes to `countryCode`.
QString EncodeAddress(QStringView number, bool countOctets,
                      QStringView countryCode = kDefaultCountryCode);

// A number as typed, read for sending: the separators people type ("-", "(", ")", "." and
// blanks) go, a "+" is taken in front only, and any other character is refused by name.
struct NumberReading {
    QString number;   // digits and the "+" in front, blanks kept between groups; empty if refused
    QString sendsTo;  // the international number it goes to, e.g. "+44 171 1234567"
    QString refusal;  // why it cannot be sent; empty when it can
};
// `what` names the box in the refusal: "destination", "service centre".
NumberReading ReadNumber(QStringView typed, QStringView countryCode, QStringView what);
// What the send form shows under its destination box for ToBox's text (a "name=number,centre"
// entry too): "Sends to +44 171 1234567", why it cannot be sent, or "" for an empty box.
QString SendsToText(QStringView toText, QStringView countryCode);
// GSM 03.38 default-alphabet packing of a text: every character as its septet, a character of
// the extension table as the escape and its septet; a character the alphabet lacks as '?'.
QString PackSeptets(QStringView text);

enum class LinkMode { Block, Pdu, PduSkipSca };

// The send form's controls at the moment of the press, as typed.
struct SendFields {
    QString to;       // ToBox text: may be "name=number" and carry ",service centre"
    QString sc;       // SCBox text: may be "name=number"
    QString message;  // MessageWindow text
    QString pid;      // PIDBox text, e.g. "00=Default" (its first two characters are used)
    QString dcs;      // DCSBox text, e.g. "F4=8 bit Immediate"
    bool replyPath = false;
    bool statusReport = false;
    int reference = -1;  // concatenation reference 0..255; -1: derived from the text
};

struct EncodedEntry {
    bool ok = false;
    QStringList entries;       // the send-queue entries when ok: one, or one per part
    QString error;             // why nothing was queued, e.g. "No text to send"
    QString addToAddressList;  // ToBox text to add to the destination history (when it had "=")
    QString addToSCList;       // SCBox text to add to the service-centre history
};

// Everything the send button does except touching widgets.
EncodedEntry BuildQueueEntry(const SendFields &fields, LinkMode mode,
                             QStringView countryCode = kDefaultCountryCode);

// How a message text goes out with the DCS that `dcs` begins with: the parts it needs (1 for
// a text that fits one message; a concatenated series takes at most 255), and the first
// character that the 7-bit alphabet lacks. 8-bit data (hex digits) is always one part.
// `characters` counts them as the user sees them (an emoji with its modifiers is one); in the
// 7-bit alphabet a character sent as two septets (one of the extension table, a line break as
// CR LF) counts twice, as it costs.
struct TextSize {
    Alphabet alphabet = Alphabet::Gsm7;
    qsizetype parts = 1;
    qsizetype characters = 0;
    QString missing;  // empty when every character can be sent
};
TextSize MeasureText(QStringView text, QStringView dcs);
// The most parts a concatenated series has (8-bit reference, GSM 03.40 9.2.3.24.1).
inline constexpr qsizetype kMaxParts = 255;

}  // namespace vantel
