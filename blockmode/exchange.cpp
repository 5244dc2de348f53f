#include "blockmode/exchange.h"

#include "app/settingsfile.h"
#include "atmode/retrieval.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "pdu/primitives.h"

namespace vantel {

namespace {

const QByteArray DleEtx = QByteArrayLiteral("\x10\x03");

// Waits for the reply frame of a request just sent; with an echoing phone the first DLE ETX
// is the echo's.
QCoro::Task<bool> AwaitReply(Link &link, const Settings &settings, QByteArray request) {
    bool got = co_await link.SendAndWait(request, DleEtx, 10);
    if (settings.echoSet) got = co_await link.SendAndWait({}, DleEtx, 10);
    co_return got;
}

// The GET NEXT MESSAGE loop. False when the port failed on the way.
QCoro::Task<bool> RetrieveBlockMode(Link &link, LinkHost &host, const Settings &settings) {
    co_await link.SendAndWait(ToAnsi(settings.dialString) + '\r', ToAnsi(settings.confirmString),
                              3);
    if (link.portLost()) co_return false;

    QString frame;
    int fruitless = 0;
    while (FrameKey(frame) != EndOfListKey) {
        if (fruitless >= MaxFruitlessPasses) {
            host.WriteTrace(QStringLiteral("Retrieval stopped: %1 requests in a row brought "
                                           "no message")
                                .arg(MaxFruitlessPasses),
                            false);
            break;
        }
        bool damaged = false;
        co_await link.Pause(2);
        if (link.portLost()) co_return false;

        const bool got = co_await AwaitReply(link, settings, GetNextMessageFrame);
        if (link.portLost()) co_return false;
        if (!got) {
            frame = TimeoutFrame.toString();
            host.WriteTrace(QStringLiteral("Timed out waiting for 07.05 PDU"), false);
            continue;
        }

        frame = link.captured();
        const ExtractedFrame extracted = ExtractFrame(frame);
        if (!extracted.found) {
            ++fruitless;
            co_await link.YieldOnce();
            continue;
        }
        for (int i = 0; i < extracted.repairs; ++i) {
            host.WriteTrace(MissingStuffingWarning.toString(), false);
            if (settings.keepErr) {
                damaged = true;
                co_await host.PlayAlert();
            }
        }
        frame = extracted.frame;

        if (frame == GetNextMessageHex) {
            ++fruitless;
            co_await link.YieldOnce();
            continue;
        }
        host.WriteTrace(QStringLiteral("MSG: ") + frame, true);

        if (frame.startsWith(u"100222")) {
            if (FrameKey(frame) != EndOfListKey) ++fruitless;
            co_await link.Pause(2);
            if (link.portLost()) co_return false;
            co_await link.YieldOnce();
            continue;
        }

        host.AppendListFile(frame);
        const bool stored = host.AddMessage(frame);
        // Only a frame that holds a message is progress; noise that happens to contain a
        // DLE ETX is not.
        if (stored)
            fruitless = 0;
        else
            ++fruitless;
        if (frame.startsWith(u"100221") && settings.deleteOld && !damaged && stored) {
            co_await DeleteBlockMessage(link, host, settings, frame.mid(10, 2));
            if (link.portLost()) co_return false;
        }
        co_await link.YieldOnce();
    }
    co_return true;
}

}  // namespace

QCoro::Task<QString> DeleteBlockMessage(Link &link, LinkHost &host, const Settings &settings,
                                        QString reference) {
    QByteArray content;
    content.append('\x08');
    content.append(static_cast<char>(HexPairValue(reference)));
    const bool got = co_await AwaitReply(link, settings, BuildFrame(content));
    if (!got) {
        if (!link.portLost())
            host.WriteTrace(QStringLiteral("Timed out waiting for 07.05 PDU"), false);
        co_return TimeoutFrame.toString();
    }

    const QString captured = link.captured();
    const ExtractedFrame extracted = ExtractFrame(captured);
    if (!extracted.found) {
        co_await link.YieldOnce();
        co_return captured;
    }
    for (int i = 0; i < extracted.repairs; ++i) {
        host.WriteTrace(MissingStuffingWarning.toString(), false);
        co_await host.PlayAlert();
    }
    if (extracted.frame != GetNextMessageHex)
        host.WriteTrace(QStringLiteral("MSG: ") + extracted.frame, true);
    co_await link.YieldOnce();
    co_return extracted.frame;
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
