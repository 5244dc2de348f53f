// The "vantel.ini" format: key=value lines, CR LF line ends, Windows-1252.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace vantel {

inline constexpr int MaxAutoRetrieveMinutes = 1440;

struct Settings {
    QString speed;  // line speed text, e.g. "19200"; empty when never set
    QString port;   // one character, e.g. "1"; empty when never set
    QString dialString = QStringLiteral("AT*T");
    QString confirmString = QStringLiteral("OK");
    bool debugMode = false;  // reading a file turns it on before the first line
    bool echoSet = false;
    bool pduMode = false;
    bool getOldMessages = false;
    bool getSIMMessages = false;
    bool skipPDUSCA = false;
    bool deleteOld = false;
    bool keepErr = false;
    // Beside the classic keys: the device chosen from the Setup dialog's list (empty: the COM
    // port option), whether the send queue is paused, and the minutes between automatic
    // retrievals (0: off).
    QString device;
    bool queuePaused = false;
    int autoRetrieveMinutes = 0;
    // A national number (one leading "0") is sent with this country code; written only when
    // it is not the default.
    QString countryCode = QStringLiteral("44");
    bool pduDelete = false;  // PDU mode: delete each retrieved message once it is stored

    bool operator==(const Settings &) const = default;
};

// Where the serial parameters read from the file go, line by line as they are read. A
// refusal (false) only means the serial control keeps what it had.
struct SerialSink {
    std::function<bool(const QString &settings)> setSettings;  // e.g. "9600,N,8,1"
    std::function<bool(int port)> setCommPort;
};

// Applies every line of a settings file to `s` (DebugMode is set on first). Damaged lines
// are skipped.
void ReadSettings(QByteArrayView file, Settings &s, const SerialSink &sink = {});
// The whole file as SaveSettings writes it.
QByteArray WriteSettings(const Settings &s);

}  // namespace vantel
