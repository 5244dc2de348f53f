// The retrieval of the phone's messages (GSM 07.05 Block mode, or PDU mode when set), the
// Block-mode DELETE MESSAGE request, and the wait for a Block-mode reply frame that every
// Block-mode exchange uses.
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QString>
#include <optional>

namespace vantel {

class Link;
class LinkHost;
struct Settings;

// GET NEXT MESSAGE passes in a row that bring no message (a GET MESSAGE FAILURE other than
// "No such message", no frame, only the echo of the request, or a frame that is no SMS message)
// before a retrieval gives up.
inline constexpr int MaxFruitlessPasses = 5;

// A frame the phone sent, with every field read from its unstuffed content.
struct ReplyFrame {
    QString frame;    // as received (hex), from DLE STX to the checksum and its stuffing
    QString content;  // the content when valid, else ValidateFrame's error text
    bool valid = false;
    int repairs = 0;  // checksum stuffing octets put back by ExtractFrame

    // The message type, two hex digits: from the content, or for a frame that failed its check
    // the octet after its DLE STX.
    QString type() const;
    // A GET MESSAGE FAILURE with the cause 00 "No such message" and no 04.11 cause.
    bool endsList() const;
};

// Writes request (when not empty) and waits up to `seconds` for the whole reply frame. The
// phone's echo of the request is passed over, whether or not EchoSet says the phone echoes.
// nullopt when no frame came in time.
QCoro::Task<std::optional<ReplyFrame>> AwaitReplyFrame(Link &link, QByteArray request, int seconds);

// Traces MissingStuffingWarning once for each checksum stuffing octet put back into the reply
// and, with sound, plays the alert for each.
QCoro::Task<> TraceRepairs(LinkHost &host, const ReplyFrame &reply, bool sound);

// The whole retrieval behind the Retrieve button: opens the port, runs the PDU-mode listing or
// the Block-mode GET NEXT MESSAGE loop, hands every message frame to the host's store, closes
// the port. The buttons are disabled throughout and enabled again on every way out. A message
// is deleted from the phone only once its line is in the list file.
QCoro::Task<> RetrieveMessages(Link &link, LinkHost &host, const Settings &settings);

// DELETE MESSAGE for the two hex digits of a MESSAGE REF; returns the reply frame, or
// TimeoutFrame when no reply came.
QCoro::Task<QString> DeleteBlockMessage(Link &link, LinkHost &host, const Settings &settings,
                                        QString reference);

}  // namespace vantel
