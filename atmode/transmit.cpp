#include "atmode/transmit.h"

#include "app/settingsfile.h"
#include "blockmode/diagnostics.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "link/trace.h"
#include "pdu/primitives.h"

namespace vantel {

namespace {

const QByteArray DleEtx = QByteArrayLiteral("\x10\x03");
const QByteArray Ok = QByteArrayLiteral("OK");

// GSM 07.05 3.5.1: the answer to AT+CMGS once the PDU has gone out, "+CMGS: <mr>" or
// "+CMS ERROR: <err>". Empty when no complete answer line came.
QCoro::Task<QString> AwaitSubmitAnswer(Link &link, QByteArray pdu) {
    if (!co_await link.SendAndWait(pdu, QByteArrayLiteral("+"), 40)) co_return QString();
    QString text = QString::fromLatin1(HexToBytes(link.captured()));
    text = text.mid(text.indexOf(u'+'));
    if (!text.contains(u'\r')) {
        // The rest of the line is still on its way; the buffer holds what followed the "+".
        if (!co_await link.SendAndWait({}, QByteArrayLiteral("\r"), 10)) co_return QString();
        text = u'+' + QString::fromLatin1(HexToBytes(link.captured()));
    }
    co_return text;
}

QCoro::Task<TransmitOutcome> SubmitPduMode(Link &link, LinkHost &host, const Settings &settings,
                                           const QueueEntry &e) {
    link.clearBuffer();
    co_await link.SendAndWait(QByteArrayLiteral("AT\r"), Ok, 2);
    if (link.portLost()) co_return TransmitOutcome::Failed;

    const QString centre = ServiceCentreForCommand(e.serviceCentre);
    if (!centre.isEmpty() && settings.skipPDUSCA) {
        link.clearBuffer();
        co_await link.SendAndWait("AT+CSCA=\"" + centre.toLatin1() + "\",145\r", Ok, 5);
        if (link.portLost()) co_return TransmitOutcome::Failed;
    }

    // Only an answer that arrives after the PDU was written counts: the echo of "AT+CMGS=" or
    // an earlier command's answer must not pass for a confirmation.
    QString answer;
    if (co_await link.SendAndWait("AT+CMGS=" + e.count.toLatin1() + '\r', QByteArrayLiteral("> "),
                                  10))
        answer = co_await AwaitSubmitAnswer(link, e.data.toLatin1() + "\x1A\r");
    if (link.portLost()) co_return TransmitOutcome::Failed;

    const qsizetype cr = answer.indexOf(u'\r');
    if (cr < 0) {
        host.WriteTrace(QStringLiteral("Message Failed"), false);
        co_return TransmitOutcome::Failed;
    }
    const QString line = answer.left(cr);
    host.WriteTrace(line, false);
    if (line.startsWith(u"+CMGS")) {
        host.WriteTrace(QStringLiteral("Message Sent"), false);
        co_return TransmitOutcome::Sent;
    }
    host.WriteTrace(QStringLiteral("Message Failed"), false);
    co_return TransmitOutcome::Failed;
}

QCoro::Task<TransmitOutcome> SubmitBlockMode(Link &link, LinkHost &host, const Settings &settings,
                                             const QueueEntry &e) {
    TransmitOutcome result = TransmitOutcome::Failed;
    co_await link.SendAndWait(ToAnsi(settings.dialString) + '\r', ToAnsi(settings.confirmString),
                              3);
    if (link.portLost()) co_return result;
    co_await link.Pause(2);
    if (link.portLost()) co_return result;

    // A reply is read only from a wait that found one: a stale captured response from an
    // earlier exchange must not pass for the phone's answer.
    const bool got = co_await link.SendAndWait(BuildFrame(HexToBytes(e.data)), DleEtx, 5);
    if (link.portLost()) co_return result;
    QString reply;
    if (got) reply = co_await ReadReplyFrame(link, host, settings);
    if (!reply.isEmpty() && ValidateFrame(reply)) {
        host.WriteTrace(QStringLiteral("MSG: ") + reply, true);
        if (reply == u"2A04") {
            const bool gotSecond = co_await link.SendAndWait({}, DleEtx, 60);
            if (link.portLost()) co_return result;
            QString second;
            if (gotSecond) second = co_await ReadReplyFrame(link, host, settings);
            if (!second.isEmpty()) {
                host.WriteTrace(QStringLiteral("MSG: ") + second, true);
                QString text = DescribeBlockMessage(second);
                text.chop(2);
                host.WriteTrace(text, true);
                // GSM 07.05 Block mode: only INSERT SMS COMPLETE means the message went out.
                QString content = second;
                if (ValidateFrame(content) && content.startsWith(u"25"))
                    result = TransmitOutcome::Sent;
            }
        } else {
            host.WriteTrace(QStringLiteral("Message rejected by phone"), false);
        }
    }

    co_await link.SendAndWait(EndSmsModeFrame, Ok, 5);
    co_return result;
}

}  // namespace

QCoro::Task<QString> ReadReplyFrame(Link &link, LinkHost &host, const Settings &settings) {
    const ExtractedFrame extracted = ExtractFrame(link.captured());
    if (!extracted.found) co_return QString();
    for (int i = 0; i < extracted.repairs; ++i) {
        host.WriteTrace(MissingStuffingWarning.toString(), false);
        if (settings.keepErr) co_await host.PlayAlert();
    }
    co_return extracted.frame;
}

QCoro::Task<TransmitOutcome> TransmitQueueEntry(Link &link, LinkHost &host,
                                                const Settings &settings, QString entry) {
    // Another exchange holds the port and the buttons: leave its busy flag alone.
    if (host.busy()) co_return TransmitOutcome::Failed;
    QString why;
    const std::optional<QueueEntry> e = ReadQueueEntry(entry, settings.pduMode, &why);
    if (!e) {
        host.WriteTrace(QStringLiteral("Unreadable send-queue entry removed: ") + Visible(entry) +
                            QStringLiteral(" (") + why + u')',
                        true);
        co_return TransmitOutcome::Dropped;
    }
    host.WriteTrace(QStringLiteral("Sending to ") + Visible(NormaliseNumber(e->destination)) +
                        QStringLiteral(" at ") + Visible(NormaliseNumber(e->serviceCentre)) +
                        QStringLiteral("..."),
                    false);
    host.DisableButtons();
    if (!link.OpenPort()) {
        host.EnableButtons();
        co_return TransmitOutcome::Failed;
    }

    TransmitOutcome result = TransmitOutcome::Failed;
    if (settings.pduMode)
        result = co_await SubmitPduMode(link, host, settings, *e);
    else
        result = co_await SubmitBlockMode(link, host, settings, *e);
    link.ClosePort();
    host.EnableButtons();
    co_return result;
}

}  // namespace vantel
