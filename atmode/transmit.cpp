#include "atmode/transmit.h"

#include "app/settingsfile.h"
#include "atmode/pdusetup.h"
#include "blockmode/diagnostics.h"
#include "blockmode/exchange.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "link/trace.h"
#include "pdu/primitives.h"
#include "pdu/userdata.h"

namespace vantel {

namespace {

const QByteArray Ok = QByteArrayLiteral("OK");
// GSM 07.05 3.5.1: ESC leaves the PDU input that "> " opened, without sending.
const QByteArray Escape = QByteArrayLiteral("\x1B");

// "+CMGS: <mr>[,<scts>]" (GSM 07.05 3.5.1): the reference, or -1 when it is none.
int ReferenceOfCmgs(QStringView line) {
    bool ok = false;
    const int mr = line.mid(line.indexOf(u':') + 1).split(u',').constFirst().trimmed().toInt(&ok);
    return ok && mr >= 0 && mr <= 255 ? mr : -1;
}

QCoro::Task<TransmitOutcome> SubmitPduMode(Link &link, LinkHost &host, const Settings &settings,
                                           const QueueEntry &e, int &reference) {
    constexpr auto Failed = TransmitOutcome::Failed;
    link.clearBuffer();
    co_await link.Command(QByteArrayLiteral("AT\r"), 2);
    if (link.portLost()) co_return Failed;
    // A modem in text mode would send the PDU's hex digits as the text of a message.
    const PduSetup setup = co_await PreparePduMode(link, host, QStringLiteral("send a message"));
    if (setup != PduSetup::Ready) {
        if (setup == PduSetup::NoAnswer) host.WriteTrace(QStringLiteral("Message Failed"), false);
        co_return Failed;
    }

    const QString centre = ServiceCentreForCommand(e.serviceCentre);
    if (!centre.isEmpty() && settings.skipPDUSCA) {
        link.clearBuffer();
        co_await link.Command("AT+CSCA=\"" + centre.toLatin1() + "\",145\r", 5);
        if (link.portLost()) co_return Failed;
    }

    // Only a "+CMGS:" that arrives after the PDU counts as sent: not the echo of "AT+CMGS=",
    // not an earlier command's answer, not an unsolicited "+CMTI:" in between.
    link.clearBuffer();
    AtAnswer answer =
        co_await link.Command("AT+CMGS=" + e.count.toLatin1() + '\r', 10, AtRule::UntilPrompt());
    if (answer.kind == AtAnswer::Prompt)
        answer = co_await link.Command(e.data.toLatin1() + "\x1A\r", 40,
                                       AtRule::UntilInfo(QStringLiteral("+CMGS:")));
    if (link.portLost()) co_return Failed;
    if (answer.kind == AtAnswer::TimedOut) {
        // The phone may still be reading a PDU: without ESC it would take every later command
        // for part of it.
        link.clearBuffer();
        co_await link.SendAndWait(Escape, {}, 0);
        host.WriteTrace(QStringLiteral("Message Failed"), false);
        co_return Failed;
    }
    host.WriteTrace(Visible(answer.line), false);
    if (answer.kind == AtAnswer::Info) {
        host.WriteTrace(QStringLiteral("Message Sent"), false);
        reference = ReferenceOfCmgs(answer.line);
        co_return TransmitOutcome::Sent;
    }
    host.WriteTrace(QStringLiteral("Message Failed"), false);
    co_return Failed;
}

QCoro::Task<TransmitOutcome> SubmitBlockMode(Link &link, LinkHost &host, const Settings &settings,
                                             const QueueEntry &e, int &reference) {
    TransmitOutcome result = TransmitOutcome::Failed;
    co_await link.SendAndWait(ToAnsi(settings.dialString) + '\r', ToAnsi(settings.confirmString),
                              3);
    if (link.portLost()) co_return result;
    co_await link.Pause(2);
    if (link.portLost()) co_return result;

    const QString timedOut = QStringLiteral("Timed out waiting for 07.05 PDU");
    std::optional<ReplyFrame> reply =
        co_await AwaitReplyFrame(link, BuildFrame(HexToBytes(e.data)), 5);
    if (link.portLost()) co_return result;
    if (reply) co_await TraceRepairs(host, *reply, settings.keepErr);
    if (!reply) {
        host.WriteTrace(timedOut, false);
    } else if (!reply->valid) {
        host.WriteTrace(QStringLiteral("Reply from phone unreadable: ") + reply->content, false);
    } else {
        host.WriteTrace(QStringLiteral("MSG: ") + reply->content, true);
        std::optional<ReplyFrame> outcome;
        if (reply->content == u"2A04") {
            // REQUEST CONFIRMED: the outcome follows.
            outcome = co_await AwaitReplyFrame(link, {}, 60);
            if (link.portLost()) co_return result;
            if (outcome) {
                co_await TraceRepairs(host, *outcome, settings.keepErr);
                host.WriteTrace(QStringLiteral("MSG: ") + outcome->frame, true);
                QString text = DescribeBlockMessage(outcome->frame);
                text.chop(2);
                host.WriteTrace(text, true);
            } else {
                host.WriteTrace(timedOut, false);
            }
        } else if (reply->type() == u"25") {
            outcome = reply;  // INSERT SMS COMPLETE without a confirmation first
        } else {
            host.WriteTrace(QStringLiteral("Message rejected by phone"), false);
        }
        // GSM 07.05 Block mode: only INSERT SMS COMPLETE means the message went out.
        if (outcome && outcome->valid && outcome->type() == u"25") {
            result = TransmitOutcome::Sent;
            // INSERT SMS COMPLETE: SMR, then TPMR when the phone gives it.
            const QStringView tpmr = QStringView(outcome->content).mid(4, 2);
            reference = tpmr.size() == 2 && IsHexOctets(tpmr) ? HexPairValue(tpmr) : -1;
        }
    }

    co_await link.SendAndWait(EndSmsModeFrame, Ok, 5);
    co_return result;
}

}  // namespace

QCoro::Task<TransmitOutcome> TransmitQueueEntry(Link &link, LinkHost &host,
                                                const Settings &settings, QString entry,
                                                int *reference) {
    int given = -1;
    // Another exchange holds the port: try again on a later tick.
    if (link.serial().isOpen()) co_return TransmitOutcome::Failed;
    QString why;
    const std::optional<QueueEntry> e = ReadQueueEntry(entry, settings.pduMode, &why);
    if (!e) {
        host.WriteTrace(QStringLiteral("Unreadable send-queue entry not sent: ") + Visible(entry) +
                            QStringLiteral(" (") + why + u')',
                        true);
        co_return TransmitOutcome::Dropped;
    }
    host.WriteTrace(QStringLiteral("Sending to ") +
                        Visible(NormaliseNumber(e->destination, settings.countryCode)) +
                        QStringLiteral(" at ") +
                        Visible(NormaliseNumber(e->serviceCentre, settings.countryCode)) +
                        QStringLiteral("..."),
                    false);
    host.DisableButtons();
    if (!link.OpenPort()) {
        host.EnableButtons();
        co_return TransmitOutcome::Failed;
    }

    TransmitOutcome result = TransmitOutcome::Failed;
    if (settings.pduMode)
        result = co_await SubmitPduMode(link, host, settings, *e, given);
    else
        result = co_await SubmitBlockMode(link, host, settings, *e, given);
    if (reference) *reference = given;
    link.ClosePort();
    host.EnableButtons();
    co_return result;
}

}  // namespace vantel
