#include "blockmode/exchange.h"

#include "app/settingsfile.h"
#include "atmode/retrieval.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "link/trace.h"
#include "pdu/primitives.h"

namespace vantel {

QString ReplyFrame::type() const {
    if (valid) return content.left(2);
    return frame.startsWith(u"1002") ? frame.mid(4, 2) : QString();
}

bool ReplyFrame::endsList() const {
    if (!valid) return FrameKey(frame) == EndOfListKey;
    return content.size() == 6 && content.startsWith(u"22") && content.endsWith(u"00");
}

QCoro::Task<std::optional<ReplyFrame>> AwaitReplyFrame(Link &link, QByteArray request,
                                                       int seconds) {
    const QString echo = BytesToHex(request);
    bool got = co_await link.SendAndWaitFrame(request, seconds);
    for (int echoes = 0; got; ++echoes) {
        const ExtractedFrame extracted = ExtractFrame(link.captured());
        if (echoes == 0 && !echo.isEmpty() && extracted.frame == echo) {
            got = co_await link.SendAndWaitFrame({}, seconds);
            continue;
        }
        ReplyFrame reply{extracted.frame, extracted.frame, false, extracted.repairs};
        reply.valid = ValidateFrame(reply.content);
        co_return reply;
    }
    co_return std::nullopt;
}

QCoro::Task<> TraceRepairs(LinkHost &host, const ReplyFrame &reply, bool sound) {
    for (int i = 0; i < reply.repairs; ++i) {
        host.WriteTrace(MissingStuffingWarning.toString(), false);
        if (sound) co_await host.PlayAlert();
    }
}

namespace {

// How a GET NEXT MESSAGE loop ended.
enum class LoopEnd { ListEnded, TimedOut, GaveUp, Stopped, PortLost };

// The GET NEXT MESSAGE loop.
QCoro::Task<LoopEnd> RetrieveBlockMode(Link &link, LinkHost &host, const Settings &settings) {
    co_await link.SendAndWait(ToAnsi(settings.dialString) + '\r', ToAnsi(settings.confirmString),
                              3);
    if (link.portLost()) co_return LoopEnd::PortLost;

    int fruitless = 0;
    for (;;) {
        if (host.endRequested()) {
            host.WriteTrace(QStringLiteral("Retrieval stopped: Vantel is ending"), false);
            co_return LoopEnd::Stopped;
        }
        if (fruitless >= MaxFruitlessPasses) {
            host.WriteTrace(QStringLiteral("Retrieval stopped: %1 requests in a row brought "
                                           "no message")
                                .arg(MaxFruitlessPasses),
                            false);
            co_return LoopEnd::GaveUp;
        }
        co_await link.Pause(2);
        if (link.portLost()) co_return LoopEnd::PortLost;

        const std::optional<ReplyFrame> reply =
            co_await AwaitReplyFrame(link, GetNextMessageFrame, 10);
        if (link.portLost()) co_return LoopEnd::PortLost;
        if (!reply) {
            host.WriteTrace(QStringLiteral("Timed out waiting for 07.05 PDU"), false);
            co_return LoopEnd::TimedOut;
        }
        co_await TraceRepairs(host, *reply, settings.keepErr);
        const bool damaged = settings.keepErr && reply->repairs > 0;
        const QString &frame = reply->frame;
        if (frame == GetNextMessageHex) {  // a second echo
            ++fruitless;
            continue;
        }
        host.WriteTrace(QStringLiteral("MSG: ") + frame, true);

        if (reply->type() == u"22" || reply->endsList()) {
            co_await link.Pause(2);
            if (link.portLost()) co_return LoopEnd::PortLost;
            if (reply->endsList()) co_return LoopEnd::ListEnded;
            ++fruitless;
            continue;
        }

        // The phone may forget a message only once its line is in the list file.
        const bool saved = host.AppendListFile(frame);
        const bool stored = host.AddMessage(frame);
        // Only a frame that holds a message is progress; noise that happens to contain a
        // DLE ETX is not.
        fruitless = stored ? 0 : fruitless + 1;
        if (reply->type() == u"21" && settings.deleteOld && !damaged && stored && saved) {
            co_await DeleteBlockMessage(link, host, settings, reply->content.mid(6, 2));
            if (link.portLost()) co_return LoopEnd::PortLost;
        }
    }
}

}  // namespace

QCoro::Task<QString> DeleteBlockMessage(Link &link, LinkHost &host, const Settings &,
                                        QString reference) {
    QByteArray content;
    content.append('\x08');
    content.append(static_cast<char>(HexPairValue(reference)));
    const std::optional<ReplyFrame> reply = co_await AwaitReplyFrame(link, BuildFrame(content), 10);
    if (!reply) {
        if (!link.portLost())
            host.WriteTrace(QStringLiteral("Timed out waiting for 07.05 PDU"), false);
        co_return TimeoutFrame.toString();
    }
    co_await TraceRepairs(host, *reply, true);
    if (reply->frame != GetNextMessageHex)
        host.WriteTrace(QStringLiteral("MSG: ") + reply->frame, true);
    co_return reply->frame;
}

QCoro::Task<> RetrieveMessages(Link &link, LinkHost &host, const Settings &settings) {
    host.WriteTrace(QStringLiteral("Retrieving Messages..."), false);
    host.DisableButtons();
    if (!link.OpenPort()) {
        host.EnableButtons();
        const QString problem =
            QStringLiteral("Cannot open the phone's port %1: %2")
                .arg(Visible(link.serial().currentDevice()), link.serial().errorString());
        host.WriteTrace(problem, true);
        host.ShowOutcome(problem);
        co_return;
    }

    bool listed = false;
    bool intact = true;
    if (settings.pduMode) {
        listed = co_await RetrievePduMode(link, host, settings);
        intact = !link.portLost();
    } else {
        const LoopEnd end = co_await RetrieveBlockMode(link, host, settings);
        intact = end != LoopEnd::PortLost;
        listed = end == LoopEnd::ListEnded;
        if (intact) {
            co_await link.SendAndWait(EndSmsModeFrame, QByteArrayLiteral("OK"), 5);
            intact = !link.portLost();
        }
    }

    link.ClosePort();
    host.EnableButtons();
    // Only a list read to its end is "retrieved"; anything else says why and where.
    const QString device = Visible(link.serial().currentDevice());
    QString problem;
    if (!intact)
        problem = QStringLiteral("The phone's port %1 failed during the retrieval").arg(device);
    else if (!link.answered())
        problem = link.NoAnswerText();
    else if (host.endRequested())
        problem = QStringLiteral("Retrieval stopped before the end of the phone's list");
    else if (!listed)
        problem = QStringLiteral(
                      "The phone on %1 did not list its messages to the end: see "
                      "the trace")
                      .arg(device);
    if (problem.isEmpty()) {
        host.WriteTrace(QStringLiteral("Messages Retrieved"), false);
    } else {
        host.WriteTrace(problem, true);
    }
    host.ShowOutcome(problem);
}

}  // namespace vantel
