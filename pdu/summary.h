// The summary decode of a stored message: the twelve texts that the message list and the
// viewer show.
#pragma once

#include <QString>
#include <QStringView>

namespace vantel {

struct MessageFields {
    QString typeCode;         // "MT-", "MO-", "SR-" or "RV-" followed by the STATUS octet
    QString scAddress;        // service-centre digits, no '+'
    QString scAddressType;    // TonName + " " + NpiName
    QString firstOctet;       // the TPDU's first two characters
    QString flagOrReference;  // DELIVER: TP-MMS bit "Yes"/"No"; SUBMIT, STATUS-REPORT: TP-MR
    QString address;          // originating (DELIVER), destination (SUBMIT) or recipient address
    QString addressType;      // TonName + " " + NpiName
    QString pid;              // two hex characters (a status report's only when it has one)
    QString dcs;              // two hex characters (likewise)
    QString time;             // DELIVER: SCTS text; SUBMIT: validity text; report: discharge time
    QString text;             // text by the DCS after any header, a report's status name, or
                              // "<not an SMS message>"
    QString userData;         // user data as hex (after the UDL pair), header included
};

// `content` is a validated frame's content (type octet first). Returns false only when it is
// not a MESSAGE ("21"); `out` is reset first.
// `out` may be used again and again: its texts keep their buffers, so a long list is decoded
// without allocating.
bool DecodeMessage(QStringView content, MessageFields &out);
// The list line's texts alone: time, address (and its type) and text, exactly as DecodeMessage
// gives them, except that the text may stop after its first `textLimit` characters (when not
// negative); the other texts are left empty.
bool DecodeListColumns(QStringView content, MessageFields &out, qsizetype textLimit = -1);
// TPDU decoders filling outputs 5-12; `tpdu` is consumed up to its user data length pair,
// which it then begins with. Always true.
bool DecodeDeliverFields(QString &tpdu, MessageFields &out);
bool DecodeSubmitFields(QString &tpdu, MessageFields &out);

}  // namespace vantel
