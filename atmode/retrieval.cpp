#include "atmode/retrieval.h"

#include "app/settingsfile.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "pdu/primitives.h"

namespace vantel {

QStringList ListedFrames(QStringView captured, bool skipPDUSCA) {
    const QStringView crlf = LineBreak;
    const QString prefix =
        skipPDUSCA ? QStringLiteral("21067E020100") : QStringLiteral("21067E0201");
    const QString all = QString::fromLatin1(HexPairsToChars(captured));
    QStringView text = all;

    // The line end left from the AT+CPMS answer, then the echoed command (or the empty line
    // that opens the answer).
    qsizetype p = text.indexOf(crlf);
    if (p >= 0) text = text.mid(p + 2);
    p = text.indexOf(crlf);
    if (p >= 0) text = text.mid(p + 2);

    QStringList frames;
    // Each entry: a "+CMGL: index,stat,[alpha],length" line, then the PDU line.
    while (text.size() > 10 && p >= 0) {
        const qsizetype plus = text.indexOf(u'+');
        if (plus >= 0) text = text.mid(plus + 1);
        const qsizetype end = text.indexOf(crlf);
        if (end >= 0) text = text.mid(end + 2);
        p = text.indexOf(crlf);
        if (p >= 0) {
            const QString line = prefix + text.left(p + 1).toString();
            frames << BytesToHex(BuildFrame(HexPairsToChars(line)));
            text = text.mid(p + 2);
        }
        p = text.indexOf(crlf);
    }
    return frames;
}

QCoro::Task<> RetrievePduMode(Link &link, LinkHost &host, const Settings &settings) {
    const QByteArray list = settings.getOldMessages ? "AT+CMGL=4\r" : "AT+CMGL=0\r";
    const QByteArray store = settings.getSIMMessages ? "SM" : "ME";
    const QByteArray ok = QByteArrayLiteral("OK");
    const QString failed = QStringLiteral("Failed to Retrieve");

    co_await link.SendAndWait(QByteArrayLiteral("AT\r"), ok, 4);
    if (link.portLost()) co_return;
    co_await link.Pause(2);
    if (link.portLost()) co_return;
    link.clearBuffer();

    if (!co_await link.SendAndWait("AT+CPMS=\"" + store + "\"\r", ok, 5)) {
        if (!link.portLost()) host.WriteTrace(failed, false);
        co_return;
    }
    co_await link.Pause(2);
    if (link.portLost()) co_return;
    // A listing that never ends with OK is not parsed: the captured response would still be
    // the AT+CPMS answer.
    if (!co_await link.SendAndWait(list, ok, 30)) {
        if (!link.portLost()) host.WriteTrace(failed, false);
        co_return;
    }

    for (const QString &frame : ListedFrames(link.captured(), settings.skipPDUSCA)) {
        host.AppendListFile(frame);
        host.AddMessage(frame);
    }
}

}  // namespace vantel
