// Command-line and configuration-file options of the simulated phone.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vantel::phonesim {

enum class Store { ME, SM };

struct MessageEntry {
    Store store = Store::ME;
    int stat = 0;   // GSM 07.05 <stat>: 0 received unread, 1 received read, 2 stored unsent, 3 sent
    QString pdu;    // service-centre address field followed by the TPDU, upper-case hex
    int index = 0;  // its place in the store; 0: the first free one
};

// An answer held back: the command line whose name (up to its first '=', '?' or ';') is
// `command`, case aside, is answered `ms` milliseconds late.
struct LateAnswer {
    QString command;
    int ms = 0;
};

enum class Babble { Off, Nul, Garbage };

struct SimOptions {
    QString link;
    QString transcript;
    QString sent;
    QString deleted;
    bool samples = true;
    QList<MessageEntry> messages;

    bool echo = false;
    bool echoFrames = false;
    bool silent = false;
    int delayMs = 0;
    int chunk = 0;
    bool dropStuffing = false;
    int getFailureCause = -1;
    int getFailureCount = -1;  // -1: every time
    int getUnable = 0;         // GET NEXT MESSAGE requests answered with UNABLE TO PROCESS
    int damageType = -1;       // frames of this type go out with a wrong checksum,
    int damageCount = -1;      // this many times (-1: every time)
    int insertFailure = -1;
    int insertReject = -1;
    int insertDelayMs = 200;
    int cmgsError = -1;
    int cmgsDelayMs = 0;
    bool noPrompt = false;
    int garbage = 0;
    int vanishAfter = -1;
    quint32 seed = 1;
    int baud = 0;  // 0: no line pacing
    QStringList urcs;
    bool urcBetween = false;
    QList<LateAnswer> late;
    bool cmgsSilent = false;
    int messageIei = 0x06;
    Babble babble = Babble::Off;
    bool textMode = false;   // starts with AT+CMGF=1 in force
    bool noPduMode = false;  // refuses AT+CMGF=0 (and starts in text mode)
    QString pin;             // empty: the SIM asks for no PIN
    int pinTries = 3;        // wrong PINs left; 0: the SIM is blocked and asks for its PUK
    int cmee = 0;            // AT+CMEE in force at start and after ATZ
    int statusReport = -1;   // TP-ST of the report stored for an accepted message that asks
                             // for one; -1: no reports

    QString dialString = QStringLiteral("AT*T");
    QString confirmString = QStringLiteral("OK");
    QString smsc = QStringLiteral("+491710760000");
    QString manufacturer = QStringLiteral("Phonesim");
    QString model = QStringLiteral("Phonesim GSM 07.05");
    QString revision = QStringLiteral("1.0");
    QString imei = QStringLiteral("490154203237518");
    QString imsi = QStringLiteral("001010123456789");
    int storeSize = 30;
};

// Applies the arguments in order; "--config FILE" applies the file's lines at that point, so
// later arguments override it. Returns false with a message in *error.
bool ParseArguments(const QStringList &args, SimOptions &options, QString *error);

// One "name = value" (or bare "name" for a switch) setting, the same names as the options
// without their leading dashes.
bool ApplySetting(const QString &name, const QString &value, bool hasValue, SimOptions &options,
                  QString *error);

bool LoadConfigFile(const QString &path, SimOptions &options, QString *error);

QString UsageText();

}  // namespace vantel::phonesim
