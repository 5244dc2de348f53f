#include "link/link.h"

#include <QCoroTimer>
#include <QMetaObject>
#include <QTimer>
#include <cmath>

#include "app/settingsfile.h"
#include "link/host.h"
#include "link/trace.h"
#include "link/wait.h"
#include "pdu/primitives.h"

namespace vantel {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

qsizetype FindAtOctetBoundary(QStringView hex, QStringView needle, qsizetype from) {
    if (from < 0) from = 0;
    qsizetype j = hex.indexOf(needle, from);
    while (j >= 0 && j % 2 != 0)
        j = hex.indexOf(needle, j + 1);
    return j;
}

namespace {

// A frame's last checksum octet 0x10 waits this long for its stuffing octet.
constexpr milliseconds StuffingGrace(100);

bool OctetIs(QStringView hex, qsizetype at, QStringView octet) {
    return at + 2 <= hex.size() && hex.sliced(at, 2) == octet;
}

// Visits every complete, non-empty line of text (lines end with CR or LF) until visit says
// stop; returns the position just after that line's end, or -1 when it never did.
template <typename F>
qsizetype ForEachLine(QStringView text, F &&visit) {
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') continue;
        if (i > start && visit(text.sliced(start, i - start))) return i + 1;
        start = i + 1;
    }
    return -1;
}

bool IsErrorLine(QStringView line) {
    return line == u"ERROR" || line.startsWith(u"+CMS ERROR") || line.startsWith(u"+CME ERROR");
}

}  // namespace

qsizetype FrameEnd(QStringView hex, qsizetype etx, bool quiet) {
    qsizetype q = etx + 4;
    for (int octet = 0; octet < 2; ++octet) {
        if (q + 2 > hex.size()) return -1;
        const bool dle = OctetIs(hex, q, u"10");
        q += 2;
        if (!dle) continue;
        if (q + 2 <= hex.size()) {
            if (OctetIs(hex, q, u"00")) q += 2;  // else the stuffing octet was left out
        } else if (octet == 0 || !quiet) {
            return -1;
        }
    }
    return q;
}

Link::Link(LinkHost &host, const Settings &settings, QObject *parent)
    : QObject(parent), host_(host), settings_(settings) {
    connect(&serial_, &SerialControl::dataReceived, this, &Link::ReceiveData);
    connect(&serial_, &SerialControl::portFailed, this, &Link::onPortFailed);
}

bool Link::OpenPort() {
    openFailed_ = !serial_.open();
    if (openFailed_) {
        host_.WriteTrace(QStringLiteral("Cannot Open Port"), false);
        return false;
    }
    host_.WriteTrace(QStringLiteral("Opened ") + Visible(serial_.currentDevice()), false);
    portLost_ = false;
    answered_ = false;
    return true;
}

QString Link::NoAnswerText() {
    return QStringLiteral(
               "No answer from the phone on %1: check the cable, the port and the "
               "speed in Setup")
        .arg(Visible(serial_.currentDevice()));
}

bool Link::ClosePort() {
    if (!serial_.close()) {
        host_.WriteTrace(QStringLiteral("Cannot Close Port"), false);
        return false;
    }
    return true;
}

void Link::ReceiveData(const QByteArray &chunk) {
    answered_ = answered_ || !chunk.isEmpty();
    // An echo of a secret may come in pieces: what arrives meanwhile is traced once it is whole.
    if (!secret_.isEmpty())
        heldRx_ += chunk;
    else if (settings_.debugMode)
        host_.WriteTrace(TraceDataText(chunk, u"RX:", !settings_.pduMode), false);
    buffer_ += BytesToHex(chunk);
    if (buffer_.size() > MaxBufferDigits) {
        buffer_.remove(0, (buffer_.size() - MaxBufferDigits / 2) & ~qsizetype(1));
        ++bufferEpoch_;
    }
    scheduleWake();
}

void Link::clearBuffer() {
    buffer_.clear();
    ++bufferEpoch_;
}

milliseconds Link::scaled(int seconds) const {
    return milliseconds(std::llround(seconds * 1000.0 * timeScale_));
}

void Link::scheduleWake() {
    if (wakePending_) return;
    wakePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            wakePending_ = false;
            Q_EMIT changed();
        },
        Qt::QueuedConnection);
}

void Link::onPortFailed(const QString &reason) {
    portLost_ = true;
    host_.WriteTrace(QStringLiteral("Port failure: ") + reason, false);
    scheduleWake();
    QMetaObject::invokeMethod(this, &Link::lost, Qt::QueuedConnection);
}

QByteArray Link::masked(QByteArray data) const {
    if (secret_.isEmpty()) return data;
    data.replace('"' + secret_ + '"', QByteArrayLiteral("****"));
    data.replace(secret_, QByteArrayLiteral("****"));
    return data;
}

void Link::write(const QByteArray &data) {
    if (data.isEmpty()) return;
    serial_.output(data);
    if (settings_.debugMode)
        host_.WriteTrace(TraceDataText(masked(data), u"TX:", !settings_.pduMode), false);
}

void Link::take(qsizetype digits) {
    captured_ = buffer_.left(digits);
    buffer_.remove(0, digits);
    ++bufferEpoch_;
}

QCoro::Task<bool> Link::awaitChange(Clock::time_point deadline) {
    if (portLost_) co_return false;
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) co_return false;
    co_await NextSignal(this, &Link::changed, left);
    co_return !portLost_;
}

QCoro::Task<bool> Link::SendAndWait(QByteArray data, QByteArray expected, int seconds) {
    const auto deadline = Clock::now() + scaled(seconds);
    bool result = expected.isEmpty();
    const QString want = BytesToHex(expected);
    write(data);

    // Digits already searched are not searched again while the buffer only grows.
    qsizetype from = 0;
    quint64 epoch = bufferEpoch_;
    while (!result) {
        if (epoch != bufferEpoch_) {
            from = 0;
            epoch = bufferEpoch_;
        }
        const qsizetype j = FindAtOctetBoundary(buffer_, want, from);
        if (j >= 0) {
            captured_ = buffer_;
            buffer_.remove(0, j + want.size());
            ++bufferEpoch_;
            result = true;
            break;
        }
        from = std::max<qsizetype>(0, buffer_.size() - want.size() + 1) & ~qsizetype(1);
        if (!co_await awaitChange(deadline)) break;
    }
    co_return result;
}

QCoro::Task<bool> Link::SendAndWaitFrame(QByteArray data, int seconds) {
    const auto deadline = Clock::now() + scaled(seconds);
    write(data);
    const QString dleEtx = QStringLiteral("1003");
    std::optional<Clock::time_point> quietFrom;  // when the frame seemed whole but for stuffing
    for (;;) {
        const qsizetype etx = FindAtOctetBoundary(buffer_, dleEtx);
        if (etx >= 0) {
            const bool quiet = quietFrom && Clock::now() >= *quietFrom + StuffingGrace;
            const qsizetype end = FrameEnd(buffer_, etx, quiet);
            if (end >= 0) {
                take(end);
                co_return true;
            }
            if (FrameEnd(buffer_, etx, true) >= 0) {
                // Only the stuffing octet after a final checksum octet 0x10 is missing: give it
                // a moment, then take the frame without it.
                if (!quietFrom) quietFrom = Clock::now();
                const auto graceEnd = std::min(deadline, *quietFrom + StuffingGrace);
                if (!co_await awaitChange(graceEnd)) {
                    if (portLost_) co_return false;
                    if (Clock::now() >= deadline) {
                        take(FrameEnd(buffer_, etx, true));
                        co_return true;
                    }
                }
                continue;
            }
        }
        if (!co_await awaitChange(deadline)) co_return false;
    }
}

QCoro::Task<AtAnswer> Link::Command(QByteArray data, int seconds, AtRule rule) {
    const auto deadline = Clock::now() + scaled(seconds);
    write(data);
    AtAnswer answer;
    for (;;) {
        const QString text = QString::fromLatin1(HexToBytes(buffer_));
        bool seenInfo = rule.info.isEmpty();
        answer.lines.clear();
        qsizetype end = ForEachLine(text, [&](QStringView line) {
            answer.lines << line.toString();
            answer.line = line.toString();
            if (IsErrorLine(line)) {
                answer.kind = AtAnswer::Error;
                return true;
            }
            if (!rule.info.isEmpty() && line.startsWith(rule.info)) {
                seenInfo = true;
                answer.kind = AtAnswer::Info;
                return rule.infoEnds;
            }
            answer.kind = AtAnswer::Ok;
            // AT+CMGS answers nothing but the prompt or an error before its PDU.
            return line == u"OK" && seenInfo && !rule.prompt;
        });
        if (end < 0 && rule.prompt) {
            if (const qsizetype at = text.indexOf(u"> "); at >= 0) {
                end = at + 2;
                answer.kind = AtAnswer::Prompt;
                answer.line = QStringLiteral("> ");
            }
        }
        if (end >= 0) {
            take(2 * end);
            co_return answer;
        }
        if (!co_await awaitChange(deadline)) break;
    }
    answer = AtAnswer{};
    co_return answer;
}

QCoro::Task<AtAnswer> Link::SecretCommand(QByteArray data, QByteArray secret, int seconds,
                                          AtRule rule) {
    // Ends the masking on every way out, also when the exchange is dropped half-way.
    struct Unmask {
        Link &link;
        ~Unmask() {
            const QByteArray held = link.masked(std::exchange(link.heldRx_, {}));
            link.secret_.clear();
            if (!held.isEmpty() && link.settings_.debugMode)
                link.host_.WriteTrace(TraceDataText(held, u"RX:", !link.settings_.pduMode), false);
        }
    } unmask{*this};
    secret_ = secret;
    co_return co_await Command(std::move(data), seconds, std::move(rule));
}

QCoro::Task<> Link::Pause(int seconds) {
    const auto deadline = Clock::now() + scaled(seconds);
    while (!portLost_) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        co_await NextSignal(this, &Link::lost, left);
    }
}

QCoro::Task<> Link::YieldOnce() {
    co_await QCoro::sleepFor(milliseconds(0));
}

}  // namespace vantel
