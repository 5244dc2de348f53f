#include "atmode/pdusetup.h"

#include <optional>

#include "link/host.h"
#include "link/link.h"
#include "link/trace.h"

namespace vantel {

namespace {

// GSM 07.07 8.3: the <code> of "+CPIN: <code>", upper case, without quotes; empty when the
// answer has none.
QString PinCode(const AtAnswer &answer) {
    for (const QString &line : answer.lines)
        if (line.startsWith(u"+CPIN:")) return line.mid(6).trimmed().remove(u'"').toUpper();
    return {};
}

void Stop(LinkHost &host, const QString &why) {
    host.WriteTrace(why, true);
}

// Asks the user for the PIN and gives it to the phone, once. False: the exchange stops.
QCoro::Task<bool> EnterPin(Link &link, LinkHost &host, QString what) {
    const QString why = QStringLiteral("The SIM in the phone asks for its PIN before Vantel can ") +
                        what + QStringLiteral(". Three wrong PINs in a row block the SIM.");
    const std::optional<QString> pin = co_await host.AskPin(why);
    if (link.portLost()) co_return false;
    if (!pin) {
        Stop(host, QStringLiteral("No PIN given: the SIM stays locked and the exchange stops"));
        co_return false;
    }
    if (!IsPinText(*pin)) {
        Stop(host, QStringLiteral("A PIN is 4 to 8 digits: nothing was sent to the phone"));
        co_return false;
    }
    const QByteArray digits = pin->toLatin1();
    host.WriteTrace(QStringLiteral("AT+CPIN=****"), false);
    link.clearBuffer();
    const AtAnswer given = co_await link.SecretCommand("AT+CPIN=\"" + digits + "\"\r", digits, 10);
    if (link.portLost()) co_return false;
    if (given.kind == AtAnswer::Ok) {
        // The SIM reads its files once it is unlocked; SMS commands fail meanwhile.
        co_await link.Pause(2);
        co_return !link.portLost();
    }
    if (given.kind == AtAnswer::Error) {
        QString line = given.line;
        line.replace(QString::fromLatin1(digits), QStringLiteral("****"));
        Stop(host, QStringLiteral("The phone refused the PIN (") + Visible(line) +
                       QStringLiteral("): it is not tried again, since three wrong PINs block "
                                      "the SIM"));
    } else {
        Stop(host, QStringLiteral("No answer to the PIN: it is not tried again, since three "
                                  "wrong PINs block the SIM"));
    }
    co_return false;
}

}  // namespace

bool IsPinText(const QString &pin) {
    if (pin.size() < 4 || pin.size() > 8) return false;
    for (QChar c : pin)
        if (c < u'0' || c > u'9') return false;
    return true;
}

QCoro::Task<PduSetup> PreparePduMode(Link &link, LinkHost &host, QString what) {
    // A phone that does not know AT+CPIN? answers ERROR, one that keeps its answer to itself
    // gets no second chance: both go on as before.
    link.clearBuffer();
    const AtAnswer asked =
        co_await link.Command(QByteArrayLiteral("AT+CPIN?\r"), 5, AtRule::AfterInfo(u"+CPIN:"_qs));
    if (link.portLost()) co_return PduSetup::Stopped;
    const QString code = asked.kind == AtAnswer::Ok ? PinCode(asked) : QString();
    // SIM PIN2 and SIM PUK2 guard other services than short messages.
    if (code == u"SIM PIN") {
        if (!co_await EnterPin(link, host, what)) co_return PduSetup::Stopped;
    } else if (code == u"SIM PUK") {
        Stop(host, QStringLiteral("The SIM is blocked and asks for its PUK: unblock it in a "
                                  "phone, then try again"));
        co_return PduSetup::Stopped;
    } else if (!code.isEmpty() && code != u"READY" && code != u"SIM PIN2" && code != u"SIM PUK2") {
        Stop(host, QStringLiteral("The phone asks for ") + Visible(code) +
                       QStringLiteral(", which Vantel cannot give: the exchange stops"));
        co_return PduSetup::Stopped;
    }

    // GSM 07.05 3.2.3: 0 is PDU mode.
    link.clearBuffer();
    const AtAnswer format = co_await link.Command(QByteArrayLiteral("AT+CMGF=0\r"), 5);
    if (link.portLost()) co_return PduSetup::Stopped;
    if (format.kind == AtAnswer::Error) {
        Stop(host, QStringLiteral("The phone does not support PDU mode"));
        co_return PduSetup::Stopped;
    }
    co_return format.kind == AtAnswer::Ok ? PduSetup::Ready : PduSetup::NoAnswer;
}

}  // namespace vantel
