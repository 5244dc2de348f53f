// The exchanges with the phone that the main window starts.
#include "app/mainwindow.h"
#include "atmode/transmit.h"
#include "blockmode/exchange.h"

namespace vantel {

QCoro::Task<> RunRetrieval(Link &link, LinkHost &host, const Settings &settings) {
    co_await RetrieveMessages(link, host, settings);
}

QCoro::Task<bool> RunTransmission(Link &link, LinkHost &host, const Settings &settings,
                                  QString entry) {
    const TransmitOutcome outcome = co_await TransmitQueueEntry(link, host, settings, entry);
    co_return outcome != TransmitOutcome::Failed;
}

}  // namespace vantel
