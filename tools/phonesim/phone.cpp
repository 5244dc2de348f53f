#include "phone.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

#include "blockmode/frame.h"
#include "pdu/primitives.h"

namespace vantel::phonesim {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
constexpr int kMaxLine = 4096;
constexpr int kMaxPdu = 1024;    // hex digits of one submitted PDU
constexpr int kMaxFrame = 1024;  // content octets of one received frame

// GSM 07.05 3.2.5 message service failure results.
constexpr int kCmsInvalidPduParameter = 304;
constexpr int kCmsOperationNotAllowed = 302;
constexpr int kCmsInvalidMemoryIndex = 321;
constexpr int kCmsMemoryFull = 322;

// GSM 07.05 Block-mode message types and causes.
constexpr char kGetMessage = 0x01;
constexpr char kGetFirstMessage = 0x02;
constexpr char kGetNextMessage = 0x03;
constexpr char kInsertSms = 0x07;
constexpr char kDeleteMessage = 0x08;
constexpr char kEndSmsMode = 0x1E;
constexpr char kMessage = 0x21;
constexpr char kGetMessageFailure = 0x22;
constexpr char kInsertSmsComplete = 0x25;
constexpr char kInsertSmsFailure = 0x26;
constexpr char kDeleteMessageComplete = 0x27;
constexpr char kDeleteMessageFailure = 0x28;
constexpr char kUnableToProcess = 0x29;
constexpr char kRequestConfirmed = 0x2A;
constexpr char kCauseNoSuchMessage = 0x00;
constexpr char kCauseNotUnderstood = 0x04;
constexpr char kConfirmAttemptToSend = 0x04;

QByteArray CmsError(int n) {
    return "+CMS ERROR: " + QByteArray::number(n);
}

QByteArray Bytes(std::initializer_list<int> octets) {
    QByteArray b;
    for (int o : octets)
        b.append(char(o));
    return b;
}

// Parameters of an extended command: split at commas outside double quotes, quotes removed.
QList<QByteArray> SplitArgs(const QByteArray &args) {
    QList<QByteArray> out;
    QByteArray cur;
    bool quoted = false;
    for (char c : args) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            out.append(cur.trimmed());
            cur.clear();
        } else {
            cur.append(c);
        }
    }
    out.append(quoted ? cur : cur.trimmed());
    return out;
}

bool ToInt(const QByteArray &text, int min, int max, int *out) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < min || v > max) return false;
    *out = v;
    return true;
}

std::optional<Store> StoreByName(const QByteArray &name) {
    const QByteArray n = name.trimmed().toUpper();
    if (n == "ME" || n == "MT") return Store::ME;
    if (n == "SM") return Store::SM;
    return std::nullopt;
}

QByteArray StoreName(Store s) {
    return s == Store::ME ? "ME" : "SM";
}

// Text-mode <stat> names are accepted in PDU mode too, as several phones do.
int StatFromArg(const QByteArray &arg) {
    const QByteArray a = arg.trimmed().toUpper();
    if (a.isEmpty()) return 0;
    static const char *names[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};
    for (int i = 0; i < 5; ++i)
        if (a == names[i]) return i;
    int v = -1;
    return ToInt(a, 0, 4, &v) ? v : -1;
}

}  // namespace

QList<MessageEntry> SampleMessages() {
    // One service centre (+49 171 0760000) for all; time stamps 24-03-15 +01:00.
    return {
        // SMS-DELIVER, 7-bit, international sender, unread.
        {Store::ME, 0,
         "0791947101670000040C919471123254760000423051010300401EC8329BFD0699E5EF36888E2E83E6E9"
         "769D1DA697C92038FAED2E03"},
        // SMS-DELIVER from an alphanumeric sender ("Phonesim"), read.
        {Store::ME, 1,
         "0791947101670000040ED050F4DB5D9EA7DB00004230510103004019D9775D0E1287D961F7B80C4ACF41"
         "3199AB060315AB52"},
        // SMS-DELIVER, 8-bit data 01 10 20 FF 7E: an octet 0x10 to stuff.
        {Store::ME, 1, "0791947101670000040C9144612369103200044230510103004005011020FF7E"},
        // SMS-SUBMIT, sent, relative validity period.
        {Store::ME, 3, "079194710167000011000C919471927856340000A70CD37219947FD741613A0807"},
        // 16 septets (TP-UDL 0x10); as the MESSAGE of reference 5 its checksum is F3 10.
        {Store::ME, 0,
         "0791947101670000040C9194711232547600004230511102854010D3349E5E2EBB416374583E07BDD7"},
        {Store::SM, 1,
         "0791947101670000040C919471123254760000423051010300401153FA5B5E2683DE6E101D5D064D934D"},
        {Store::SM, 0,
         "0791947101670000040C919471525510990000423051010300400ED364135477CBCB6132E8ED2E03"},
    };
}

Phone::Phone(const SimOptions &options)
    : options_(options),
      echo_(options.echo),
      cmee_(options.cmee),
      textMode_(options.textMode || options.noPduMode),
      sim_(options.pin.isEmpty()  ? Sim::Ready
           : options.pinTries > 0 ? Sim::Pin
                                  : Sim::Puk),
      pinTries_(options.pinTries),
      getFailuresLeft_(options.getFailureCount),
      damagesLeft_(options.damageCount),
      unableLeft_(options.getUnable),
      smsc_(options.smsc) {
    QList<MessageEntry> entries;
    if (options.samples) entries = SampleMessages();
    entries += options.messages;
    for (const MessageEntry &entry : entries) {
        const int index = entry.index > 0 ? entry.index : FreeIndex(entry.store);
        if (index == 0) continue;
        StoreOf(entry.store).removeIf([index](const Message &m) { return m.index == index; });
        StoreOf(entry.store).append({index, entry.stat, entry.pdu});
    }
}

QStringList Phone::TakeSentLines() {
    return std::exchange(sent_, {});
}

QStringList Phone::TakeDeletedLines() {
    return std::exchange(deleted_, {});
}

void Phone::Deleted(Store s, const Message &m) {
    deleted_ << QStringLiteral("DELETE %1 %2 %3")
                    .arg(QString::fromLatin1(StoreName(s)))
                    .arg(m.index)
                    .arg(m.pdu);
}

void Phone::AddUrcs(QList<Output> &out, qsizetype first) const {
    if (options_.urcs.isEmpty()) return;
    QByteArray urcs;
    for (const QString &urc : options_.urcs)
        urcs += "\r\n" + urc.toLatin1() + "\r\n";
    for (qsizetype i = first; i < out.size(); ++i)
        if (out[i].answer) out[i].octets.prepend(urcs);
}

bool Phone::CountCommand() {
    ++commands_;
    if (options_.vanishAfter >= 0 && commands_ > options_.vanishAfter) vanished_ = true;
    return !vanished_;
}

Phone::Message *Phone::Find(Store s, int index) {
    for (Message &m : StoreOf(s))
        if (m.index == index) return &m;
    return nullptr;
}

int Phone::FreeIndex(Store s) {
    for (int i = 1; i <= options_.storeSize; ++i)
        if (!Find(s, i)) return i;
    return 0;
}

int Phone::TpduLength(const QString &pdu) {
    const int octets = int(pdu.size() / 2);
    bool ok = false;
    const int sca = pdu.left(2).toInt(&ok, 16);
    return std::max(0, octets - 1 - (ok ? sca : 0));
}

// ---- the octet stream ----

QList<Output> Phone::Receive(QByteArrayView octets) {
    QList<Output> out;
    for (char c : octets)
        Feed(c, out);
    return out;
}

void Phone::Feed(char c, QList<Output> &out) {
    if (vanished_) return;
    switch (mode_) {
        case Mode::Command:
            CommandOctet(c, out);
            break;
        case Mode::PduEntry:
            PduOctet(c, out);
            break;
        case Mode::Block:
            BlockOctet(c, out);
            break;
    }
}

QList<Output> Phone::Idle() {
    QList<Output> out;
    if (mode_ == Mode::Block && block_.state == FrameState::LowStuff) FrameDone(out);
    return out;
}

static void Echo(QList<Output> &out, char c) {
    if (out.isEmpty() || out.last().answer) out.append({QByteArray(), false, 0});
    out.last().octets.append(c);
}

void Phone::CommandOctet(char c, QList<Output> &out) {
    if (echo_) Echo(out, c);
    if (c == '\r') {
        const QByteArray line = std::exchange(line_, {});
        if (std::exchange(lineOverflow_, false)) {
            if (CountCommand()) out.append({"\r\nERROR\r\n"});
            return;
        }
        CommandLine(line, out);
    } else if (c == '\n') {
        // GSM 07.07 ends a command line with S3 (CR) only.
    } else if (c == '\b') {
        line_.chop(1);
    } else if (line_.size() < kMaxLine) {
        line_.append(c);
    } else {
        lineOverflow_ = true;
    }
}

void Phone::PduOctet(char c, QList<Output> &out) {
    if (c == kCtrlZ) {
        SubmitPdu(out);
        return;
    }
    if (c == kEsc) {
        // GSM 07.05 3.5.1: ESC quits without sending; everything else up to Ctrl-Z is the PDU.
        mode_ = Mode::Command;
        out.append({"\r\nOK\r\n"});
        AddUrcs(out, out.size() - 1);
        return;
    }
    if (echo_) Echo(out, c);
    if (c == '\r' || c == '\n' || (c == ' ' && !pdu_.textMode)) return;
    if (pdu_.text.size() < kMaxPdu)
        pdu_.text.append(c);
    else
        pdu_.overflow = true;
}

void Phone::BlockOctet(char c, QList<Output> &out) {
    BlockParser &b = block_;
    const auto startFrame = [&b] {
        b.raw = QByteArray("\x10\x02", 2);
        b.content.clear();
        b.state = FrameState::Content;
    };
    switch (b.state) {
        case FrameState::Hunt:
            if (c == 0x10) {
                b.state = FrameState::HuntDle;
            } else if (c == '\r') {
                // A command line between frames: the client has given up on Block mode.
                const QByteArray text = std::exchange(b.text, {});
                if (text.toUpper().contains("AT")) {
                    mode_ = Mode::Command;
                    CommandLine(text, out);
                }
            } else {
                b.text.append(c);
                if (b.text.size() > kMaxLine) b.text.remove(0, b.text.size() - kMaxLine);
            }
            break;
        case FrameState::HuntDle:
            if (c == 0x02)
                startFrame();
            else if (c != 0x10)
                b.state = FrameState::Hunt;
            break;
        case FrameState::Content:
            b.raw.append(c);
            if (c == 0x10)
                b.state = FrameState::ContentDle;
            else
                b.content.append(c);
            if (b.content.size() > kMaxFrame) b.state = FrameState::Hunt;
            break;
        case FrameState::ContentDle:
            b.raw.append(c);
            if (c == 0x00) {
                b.content.append(char(0x10));
                b.state = FrameState::Content;
            } else if (c == 0x03) {
                b.state = FrameState::High;
            } else if (c == 0x02) {
                startFrame();
            } else {
                // Stuffing octet missing: keep the DLE as data and read on; the frame fails
                // its check when it is complete.
                b.content.append(char(0x10));
                b.raw.chop(1);
                b.state = FrameState::Content;
                BlockOctet(c, out);
            }
            break;
        case FrameState::High:
            b.raw.append(c);
            b.state = c == 0x10 ? FrameState::HighStuff : FrameState::Low;
            break;
        case FrameState::HighStuff:
            b.state = FrameState::Low;
            if (c == 0x00)
                b.raw.append(c);
            else
                BlockOctet(c, out);
            break;
        case FrameState::Low:
            b.raw.append(c);
            if (c == 0x10)
                b.state = FrameState::LowStuff;
            else
                FrameDone(out);
            break;
        case FrameState::LowStuff:
            if (c == 0x00) {
                b.raw.append(c);
                FrameDone(out);
            } else {
                FrameDone(out);
                Feed(c, out);
            }
            break;
    }
}

// ---- AT commands (GSM 07.07 / 07.05) ----

void Phone::CommandLine(const QByteArray &line, QList<Output> &out) {
    const qsizetype at = line.toUpper().indexOf("AT");
    if (at < 0) return;  // not a command line: a modem ignores it
    if (!CountCommand()) return;
    const QByteArray command = line.mid(at).trimmed();
    const qsizetype first = out.size();
    ExecuteLine(command, out);
    AddUrcs(out, first);

    qsizetype nameEnd = 0;
    while (nameEnd < command.size() && !QByteArray("=?;").contains(command[nameEnd]))
        ++nameEnd;
    const QString name = QString::fromLatin1(command.left(nameEnd).trimmed().toUpper());
    for (const LateAnswer &late : options_.late) {
        if (late.command != name) continue;
        for (qsizetype i = first; i < out.size(); ++i)
            if (out[i].answer) out[i].lateMs = late.ms;
    }
}

void Phone::ExecuteLine(const QByteArray &command, QList<Output> &out) {
    if (command.compare(options_.dialString.toLatin1(), Qt::CaseInsensitive) == 0) {
        mode_ = Mode::Block;
        block_ = {};
        blockCursor_ = 0;
        out.append({"\r\n" + options_.confirmString.toLatin1() + "\r\n"});
        return;
    }

    QList<QByteArray> info;
    QByteArray result = "OK";
    const QByteArray rest = command.mid(2);
    qsizetype pos = 0;
    bool stop = false;
    while (pos < rest.size()) {
        const char c = rest[pos];
        qsizetype end = pos + 1;
        if (c == ' ' || c == ';') {
            ++pos;
            continue;
        }
        if (c == '+' || c == '*' || c == '^' || c == '$' || c == '%' || c == '#') {
            bool quoted = false;
            while (end < rest.size() && (quoted || rest[end] != ';')) {
                if (rest[end] == '"') quoted = !quoted;
                ++end;
            }
        } else {
            if (c == '&' && end < rest.size()) ++end;
            if ((c == 'S' || c == 's') && end < rest.size()) {
                while (end < rest.size() && std::isdigit(quint8(rest[end])))
                    ++end;
                if (end < rest.size() && rest[end] == '?') {
                    ++end;
                } else if (end < rest.size() && rest[end] == '=') {
                    ++end;
                }
            }
            while (end < rest.size() && std::isdigit(quint8(rest[end])))
                ++end;
        }
        result = Execute(rest.mid(pos, end - pos), info, out, &stop);
        if (stop || result != "OK") break;
        pos = end;
    }
    if (stop) return;
    QByteArray answer;
    if (!info.isEmpty()) answer = "\r\n" + info.join("\r\n") + "\r\n";
    answer += "\r\n" + result + "\r\n";
    out.append({answer});
}

QByteArray Phone::Execute(const QByteArray &command, QList<QByteArray> &info, QList<Output> &out,
                          bool *stop) {
    const QByteArray upper = command.toUpper();
    if (!upper.startsWith('+') && !upper.startsWith('*') && !upper.startsWith('^') &&
        !upper.startsWith('$') && !upper.startsWith('%') && !upper.startsWith('#')) {
        // Basic commands (V.25ter).
        const char letter = upper[0];
        const QByteArray value = upper.mid(1);
        if (letter == 'E') {
            echo_ = value != "0";
        } else if (letter == 'Z' || upper == "&F") {
            echo_ = options_.echo;
            cmee_ = options_.cmee;
        } else if (letter == 'I') {
            info << options_.manufacturer.toLatin1() << options_.model.toLatin1()
                 << options_.revision.toLatin1();
        } else if (letter == 'S' && value.endsWith('?')) {
            info << "000";
        } else if (!QByteArray("QVXLMHS&").contains(letter)) {
            return "ERROR";
        }
        return "OK";
    }

    qsizetype nameEnd = 1;
    while (nameEnd < upper.size() && upper[nameEnd] != '=' && upper[nameEnd] != '?')
        ++nameEnd;
    const QByteArray name = upper.left(nameEnd);
    const QByteArray tail = command.mid(nameEnd);
    const bool test = tail.startsWith("=?");
    const bool query = tail == "?";
    const QByteArray args = (!test && tail.startsWith('=')) ? tail.mid(1) : QByteArray();

    if (name == "+CPIN") return ExecutePin(SplitArgs(args), query, test, info);
    const bool sms = name.startsWith("+CM") || name.startsWith("+CS") || name == "+CPMS" ||
                     name == "+CNMI" || name == "+CNMA";
    const bool needsSim =
        (sms && name != "+CMEE" && name != "+CSQ") || name == "+CIMI" || name.startsWith("+CPB");
    if (needsSim && !test) {
        if (const QByteArray locked = SimLocked(); !locked.isEmpty()) return locked;
    }
    if (sms) {
        const QByteArray r = ExecuteSms(name, args, query, test, info, out, stop);
        if (!r.isNull()) return r;
    }
    const auto quoted = [](const QString &s) { return '"' + s.toLatin1() + '"'; };
    static const QByteArrayList kKnown = {
        "+CGMI",  "+GMI",  "+CGMM", "+GMM",  "+CGMR", "+GMR",  "+CGSN", "+GSN",  "+CIMI", "+CPIN",
        "+CSQ",   "+CREG", "+COPS", "+CBC",  "+CFUN", "+CMEE", "+CCLK", "+CPBS", "+CPBR", "+CPBF",
        "+CGREG", "+CLIP", "+CRC",  "+CLIR", "+CCWA", "+CSSN", "+CUSD", "+CHUP"};
    if (!kKnown.contains(name)) return "ERROR";
    if (test) {
        if (name == "+CPBS")
            info << R"(+CPBS: ("SM","ME"))";
        else if (name == "+CPBR")
            info << "+CPBR: (1-250),40,18";
        else if (name == "+CFUN")
            info << "+CFUN: (0,1),(0,1)";
        else if (name == "+CMEE")
            info << "+CMEE: (0-2)";
        return "OK";
    }
    if (name == "+CGMI" || name == "+GMI") {
        info << options_.manufacturer.toLatin1();
    } else if (name == "+CGMM" || name == "+GMM") {
        info << options_.model.toLatin1();
    } else if (name == "+CGMR" || name == "+GMR") {
        info << options_.revision.toLatin1();
    } else if (name == "+CGSN" || name == "+GSN") {
        info << options_.imei.toLatin1();
    } else if (name == "+CIMI") {
        info << options_.imsi.toLatin1();
    } else if (name == "+CSQ") {
        info << "+CSQ: 20,99";
    } else if (name == "+CREG") {
        if (query) info << "+CREG: 0,1";
    } else if (name == "+COPS") {
        if (query) info << "+COPS: 0,0,\"Phonesim\"";
    } else if (name == "+CBC") {
        info << "+CBC: 0,80";
    } else if (name == "+CFUN") {
        if (query) info << "+CFUN: 1";
    } else if (name == "+CMEE") {
        int v = 0;
        if (query)
            info << "+CMEE: " + QByteArray::number(cmee_);
        else if (ToInt(args.isEmpty() ? "0" : args, 0, 2, &v))
            cmee_ = v;
        else
            return "ERROR";
    } else if (name == "+CCLK") {
        if (query)
            info << "+CCLK: " + quoted(QDateTime::currentDateTime().toString(u"yy/MM/dd,hh:mm:ss") +
                                       QStringLiteral("+00"));
    } else if (name == "+CPBS") {
        if (query) info << "+CPBS: \"SM\",0,250";
    } else if (name == "+CPBR" || name == "+CPBF") {
        // an empty phone book
    } else if (query) {
        info << name + ": 0";
    }
    return "OK";
}

QByteArray Phone::CmeError(int n, const char *text) const {
    // GSM 07.07 9.1: AT+CMEE chooses between a plain ERROR, the number and the text.
    if (cmee_ == 0) return "ERROR";
    return "+CME ERROR: " + (cmee_ == 1 ? QByteArray::number(n) : QByteArray(text));
}

QByteArray Phone::SimLocked() const {
    if (sim_ == Sim::Pin) return CmeError(11, "SIM PIN required");
    if (sim_ == Sim::Puk) return CmeError(12, "SIM PUK required");
    return {};
}

// GSM 07.07 8.3. The PUK is not simulated: a blocked SIM stays blocked.
QByteArray Phone::ExecutePin(const QList<QByteArray> &args, bool query, bool test,
                             QList<QByteArray> &info) {
    if (test) return "OK";
    if (query) {
        info << (sim_ == Sim::Ready ? "+CPIN: READY"
                 : sim_ == Sim::Pin ? "+CPIN: SIM PIN"
                                    : "+CPIN: SIM PUK");
        return "OK";
    }
    if (sim_ == Sim::Ready) return CmeError(3, "operation not allowed");
    if (sim_ == Sim::Puk || args.size() != 1) return CmeError(16, "incorrect password");
    if (QString::fromLatin1(args[0]) == options_.pin) {
        sim_ = Sim::Ready;
        pinTries_ = 3;
        return "OK";
    }
    if (--pinTries_ <= 0) sim_ = Sim::Puk;
    return CmeError(16, "incorrect password");
}

QByteArray Phone::ExecuteSms(const QByteArray &name, const QByteArray &args, bool query, bool test,
                             QList<QByteArray> &info, QList<Output> &out, bool *stop) {
    const QList<QByteArray> a = SplitArgs(args);
    const auto line = [](const QByteArray &n, const Message &m) {
        return n + ": " + QByteArray::number(m.index) + ',' + QByteArray::number(m.stat) + ",," +
               QByteArray::number(TpduLength(m.pdu));
    };
    const auto usage = [this](Store s) {
        return QByteArray::number(StoreOf(s).size()) + ',' + QByteArray::number(options_.storeSize);
    };

    if (name == "+CMGF") {
        // Text mode is offered only by a phone that starts in it.
        const bool textOffered = options_.textMode || options_.noPduMode;
        if (test) {
            info << (options_.noPduMode ? "+CMGF: (1)"
                     : textOffered      ? "+CMGF: (0,1)"
                                        : "+CMGF: (0)");
        } else if (query) {
            info << (textMode_ ? "+CMGF: 1" : "+CMGF: 0");
        } else if (a[0] == "0" || a[0].isEmpty()) {
            if (options_.noPduMode) return "ERROR";
            textMode_ = false;
        } else if (a[0] == "1" && textOffered) {
            textMode_ = true;
        } else {
            return "ERROR";
        }
        return "OK";
    }
    // Listing and reading in text mode are not simulated: a PDU-mode request fails as it does
    // on a phone left in text mode.
    if (textMode_ && (name == "+CMGL" || name == "+CMGR") && !test) return "ERROR";
    if (name == "+CSMS") {
        if (test)
            info << "+CSMS: (0)";
        else if (query)
            info << "+CSMS: 0,1,1,1";
        else
            info << "+CSMS: 1,1,1";
        return "OK";
    }
    if (name == "+CPMS") {
        if (test) {
            info << R"(+CPMS: ("ME","SM"),("ME","SM"),("ME","SM"))";
        } else if (query) {
            QByteArrayList parts;
            for (Store s : {readStore_, writeStore_, recvStore_})
                parts << '"' + StoreName(s) + "\"," + usage(s);
            info << "+CPMS: " + parts.join(',');
        } else {
            Store *targets[] = {&readStore_, &writeStore_, &recvStore_};
            if (a.size() > 3 || a[0].isEmpty()) return CmsError(kCmsOperationNotAllowed);
            Store chosen[3] = {readStore_, writeStore_, recvStore_};
            for (qsizetype i = 0; i < a.size(); ++i) {
                const auto s = StoreByName(a[i]);
                if (!s) return CmsError(kCmsOperationNotAllowed);
                chosen[i] = *s;
            }
            for (int i = 0; i < 3; ++i)
                *targets[i] = chosen[i];
            info << "+CPMS: " + usage(readStore_) + ',' + usage(writeStore_) + ',' +
                        usage(recvStore_);
        }
        return "OK";
    }
    if (name == "+CMGL") {
        if (test) {
            info << "+CMGL: (0-4)";
            return "OK";
        }
        const int stat = StatFromArg(a[0]);
        if (stat < 0) return CmsError(kCmsInvalidPduParameter);
        QList<Message> &store = StoreOf(readStore_);
        std::sort(store.begin(), store.end(),
                  [](const Message &x, const Message &y) { return x.index < y.index; });
        for (Message &m : store) {
            if (stat != 4 && m.stat != stat) continue;
            info << line("+CMGL", m) << m.pdu.toLatin1();
            if (options_.urcBetween)
                for (const QString &urc : options_.urcs)
                    info << "" << urc.toLatin1();  // CR LF TEXT CR LF after the PDU line
            if (m.stat == 0) m.stat = 1;  // GSM 07.05 3.4.2: a listed unread message is read
        }
        return "OK";
    }
    if (name == "+CMGR") {
        int index = 0;
        if (test) return "OK";
        if (!ToInt(a[0], 0, 65535, &index)) return CmsError(kCmsInvalidPduParameter);
        Message *m = Find(readStore_, index);
        if (!m) return CmsError(kCmsInvalidMemoryIndex);
        info << "+CMGR: " + QByteArray::number(m->stat) + ",," +
                    QByteArray::number(TpduLength(m->pdu))
             << m->pdu.toLatin1();
        if (m->stat == 0) m->stat = 1;
        return "OK";
    }
    if (name == "+CMGD") {
        QList<Message> &store = StoreOf(readStore_);
        if (test) {
            QByteArrayList indexes;
            for (const Message &m : store)
                indexes << QByteArray::number(m.index);
            info << "+CMGD: (" + indexes.join(',') + "),(0-4)";
            return "OK";
        }
        int index = 0, flag = 0;
        if (!ToInt(a[0].isEmpty() ? "0" : a[0], 0, 65535, &index) ||
            (a.size() > 1 && !ToInt(a[1], 0, 4, &flag)))
            return CmsError(kCmsInvalidPduParameter);
        if (flag == 0 && !Find(readStore_, index)) return CmsError(kCmsInvalidMemoryIndex);
        // GSM 07.05 3.5.4 <delflag>: 1 read, 2 read and sent, 3 also unsent, 4 all.
        const auto goes = [index, flag](const Message &m) {
            return flag == 0 ? m.index == index
                             : flag == 4 || m.stat == 1 || (flag >= 2 && m.stat == 3) ||
                                   (flag >= 3 && m.stat == 2);
        };
        for (const Message &m : store)
            if (goes(m)) Deleted(readStore_, m);
        store.removeIf(goes);
        return "OK";
    }
    if (name == "+CMGS" || name == "+CMGW") {
        if (test) return "OK";
        int length = 0, stat = 2;
        if (textMode_) {
            // GSM 07.05 3.5.1 text mode: AT+CMGS=<da>; what follows the prompt is the text.
            if (name == "+CMGW") return CmsError(kCmsOperationNotAllowed);
            if (a[0].isEmpty()) return CmsError(kCmsInvalidPduParameter);
            *stop = true;
            if (options_.noPrompt) return "";
            pdu_ = {false, true, a[0], 0, 2, {}, false};
            mode_ = Mode::PduEntry;
            out.append({"\r\n> "});
            return "";
        }
        if (!ToInt(a[0], 1, 255, &length)) return CmsError(kCmsInvalidPduParameter);
        if (name == "+CMGW" && a.size() > 1 && !ToInt(a[1], 0, 3, &stat))
            return CmsError(kCmsInvalidPduParameter);
        *stop = true;
        if (options_.noPrompt) return "";
        pdu_ = {name == "+CMGW", false, {}, length, stat, {}, false};
        mode_ = Mode::PduEntry;
        out.append({"\r\n> "});
        return "";
    }
    if (name == "+CSCA") {
        if (query) {
            info << "+CSCA: \"" + smsc_.toLatin1() + "\"," +
                        (smsc_.startsWith(u'+') ? "145" : "129");
        } else if (!test) {
            if (a[0].isEmpty()) return CmsError(kCmsInvalidPduParameter);
            smsc_ = QString::fromLatin1(a[0]);
        }
        return "OK";
    }
    if (name == "+CNMI") {
        if (test)
            info << "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)";
        else if (query)
            info << "+CNMI: 0,0,0,0,0";
        return "OK";
    }
    if (name == "+CSCS") {
        if (test)
            info << R"(+CSCS: ("GSM","IRA","UCS2"))";
        else if (query)
            info << "+CSCS: \"GSM\"";
        return "OK";
    }
    if (name == "+CSDH" || name == "+CSMP" || name == "+CSCB" || name == "+CNMA" ||
        name == "+CMMS" || name == "+CSAS" || name == "+CRES") {
        if (query) info << name + ": 0";
        return "OK";
    }
    return QByteArray();  // not an SMS command after all
}

void Phone::SubmitPdu(QList<Output> &out) {
    mode_ = Mode::Command;
    if (!CountCommand()) return;
    const qsizetype first = out.size();
    ExecutePdu(out);
    AddUrcs(out, first);
}

void Phone::ExecutePdu(QList<Output> &out) {
    if (options_.cmgsSilent && !pdu_.write) return;
    if (pdu_.textMode) {
        // Whatever came, hex digits of a PDU included, is the text of a message to `to`.
        if (options_.cmgsError >= 0) {
            out.append({"\r\n" + CmsError(options_.cmgsError) + "\r\n"});
            return;
        }
        messageReference_ = (messageReference_ + 1) % 256;
        sent_ << QStringLiteral("TEXT %1 %2")
                     .arg(QString::fromLatin1(pdu_.to), QString::fromLatin1(pdu_.text));
        out.append({"\r\n+CMGS: " + QByteArray::number(messageReference_) + "\r\n\r\nOK\r\n", true,
                    options_.cmgsDelayMs});
        return;
    }
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    const QString text = QString::fromLatin1(pdu_.text).toUpper();
    bool valid = !pdu_.overflow && hex.match(text).hasMatch();
    if (valid) {
        // The PDU may or may not start with a service-centre address field (GSM 07.05 3.5.1).
        const int octets = int(text.size() / 2);
        const int sca = text.left(2).toInt(nullptr, 16);
        valid = octets == pdu_.length || octets == pdu_.length + 1 + sca;
    }
    if (!valid) {
        out.append({"\r\n" + CmsError(kCmsInvalidPduParameter) + "\r\n"});
        return;
    }
    if (pdu_.write) {
        const int index = FreeIndex(writeStore_);
        if (index == 0) {
            out.append({"\r\n" + CmsError(kCmsMemoryFull) + "\r\n"});
            return;
        }
        QString pdu = text;
        if (text.size() / 2 == pdu_.length) pdu.prepend(u"00");
        StoreOf(writeStore_).append({index, pdu_.stat, pdu});
        out.append({"\r\n+CMGW: " + QByteArray::number(index) + "\r\n\r\nOK\r\n"});
        return;
    }
    if (options_.cmgsError >= 0) {
        out.append({"\r\n" + CmsError(options_.cmgsError) + "\r\n"});
        return;
    }
    messageReference_ = (messageReference_ + 1) % 256;
    sent_ << QStringLiteral("CMGS %1 %2").arg(pdu_.length).arg(text);
    StoreStatusReport(
        text.size() / 2 == pdu_.length ? text : text.mid(2 + 2 * text.left(2).toInt(nullptr, 16)));
    out.append({"\r\n+CMGS: " + QByteArray::number(messageReference_) + "\r\n\r\nOK\r\n", true,
                options_.cmgsDelayMs});
}

void Phone::StoreStatusReport(const QString &tpdu) {
    // GSM 03.40 9.2.3.5: TP-SRR, bit 5 of the SMS-SUBMIT's first octet.
    bool ok = false;
    const int first = tpdu.left(2).toInt(&ok, 16);
    if (options_.statusReport < 0 || !ok || !(first & 0x20)) return;
    const int digits = tpdu.mid(4, 2).toInt(&ok, 16);
    const QString recipient = tpdu.mid(4, 4 + 2 * ((digits + 1) / 2));
    const int index = FreeIndex(recvStore_);
    if (!ok || recipient.size() < 4 || index == 0) return;
    // GSM 03.40 9.2.2.3 SMS-STATUS-REPORT (TP-MMS set): the reference and recipient of the
    // message, sent 24/03/15 10:30:00 and discharged 10:31:00 (+01:00), the status.
    const auto hex = [](int octet) {
        return QStringLiteral("%1").arg(octet, 2, 16, QLatin1Char('0'));
    };
    const QString report = QStringLiteral("079194710167000006") + hex(messageReference_) +
                           recipient + QStringLiteral("4230510103004042305101130040") +
                           hex(options_.statusReport);
    StoreOf(recvStore_).append({index, 0, report.toUpper()});
}

// ---- Block mode (GSM 07.05 section 2) ----

QByteArray Phone::Frame(const QByteArray &content) const {
    QByteArray frame = BuildFrame(content);
    if (!options_.dropStuffing) return frame;
    // The same checksum without the stuffing octet after a checksum octet 0x10.
    unsigned sum = 0;
    for (char c : content)
        sum += quint8(c);
    const unsigned check = (0x10000 - (sum & 0xFFFF)) & 0xFFFF;
    frame.chop(2 + ((check >> 8) == 0x10) + ((check & 0xFF) == 0x10));
    frame.append(char(check >> 8));
    frame.append(char(check & 0xFF));
    return frame;
}

QByteArray Phone::MessageFrameContent(const Message &m) const {
    const QByteArray pdu = QByteArray::fromHex(m.pdu.toLatin1());
    QByteArray c;
    c.append(kMessage);
    c.append(char(options_.messageIei));                       // IEI
    c.append(char(std::min<qsizetype>(255, 2 + pdu.size())));  // LENGTH of what follows
    c.append(char(m.index));                                   // MESSAGE REF
    c.append(char(m.stat));                                    // STATUS
    c.append(pdu);
    return c;
}

void Phone::FrameDone(QList<Output> &out) {
    BlockParser &b = block_;
    b.state = FrameState::Hunt;
    if (!CountCommand()) return;
    if (options_.echoFrames) out.append({b.raw, false, 0});
    QString frame = BytesToHex(b.raw);
    if (!ValidateFrame(frame) || frame.isEmpty()) {
        out.append({Frame(Bytes({kUnableToProcess, kCauseNotUnderstood}))});
        return;
    }
    BlockFrame(HexToBytes(frame), out);
}

void Phone::BlockFrame(const QByteArray &content, QList<Output> &out) {
    const char type = content[0];
    const auto reply = [&](const QByteArray &c, int delay = 0) {
        QByteArray frame = Frame(c);
        if (quint8(c.front()) == options_.damageType && damagesLeft_ != 0) {
            damagesLeft_ -= damagesLeft_ > 0;
            frame.back() = char(frame.back() ^ 0x01);  // the checksum's last octet
        }
        out.append({frame, true, delay});
    };
    const auto messageAfter = [this](int after) -> const Message * {
        const Message *best = nullptr;
        for (const Message &m : me_)
            if (m.index > after && (!best || m.index < best->index)) best = &m;
        return best;
    };
    switch (type) {
        case kGetFirstMessage:
        case kGetNextMessage: {
            if (type == kGetFirstMessage) blockCursor_ = 0;
            if (options_.getFailureCause >= 0 && getFailuresLeft_ != 0) {
                if (getFailuresLeft_ > 0) --getFailuresLeft_;
                reply(Bytes({kGetMessageFailure, 0x00, options_.getFailureCause}));
                return;
            }
            if (unableLeft_ > 0) {
                --unableLeft_;
                reply(Bytes({kUnableToProcess, kCauseNotUnderstood}));
                return;
            }
            const Message *m = messageAfter(blockCursor_);
            if (!m) {
                reply(Bytes({kGetMessageFailure, 0x00, kCauseNoSuchMessage}));
                return;
            }
            blockCursor_ = m->index;
            reply(MessageFrameContent(*m));
            return;
        }
        case kGetMessage: {
            const Message *m = content.size() > 1 ? Find(Store::ME, quint8(content[1])) : nullptr;
            if (m)
                reply(MessageFrameContent(*m));
            else
                reply(Bytes({kGetMessageFailure, 0x00, kCauseNoSuchMessage}));
            return;
        }
        case kDeleteMessage: {
            const int index = content.size() > 1 ? quint8(content[1]) : -1;
            if (const Message *m = Find(Store::ME, index)) {
                Deleted(Store::ME, *m);
                me_.removeIf([index](const Message &m) { return m.index == index; });
                reply(Bytes({kDeleteMessageComplete}));
            } else {
                reply(Bytes({kDeleteMessageFailure, kCauseNoSuchMessage}));
            }
            return;
        }
        case kInsertSms: {
            if (content.size() < 3) {
                reply(Bytes({kUnableToProcess, kCauseNotUnderstood}));
                return;
            }
            if (options_.insertReject >= 0) {
                reply(Bytes({kInsertSmsFailure, options_.insertReject}));
                return;
            }
            reply(Bytes({kRequestConfirmed, kConfirmAttemptToSend}));
            if (options_.insertFailure >= 0) {
                reply(Bytes({kInsertSmsFailure, options_.insertFailure}), options_.insertDelayMs);
                return;
            }
            messageReference_ = (messageReference_ + 1) % 256;
            sent_ << QStringLiteral("INSERT ") + QString::fromLatin1(content.toHex().toUpper());
            StoreStatusReport(
                QString::fromLatin1(content.mid(3 + quint8(content[2])).toHex().toUpper()));
            reply(Bytes({kInsertSmsComplete, messageReference_, messageReference_}),
                  options_.insertDelayMs);
            return;
        }
        case kEndSmsMode:
            mode_ = Mode::Command;
            out.append({"\r\nOK\r\n"});
            return;
        default:
            reply(Bytes({kUnableToProcess, kCauseNotUnderstood}));
            return;
    }
}

}  // namespace vantel::phonesim
