// Submitting one send-queue entry through the phone: AT+CMGS in PDU mode, INSERT SMS in
// Block mode.
#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringView>
#include <optional>

#include "compose/queueentry.h"

namespace vantel {

class Link;
class LinkHost;
struct Settings;

// What the send timer does with the entry it passed to TransmitQueueEntry.
enum class TransmitOutcome {
    Sent,     // the phone confirmed the submission: remove the entry from the queue
    Failed,   // not sent (port busy, no answer, refused): keep the entry, retry on a later tick
    Dropped,  // the entry is unreadable and was never written to the phone: remove it (the
              // trace and "vantel.log" already hold the whole entry)
};

// Opens the port, submits the entry and closes the port again. The buttons are disabled while
// the phone is talked to and enabled again on every way out. While another exchange holds the
// port nothing happens and the outcome is Failed (try again on a later tick). When Sent,
// *reference (when given) is the message reference (TP-MR) the phone gave: the number of its
// "+CMGS:" answer, the TPMR octet of INSERT SMS COMPLETE; -1 when its answer holds none.
QCoro::Task<TransmitOutcome> TransmitQueueEntry(Link &link, LinkHost &host,
                                                const Settings &settings, QString entry,
                                                int *reference = nullptr);

}  // namespace vantel
