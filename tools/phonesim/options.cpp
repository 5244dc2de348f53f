#include "options.h"

#include <QFile>
#include <QRegularExpression>

namespace vantel::phonesim {
namespace {

constexpr const char *kSwitches[] = {"no-samples",    "echo",       "echo-frames", "silent",
                                     "drop-stuffing", "no-prompt",  "urc-between", "cmgs-silent",
                                     "text-mode",     "no-pdu-mode"};

bool IsSwitch(const QString &name) {
    for (const char *s : kSwitches)
        if (name == QLatin1String(s)) return true;
    return false;
}

bool ParseInt(const QString &text, int min, int max, int *out, int base = 10) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, base);
    if (!ok || v < min || v > max) return false;
    *out = v;
    return true;
}

bool ParseSwitchValue(const QString &value, bool hasValue, bool *out) {
    if (!hasValue) {
        *out = true;
        return true;
    }
    const QString v = value.trimmed().toLower();
    if (v == u"1" || v == u"yes" || v == u"true" || v == u"on") {
        *out = true;
        return true;
    }
    if (v == u"0" || v == u"no" || v == u"false" || v == u"off") {
        *out = false;
        return true;
    }
    return false;
}

bool ParseMessage(const QString &value, MessageEntry *out) {
    const QStringList parts = value.split(u',');
    if (parts.size() != 3 && parts.size() != 4) return false;
    if (parts.size() == 4 && !ParseInt(parts[3], 1, 255, &out->index)) return false;
    const QString store = parts[0].trimmed().toUpper();
    if (store == u"ME")
        out->store = Store::ME;
    else if (store == u"SM")
        out->store = Store::SM;
    else
        return false;
    if (!ParseInt(parts[1], 0, 3, &out->stat)) return false;
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    const QString pdu = parts[2].trimmed();
    if (!hex.match(pdu).hasMatch()) return false;
    out->pdu = pdu.toUpper();
    return true;
}

}  // namespace

bool ApplySetting(const QString &name, const QString &value, bool hasValue, SimOptions &o,
                  QString *error) {
    auto bad = [&] {
        *error = QStringLiteral("bad value for %1: \"%2\"").arg(name, value);
        return false;
    };
    if (IsSwitch(name)) {
        bool on = false;
        if (!ParseSwitchValue(value, hasValue, &on)) return bad();
        if (name == u"no-samples") o.samples = !on;
        if (name == u"echo") o.echo = on;
        if (name == u"echo-frames") o.echoFrames = on;
        if (name == u"silent") o.silent = on;
        if (name == u"drop-stuffing") o.dropStuffing = on;
        if (name == u"no-prompt") o.noPrompt = on;
        if (name == u"urc-between") o.urcBetween = on;
        if (name == u"cmgs-silent") o.cmgsSilent = on;
        if (name == u"text-mode") o.textMode = on;
        if (name == u"no-pdu-mode") o.noPduMode = on;
        return true;
    }
    if (!hasValue) {
        *error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    const QString v = value.trimmed();
    if (name == u"link") {
        o.link = v;
    } else if (name == u"transcript") {
        o.transcript = v;
    } else if (name == u"sent") {
        o.sent = v;
    } else if (name == u"deleted") {
        o.deleted = v;
    } else if (name == u"message") {
        MessageEntry m;
        if (!ParseMessage(v, &m)) return bad();
        o.messages.append(m);
    } else if (name == u"delay-ms") {
        if (!ParseInt(v, 0, 600000, &o.delayMs)) return bad();
    } else if (name == u"chunk") {
        if (!ParseInt(v, 0, 65536, &o.chunk)) return bad();
    } else if (name == u"get-failure") {
        const QStringList parts = v.split(u',');
        if (parts.size() > 2 || !ParseInt(parts[0], 0, 255, &o.getFailureCause, 16)) return bad();
        o.getFailureCount = -1;
        if (parts.size() == 2 && !ParseInt(parts[1], 0, 1000000, &o.getFailureCount)) return bad();
    } else if (name == u"get-unable") {
        if (!ParseInt(v, 0, 1000000, &o.getUnable)) return bad();
    } else if (name == u"damage") {
        const QStringList parts = v.split(u',');
        if (parts.size() > 2 || !ParseInt(parts[0], 0, 255, &o.damageType, 16)) return bad();
        o.damageCount = -1;
        if (parts.size() == 2 && !ParseInt(parts[1], 0, 1000000, &o.damageCount)) return bad();
    } else if (name == u"insert-failure") {
        if (!ParseInt(v, 0, 255, &o.insertFailure, 16)) return bad();
    } else if (name == u"insert-reject") {
        if (!ParseInt(v, 0, 255, &o.insertReject, 16)) return bad();
    } else if (name == u"insert-delay-ms") {
        if (!ParseInt(v, 0, 600000, &o.insertDelayMs)) return bad();
    } else if (name == u"cmgs-delay-ms") {
        if (!ParseInt(v, 0, 600000, &o.cmgsDelayMs)) return bad();
    } else if (name == u"status-report") {
        if (!ParseInt(v, 0, 255, &o.statusReport, 16)) return bad();
    } else if (name == u"cmgs-error") {
        if (!ParseInt(v, 0, 65535, &o.cmgsError)) return bad();
    } else if (name == u"garbage") {
        if (!ParseInt(v, 0, 65536, &o.garbage)) return bad();
    } else if (name == u"vanish-after") {
        if (!ParseInt(v, 0, 1000000000, &o.vanishAfter)) return bad();
    } else if (name == u"seed") {
        int seed = 0;
        if (!ParseInt(v, 0, 0x7FFFFFFF, &seed)) return bad();
        o.seed = quint32(seed);
    } else if (name == u"baud") {
        if (!ParseInt(v, 50, 4000000, &o.baud)) return bad();
    } else if (name == u"urc") {
        if (v.isEmpty() || v.contains(u'\r') || v.contains(u'\n')) return bad();
        o.urcs.append(v);
    } else if (name == u"late") {
        const qsizetype comma = v.lastIndexOf(u',');
        LateAnswer late{v.left(comma).trimmed().toUpper(), 0};
        if (comma < 1 || !late.command.startsWith(u"AT") ||
            !ParseInt(v.mid(comma + 1), 1, 600000, &late.ms))
            return bad();
        o.late.append(late);
    } else if (name == u"message-iei") {
        if (!ParseInt(v, 0, 255, &o.messageIei, 16)) return bad();
    } else if (name == u"babble") {
        if (v == u"nul")
            o.babble = Babble::Nul;
        else if (v == u"garbage")
            o.babble = Babble::Garbage;
        else if (v == u"off")
            o.babble = Babble::Off;
        else
            return bad();
    } else if (name == u"dial-string") {
        o.dialString = v;
    } else if (name == u"confirm-string") {
        o.confirmString = v;
    } else if (name == u"smsc") {
        o.smsc = v;
    } else if (name == u"pin") {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{4,8}$"));
        if (!digits.match(v).hasMatch()) return bad();
        o.pin = v;
    } else if (name == u"pin-tries") {
        if (!ParseInt(v, 0, 3, &o.pinTries)) return bad();
    } else if (name == u"cmee") {
        if (!ParseInt(v, 0, 2, &o.cmee)) return bad();
    } else if (name == u"manufacturer") {
        o.manufacturer = v;
    } else if (name == u"model") {
        o.model = v;
    } else if (name == u"revision") {
        o.revision = v;
    } else if (name == u"imei") {
        o.imei = v;
    } else if (name == u"imsi") {
        o.imsi = v;
    } else if (name == u"store-size") {
        if (!ParseInt(v, 1, 255, &o.storeSize)) return bad();
    } else {
        *error = QStringLiteral("unknown setting %1").arg(name);
        return false;
    }
    return true;
}

bool LoadConfigFile(const QString &path, SimOptions &options, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString name = (eq < 0 ? line : line.left(eq)).trimmed();
        const QString value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
        if (name == u"config") {
            *error = QStringLiteral("%1:%2: config files do not nest").arg(path).arg(number);
            return false;
        }
        QString why;
        if (!ApplySetting(name, value, eq >= 0, options, &why)) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(why);
            return false;
        }
    }
    return true;
}

bool ParseArguments(const QStringList &args, SimOptions &options, QString *error) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!arg.startsWith(u"--")) {
            *error = QStringLiteral("unexpected argument %1").arg(arg);
            return false;
        }
        QString name = arg.mid(2);
        QString value;
        bool hasValue = false;
        if (const qsizetype eq = name.indexOf(u'='); eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        } else if (!IsSwitch(name)) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            value = args[++i];
            hasValue = true;
        }
        if (name == u"config") {
            if (!LoadConfigFile(value, options, error)) return false;
            continue;
        }
        if (!ApplySetting(name, value, hasValue, options, error)) return false;
    }
    if (options.link.isEmpty()) {
        *error = QStringLiteral("--link PATH is required");
        return false;
    }
    for (const MessageEntry &m : options.messages) {
        if (m.index > options.storeSize) {
            *error = QStringLiteral("message index %1 is beyond store-size %2")
                         .arg(m.index)
                         .arg(options.storeSize);
            return false;
        }
    }
    return true;
}

QString UsageText() {
    return QStringLiteral(
        "usage: vantel-phonesim --link PATH [options]\n"
        "  --link PATH              symlink PATH to the pseudo-terminal (removed on exit)\n"
        "  --config FILE            settings and messages from FILE (see README.md)\n"
        "  --transcript FILE        every octet both ways: \"<ms> RX|TX <HEX>\"\n"
        "  --sent FILE              submitted messages: \"CMGS <len> <PDU>\" / \"INSERT "
        "<content>\"\n"
        "  --deleted FILE           deleted messages: \"DELETE <store> <index> <PDU>\"\n"
        "  --no-samples             start with empty message stores\n"
        "  --message STORE,STAT,PDU[,INDEX]\n"
        "                           add a message (ME|SM, 0-3, SCA field + TPDU hex, 1-255)\n"
        "  --echo                   AT echo on at start\n"
        "  --echo-frames            echo every received Block-mode frame\n"
        "  --silent                 never answer\n"
        "  --delay-ms N             wait N ms before each answer\n"
        "  --chunk N                write answers in pieces of N octets\n"
        "  --baud N                 pace every octet sent as a line at N baud would\n"
        "  --drop-stuffing          leave out the stuffing octet after a checksum octet 0x10\n"
        "  --get-failure XX[,COUNT] answer GET NEXT MESSAGE with GET MESSAGE FAILURE cause XX\n"
        "  --insert-failure XX      INSERT SMS: REQUEST CONFIRMED, then INSERT SMS FAILURE XX\n"
        "  --insert-reject XX       INSERT SMS: INSERT SMS FAILURE XX at once\n"
        "  --get-unable N           answer N GET NEXT MESSAGE requests with UNABLE TO PROCESS\n"
        "  --damage XX[,COUNT]      send frames of type XX with a wrong checksum (COUNT times)\n"
        "  --insert-delay-ms N      pause between REQUEST CONFIRMED and the outcome (200)\n"
        "  --cmgs-delay-ms N        hold the answer to an AT+CMGS PDU back N ms (it is sent\n"
        "                           at once)\n"
        "  --cmgs-error N           answer the AT+CMGS PDU with +CMS ERROR: N\n"
        "  --status-report XX       store an SMS-STATUS-REPORT of status XX (00: delivered)\n"
        "                           for each accepted message that asks for one\n"
        "  --no-prompt              never send the \"> \" prompt\n"
        "  --cmgs-silent            take the AT+CMGS PDU, never answer it, send nothing\n"
        "  --urc TEXT               CR LF TEXT CR LF before every AT answer (repeatable)\n"
        "  --urc-between            the URCs also after each PDU line of AT+CMGL\n"
        "  --late COMMAND,MS        answer the command line named COMMAND MS ms late\n"
        "  --babble nul|garbage     octets on the line every 10 ms after the first command\n"
        "  --message-iei XX         IEI octet of Block-mode MESSAGE frames (06)\n"
        "  --garbage N              N pseudo-random octets before every answer\n"
        "  --vanish-after N         pull the cable when command N+1 arrives\n"
        "  --seed N                 seed of the garbage generator (1)\n"
        "  --dial-string TEXT       Block-mode entry command (AT*T)\n"
        "  --confirm-string TEXT    its answer (OK)\n"
        "  --smsc NUMBER            service-centre address of AT+CSCA?\n"
        "  --text-mode              start in text mode (AT+CMGF=1); PDU commands fail until "
        "AT+CMGF=0\n"
        "  --no-pdu-mode            text mode only: AT+CMGF=0 is refused\n"
        "  --pin NNNN               the SIM asks for this PIN (4 to 8 digits) before SMS commands\n"
        "  --pin-tries N            wrong PINs left before the SIM asks for its PUK (0-3, default "
        "3)\n"
        "  --cmee N                 AT+CMEE at start: 0 ERROR, 1 +CME ERROR: n, 2 +CME ERROR: "
        "text\n"
        "  --help                   this text\n"
        "  --version                the version of vantel-phonesim\n"
        "Exit status: 0 when stopped by SIGTERM, SIGINT or SIGHUP or when the cable is\n"
        "pulled (--vanish-after); 1 when the pseudo-terminal or PATH cannot be set up;\n"
        "2 for a usage error.\n");
}

}  // namespace vantel::phonesim
