#include "atmode/retrieval.h"

#include "app/settingsfile.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "pdu/primitives.h"

namespace vantel {

namespace {

bool IsHexLine(QStringView line) {
    if (line.isEmpty()) return false;
    for (QChar c : line)
        if (!c.isDigit() && !(c >= u'A' && c <= u'F') && !(c >= u'a' && c <= u'f')) return false;
    return true;
}

}  // namespace

QStringList ListedFrames(QStringView captured, bool skipPDUSCA) {
    const QString prefix =
        skipPDUSCA ? QStringLiteral("21067E020100") : QStringLiteral("21067E0201");
    QString text = QString::fromLatin1(HexToBytes(captured));
    text.replace(u'\r', u'\n');

    // GSM 07.05 3.4.2: each entry is a "+CMGL: index,stat,[alpha],length" line and the PDU on
    // the next line. Anything else (the echoed command, unsolicited result codes, OK) is no
    // entry.
    QStringList frames;
    bool header = false;
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u"+CMGL:")) {
            header = true;
        } else if (header && IsHexLine(line)) {
            const QString hex = prefix + line.first(line.size() & ~qsizetype(1)).toString();
            frames << BytesToHex(BuildFrame(HexToBytes(hex)));
            header = false;
        }
    }
    return frames;
}

QCoro::Task<bool> RetrievePduMode(Link &link, LinkHost &host, const Settings &settings) {
    const QByteArray list = settings.getOldMessages ? "AT+CMGL=4\r" : "AT+CMGL=0\r";
    const QByteArray store = settings.getSIMMessages ? "SM" : "ME";
    const QString failed = QStringLiteral("Failed to Retrieve");

    co_await link.Command(QByteArrayLiteral("AT\r"), 4);
    if (link.portLost()) co_return false;
    co_await link.Pause(2);
    if (link.portLost()) co_return false;
    link.clearBuffer();

    // Only an answer carrying "+CPMS:" is this command's: a late OK to "AT" is not.
    const AtAnswer selected = co_await link.Command("AT+CPMS=\"" + store + "\"\r", 5,
                                                    AtRule::AfterInfo(QStringLiteral("+CPMS:")));
    if (selected.kind != AtAnswer::Ok) {
        if (!link.portLost()) host.WriteTrace(failed, false);
        co_return false;
    }
    co_await link.Pause(2);
    if (link.portLost()) co_return false;
    link.clearBuffer();
    // A listing that never ends with OK is not parsed.
    const AtAnswer listed = co_await link.Command(list, 30);
    if (listed.kind != AtAnswer::Ok) {
        if (!link.portLost()) host.WriteTrace(failed, false);
        co_return false;
    }

    for (const QString &frame : ListedFrames(link.captured(), settings.skipPDUSCA)) {
        host.AppendListFile(frame);
        host.AddMessage(frame);
    }
    co_return true;
}

}  // namespace vantel
