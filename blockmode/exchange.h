// The retrieval of the phone's messages (GSM 07.05 Block mode, or PDU mode when set) and the
// Block-mode DELETE MESSAGE request.
#pragma once

#include <QCoroTask>
#include <QString>

namespace vantel {

class Link;
class LinkHost;
struct Settings;

// GET NEXT MESSAGE passes in a row that bring no message (a GET MESSAGE FAILURE other than
// "No such message", no frame, only the echo of the request, or a frame that is no SMS message)
// before a retrieval gives up.
inline constexpr int MaxFruitlessPasses = 5;

// The whole retrieval behind the Retrieve button: opens the port, runs the PDU-mode listing or
// the Block-mode GET NEXT MESSAGE loop, hands every message frame to the host's store, closes
// the port. The buttons are disabled throughout and enabled again on every way out.
QCoro::Task<> RetrieveMessages(Link &link, LinkHost &host, const Settings &settings);

// DELETE MESSAGE for the two hex digits of a MESSAGE REF; returns the reply frame, the whole
// captured response when it held no frame, or TimeoutFrame when no reply came.
QCoro::Task<QString> DeleteBlockMessage(Link &link, LinkHost &host, const Settings &settings,
                                        QString reference);

}  // namespace vantel
