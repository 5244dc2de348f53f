// A send-queue entry, "octet count,destination,service centre,data", and the check that it can
// go to the phone as it stands: the send form builds such entries, other programs hand them in
// over D-Bus, and the transmission reads them back.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

#include "pdu/userdata.h"

namespace vantel {

struct QueueEntry {
    QString count;
    QString destination;
    QString serviceCentre;
    QString data;
};

// Splits the entry at its first three commas and checks it for the link mode: a decimal
// octet count; data of whole hex octets; a service centre of "+", digits and blanks (it is sent
// inside AT+CSCA="..."). In Block mode the data must be an INSERT SMS content: "0702", a
// service-centre address field and an SMS-SUBMIT TPDU. In PDU mode it must be a TPDU of the
// stated octet count, with or without a service-centre address field in front. Otherwise
// nullopt, and *why (when given) says what is wrong.
std::optional<QueueEntry> ReadQueueEntry(QStringView entry, bool pduMode, QString *why = nullptr);

// The place of the entry's message in a concatenated series, read from the user-data header
// of its SMS-SUBMIT; not valid() for a message of its own. `entry` must be readable in the link
// mode (ReadQueueEntry).
Concatenation SeriesPlace(const QueueEntry &entry, bool pduMode);

// The row of `queue` (in its shown, sorted order) that the send timer takes next: the first
// entry the link mode can send; when that one is a part of a series whose earlier parts are
// still queued, the earliest of them, so that the recipient gets the parts in order. An entry
// that no link mode can read is taken too (the transmission sets it aside). -1 when no entry is
// for the link mode. *otherMode (when given) counts the entries that only the
// other link mode can send.
qsizetype NextQueueEntry(const QStringList &queue, bool pduMode, qsizetype *otherMode = nullptr);

// What the SMS-SUBMIT of an entry says, as people read it.
struct QueuedMessage {
    QString recipient;  // TP-DA: "+" and the digits for an international number
    QString text;       // by the data coding scheme, after any user-data header
    Concatenation part;
    bool reportRequested = false;  // TP-SRR
};
// The message of an entry that either link mode can read (`pduMode` first); nullopt otherwise.
std::optional<QueuedMessage> ReadQueuedMessage(QStringView entry, bool pduMode = true);
// How the send queue shows an entry: recipient, the start of the text and its place in a
// series, "+4912345             Hello there                              part 1/1"; an entry
// that no link mode can read shows as it stands.
QString QueueEntryDisplay(QStringView entry);
// "part 2/3", "part 1/1" for a message of its own.
QString PartText(const Concatenation &part);

// The service centre as AT+CSCA="..." takes it: from its second character on, blanks left out.
QString ServiceCentreForCommand(QStringView serviceCentre);

}  // namespace vantel
