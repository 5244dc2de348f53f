// SMS-SUBMIT encoder: turns the send form's field values into a send-queue entry
// "octets,destination,service centre,data".
#pragma once

#include <QString>
#include <QStringView>

namespace vantel {

// GSM 04.11 / 03.40 address field: length, type "91", swapped semi-octets with 'F' filler.
// The length counts octets (type octet included) when `countOctets`, else digits.
QString EncodeAddress(QStringView number, bool countOctets);
// GSM 03.38 default-alphabet packing of the text's Windows-1252 codes (bit 7 dropped).
QString PackSeptets(QStringView text);
// '@' (64) becomes 0; every other code is returned unchanged.
int ToGsmCode(int code);

enum class LinkMode { Block, Pdu, PduSkipSca };

// The send form's controls at the moment of the press, as typed.
struct SendFields {
    QString to;        // ToBox text: may be "name=number" and carry ",service centre"
    QString sc;        // SCBox text: may be "name=number"
    QString message;   // MessageWindow text
    QString pid;       // PIDBox text, e.g. "00=Default" (its first two characters are used)
    QString dcs;       // DCSBox text, e.g. "F4=8 bit Immediate"
    bool replyPath = false;
    bool statusReport = false;
};

struct EncodedEntry {
    bool ok = false;
    QString entry;             // the send-queue entry when ok
    QString error;             // why nothing was queued, e.g. "No text to send"
    QString addToAddressList;  // ToBox text to add to the destination history (when it had "=")
    QString addToSCList;       // SCBox text to add to the service-centre history
};

// Everything the send button does except touching widgets.
EncodedEntry BuildQueueEntry(const SendFields &fields, LinkMode mode);

}  // namespace vantel
