// A send-queue entry, "octet count,destination,service centre,data", and the check that it can
// go to the phone as it stands: the send form builds such entries, other programs hand them in
// over D-Bus, and the transmission reads them back.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

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

// The service centre as AT+CSCA="..." takes it: from its second character on, blanks left out.
QString ServiceCentreForCommand(QStringView serviceCentre);

}  // namespace vantel
