// Retrieval in GSM 07.05 PDU mode: AT+CPMS selects the store, AT+CMGL lists the messages, and
// every listed PDU is kept as a Block-mode MESSAGE frame like those Block mode retrieves.
#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace vantel {

class Link;
class LinkHost;
struct Settings;

// Called with the port open. Traces "Failed to Retrieve" when the store cannot be selected or
// the listing does not end with OK. With PduDelete, each listed message whose frame reached
// "vantelq.dat" is then deleted from the phone (AT+CMGD), and no other.
// True when the phone listed its messages to the end (a final OK).
QCoro::Task<bool> RetrievePduMode(Link &link, LinkHost &host, const Settings &settings);

// One message of an AT+CMGL listing: its MESSAGE frame (hex) and its index in the store
// (-1 when the header line has no readable index).
struct ListedMessage {
    QString frame;
    int index = -1;
};

// The messages of a captured AT+CMGL answer, in the order listed. skipPDUSCA: the listed PDUs
// have no service-centre address field; an empty one is added.
QList<ListedMessage> ListedMessages(QStringView captured, bool skipPDUSCA);
// Their frames alone.
QStringList ListedFrames(QStringView captured, bool skipPDUSCA);

}  // namespace vantel
