// The phone link: the serial port opened around each exchange, the hex receive buffer that
// collects everything the phone sends, and the send-and-wait transaction every exchange is
// built from.
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QString>
#include <chrono>

#include "link/serialcontrol.h"

namespace vantel {

class LinkHost;
struct Settings;

// 0-based position of the first occurrence of needle in hex that starts on an octet boundary
// (an even 0-based position), searching from the even position `from`; -1 when none.
qsizetype FindAtOctetBoundary(QStringView hex, QStringView needle, qsizetype from = 0);

class Link : public QObject {
    Q_OBJECT
public:
    // Received hex beyond this many digits loses its oldest half (a flooding line).
    static constexpr qsizetype MaxBufferDigits = 1 << 22;

    Link(LinkHost &host, const Settings &settings, QObject *parent = nullptr);

    SerialControl &serial() { return serial_; }

    // "Cannot Open Port" / "Cannot Close Port" on failure.
    bool OpenPort();
    bool ClosePort();
    // One chunk from the line: "RX:" trace line in debug mode, then appended as hex.
    void ReceiveData(const QByteArray &chunk);

    // Writes data (when not empty) and waits until `expected` shows up in the receive buffer
    // on an octet boundary, or `seconds` have passed, or the port failed. On a match the whole
    // buffer becomes the captured response and the buffer keeps only what followed the match.
    // An empty `expected` matches at once.
    QCoro::Task<bool> SendAndWait(QByteArray data, QByteArray expected, int seconds);
    // Lets other events run for `seconds` (ends early when the port fails).
    QCoro::Task<> Pause(int seconds);
    // Lets pending events run once.
    QCoro::Task<> YieldOnce();

    QString buffer() const { return buffer_; }
    QString captured() const { return captured_; }
    void clearBuffer();

    // The port failed since it was last opened: the running exchange must end.
    bool portLost() const { return portLost_; }

    // Test seam: every pause and time-out lasts `scale` times its nominal length.
    void setTimeScale(double scale) { timeScale_ = scale; }
    double timeScale() const { return timeScale_; }

Q_SIGNALS:
    // Data arrived or the port failed (delivered from the event loop, never from inside the
    // serial port's own signal).
    void changed();
    void lost();

private:
    std::chrono::milliseconds scaled(int seconds) const;
    void scheduleWake();
    void onPortFailed(const QString &reason);

    LinkHost &host_;
    const Settings &settings_;
    SerialControl serial_;
    QString buffer_;
    QString captured_;
    quint64 bufferEpoch_ = 0;  // bumped whenever digits leave the buffer
    bool portLost_ = false;
    bool wakePending_ = false;
    double timeScale_ = 1.0;
};

}  // namespace vantel
