#include "link/link.h"

#include <QCoroSignal>
#include <QCoroTimer>
#include <QMetaObject>
#include <QTimer>
#include <cmath>

#include "app/settingsfile.h"
#include "link/host.h"
#include "link/trace.h"
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

// Resumes on `signal` of `link`, or after `left` at the latest. The time-out is kept by a precise
// timer that raises the same signal: Qt's default coarse timers would end a 10-second wait up
// to half a second late. A waiter always looks again at what woke it, so an early wake-up
// costs nothing.
QCoro::Task<> WakeOn(Link *link, void (Link::*signal)(), milliseconds left) {
    QTimer deadline;
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, link, signal);
    deadline.start(left);
    co_await qCoro(link, signal);
}

}  // namespace

Link::Link(LinkHost &host, const Settings &settings, QObject *parent)
    : QObject(parent), host_(host), settings_(settings) {
    connect(&serial_, &SerialControl::dataReceived, this, &Link::ReceiveData);
    connect(&serial_, &SerialControl::portFailed, this, &Link::onPortFailed);
}

bool Link::OpenPort() {
    if (!serial_.open()) {
        host_.WriteTrace(QStringLiteral("Cannot Open Port"), false);
        return false;
    }
    portLost_ = false;
    return true;
}

bool Link::ClosePort() {
    if (!serial_.close()) {
        host_.WriteTrace(QStringLiteral("Cannot Close Port"), false);
        return false;
    }
    return true;
}

void Link::ReceiveData(const QByteArray &chunk) {
    if (settings_.debugMode)
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

QCoro::Task<bool> Link::SendAndWait(QByteArray data, QByteArray expected, int seconds) {
    const auto deadline = Clock::now() + scaled(seconds);
    bool result = expected.isEmpty();
    const QString want = BytesToHex(expected);

    if (!data.isEmpty()) {
        serial_.output(data);
        if (settings_.debugMode)
            host_.WriteTrace(TraceDataText(data, u"TX:", !settings_.pduMode), false);
    }

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
        if (portLost_) break;
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        co_await WakeOn(this, &Link::changed, left);
    }
    co_return result;
}

QCoro::Task<> Link::Pause(int seconds) {
    const auto deadline = Clock::now() + scaled(seconds);
    while (!portLost_) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        co_await WakeOn(this, &Link::lost, left);
    }
}

QCoro::Task<> Link::YieldOnce() {
    co_await QCoro::sleepFor(milliseconds(0));
}

}  // namespace vantel
