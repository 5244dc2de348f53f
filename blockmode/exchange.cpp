#include "blockmode/exchange.h"

#include "app/settingsfile.h"
#include "atmode/retrieval.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
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

// The GET NEXT MESSAGE loop. False when the port failed on the way.
QCoro::Task<bool> RetrieveBlockMode(Link &link, LinkHost &host, const Settings &settings) {
    co_await link.SendAndWait(ToAnsi(settings.dialString) + '\r', ToAnsi(settings.confirmString),
                              3);
    if (link.portLost()) co_return false;

    int fruitless = 0;
    for (;;) {
        if (host.endRequested()) {
            host.WriteTrace(QStringLiteral("Retrieval stopped: Vantel is ending"), false);
            break;
        }
        if (fruitless >= MaxFruitlessPasses) {
            host.WriteTrace(QStringLiteral("Retrieval stopped: %1 requests in a row brought "
                                           "no message")
                                .arg(MaxFruitlessPasses),
                            false);
            break;
        }
        co_await link.Pause(2);
        if (link.portLost()) co_return false;

        const std::optional<ReplyFrame> reply =
            co_await AwaitReplyFrame(link, GetNextMessageFrame, 10);
        if (link.portLost()) co_return false;
        if (!reply) {
            host.WriteTrace(QStringLiteral("Timed out waiting for 07.05 PDU"), false);
            break;  // TimeoutFrame: the end of the list
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
            if (link.portLost()) co_return false;
            if (reply->endsList()) break;
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
            if (link.portLost()) co_return false;
        }
    }
    co_return true;
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
        co_return;
    }

    bool intact = true;
    if (settings.pduMode) {
        co_await RetrievePduMode(link, host, settings);
        intact = !link.portLost();
    } else {
        intact = co_await RetrieveBlockMode(link, host, settings);
        if (intact) {
            co_await link.SendAndWait(EndSmsModeFrame, QByteArrayLiteral("OK"), 5);
            intact = !link.portLost();
        }
    }

    link.ClosePort();
    host.EnableButtons();
    if (intact) host.WriteTrace(QStringLiteral("Messages Retrieved"), false);
}

}  // namespace vantel
