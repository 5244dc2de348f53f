// The start of every PDU-mode exchange, right after its first AT: the SIM's PIN when the SIM
// asks for it, then PDU mode, which many modems leave again whenever the port closes.
#pragma once

#include <QCoroTask>
#include <QString>

namespace vantel {

class Link;
class LinkHost;

enum class PduSetup {
    Ready,     // PDU mode is in force: go on
    Stopped,   // the exchange ends here; why is traced (and logged) already
    NoAnswer,  // the phone did not answer AT+CMGF=0: the caller says how the exchange failed
};

// what: what the exchange is for, as the PIN box says it ("retrieve messages").
QCoro::Task<PduSetup> PreparePduMode(Link &link, LinkHost &host, QString what);

// A PIN as GSM 02.17 has it: 4 to 8 digits.
bool IsPinText(const QString &pin);

}  // namespace vantel
