#include "atmode/retrieval.h"

#include "app/settingsfile.h"
#include "atmode/pdusetup.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "link/trace.h"
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

QList<ListedMessage> ListedMessages(QStringView captured, bool skipPDUSCA) {
    const QString prefix =
        skipPDUSCA ? QStringLiteral("21067E020100") : QStringLiteral("21067E0201");
    QString text = QString::fromLatin1(HexToBytes(captured));
    text.replace(u'\r', u'\n');

    // GSM 07.05 3.4.2: each entry is a "+CMGL: index,stat,[alpha],length" line and the PDU on
    // the next line. Anything else (the echoed command, unsolicited result codes, OK) is no
    // entry.
    QList<ListedMessage> listed;
    bool header = false;
    int index = -1;
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u"+CMGL:")) {
            header = true;
            bool ok = false;
            const QStringView fields = line.sliced(6);
            const qsizetype comma = fields.indexOf(u',');
            index = (comma < 0 ? fields : fields.first(comma)).trimmed().toInt(&ok);
            if (!ok || index < 0) index = -1;
        } else if (header && IsHexLine(line)) {
            const QString hex = prefix + line.first(line.size() & ~qsizetype(1)).toString();
            listed.append({BytesToHex(BuildFrame(HexToBytes(hex))), index});
            header = false;
        }
    }
    return listed;
}

QStringList ListedFrames(QStringView captured, bool skipPDUSCA) {
    QStringList frames;
    for (const ListedMessage &m : ListedMessages(captured, skipPDUSCA))
        frames << m.frame;
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
    const PduSetup setup = co_await PreparePduMode(link, host, QStringLiteral("retrieve messages"));
    if (setup != PduSetup::Ready) {
        if (setup == PduSetup::NoAnswer) host.WriteTrace(failed, false);
        co_return false;
    }
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

    // The phone may forget a message only once its line is in the list file.
    QList<int> saved;
    for (const ListedMessage &m : ListedMessages(link.captured(), settings.skipPDUSCA)) {
        const bool whole = host.AppendListFile(m.frame);
        const bool stored = host.AddMessage(m.frame);
        if (whole && stored && m.index >= 0) saved << m.index;
    }
    if (!settings.pduDelete) co_return true;
    int deleted = 0;
    for (int index : saved) {
        if (host.endRequested()) break;
        link.clearBuffer();
        const AtAnswer gone =
            co_await link.Command("AT+CMGD=" + QByteArray::number(index) + '\r', 5);
        if (link.portLost()) co_return false;
        if (gone.kind == AtAnswer::Ok) {
            ++deleted;
            continue;
        }
        host.WriteTrace(QStringLiteral("Message %1 stays on the phone: ").arg(index) +
                            (gone.kind == AtAnswer::Error ? Visible(gone.line)
                                                          : QStringLiteral("no answer to AT+CMGD")),
                        false);
        if (gone.kind == AtAnswer::TimedOut) break;
    }
    if (deleted > 0)
        host.WriteTrace(deleted == 1
                            ? QStringLiteral("Deleted 1 message from the phone")
                            : QStringLiteral("Deleted %1 messages from the phone").arg(deleted),
                        false);
    co_return true;
}

}  // namespace vantel
