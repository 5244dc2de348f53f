// The phone link: the serial port opened around each exchange, the hex receive buffer that
// collects everything the phone sends, and the send-and-wait transaction every exchange is
// built from.
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>

#include "link/serialcontrol.h"

namespace vantel {

class LinkHost;
struct Settings;

// 0-based position of the first occurrence of needle in hex that starts on an octet boundary
// (an even 0-based position), searching from the even position `from`; -1 when none.
qsizetype FindAtOctetBoundary(QStringView hex, QStringView needle, qsizetype from = 0);

// 0-based end (one past the last digit) of the Block-mode frame whose DLE ETX starts at the
// even digit `etx` of hex: after its two checksum octets and their stuffing. -1 while octets
// are still missing. A final checksum octet 0x10 whose stuffing octet has not come counts as
// the end only once `quiet` is set (the phone may have left the stuffing out).
qsizetype FrameEnd(QStringView hex, qsizetype etx, bool quiet);

// The answer to an AT command, as Link::Command reads it.
struct AtAnswer {
    enum Kind {
        Ok,        // "OK" (after the information line, when one was asked for)
        Info,      // the information line asked for, when it ends the wait
        Prompt,    // "> ", when asked for
        Error,     // "ERROR", "+CMS ERROR: n" or "+CME ERROR: n"
        TimedOut,  // nothing that ends the wait came in time (or the port failed)
    };
    Kind kind = TimedOut;
    QString line;       // the line that ended the wait
    QStringList lines;  // every non-empty line received up to it, the line included
};

// What ends the wait for an AT command's answer. Lines that do not end it (unsolicited result
// codes such as "+CMTI: ...", "RING", the echo of the command, a late "OK" of an earlier
// command) are passed over.
struct AtRule {
    QString info;           // an information line starting with this comes first ("+CPMS:")
    bool infoEnds = false;  // ...and ends the wait itself ("+CMGS:")
    bool prompt = false;    // the "> " of AT+CMGS ends the wait

    static AtRule AfterInfo(QString info) { return {std::move(info), false, false}; }
    static AtRule UntilInfo(QString info) { return {std::move(info), true, false}; }
    static AtRule UntilPrompt() { return {QString(), false, true}; }
};

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
    // Writes data and waits until a whole Block-mode frame, checksum and stuffing included, is
    // in the buffer. The captured response then ends with that frame, and the buffer keeps
    // what followed it.
    QCoro::Task<bool> SendAndWaitFrame(QByteArray data, int seconds);
    // Writes an AT command and reads lines until its own final result (see AtRule). The
    // captured response then ends with the line that ended the wait.
    QCoro::Task<AtAnswer> Command(QByteArray data, int seconds, AtRule rule = {});
    // Command for a line that carries a secret (a PIN): the trace shows "****" in its place,
    // in what is written and in what the phone sends back (its echo) until the answer is in.
    QCoro::Task<AtAnswer> SecretCommand(QByteArray data, QByteArray secret, int seconds,
                                        AtRule rule = {});
    // Lets other events run for `seconds` (ends early when the port fails).
    QCoro::Task<> Pause(int seconds);
    // Lets pending events run once.
    QCoro::Task<> YieldOnce();

    QString buffer() const { return buffer_; }
    QString captured() const { return captured_; }
    void clearBuffer();

    // The port failed since it was last opened: the running exchange must end.
    bool portLost() const { return portLost_; }
    // Whether the phone sent anything since the port was opened.
    bool answered() const { return answered_; }
    // Whether the last OpenPort failed.
    bool openFailed() const { return openFailed_; }
    // "No answer from the phone on <device>: check the cable, the port and the speed in Setup"
    QString NoAnswerText();

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
    void write(const QByteArray &data);
    void take(qsizetype digits);
    // Waits for a change of the buffer until `deadline`; false once it has passed or the port
    // failed.
    QCoro::Task<bool> awaitChange(std::chrono::steady_clock::time_point deadline);
    void scheduleWake();
    void onPortFailed(const QString &reason);

    // What the trace shows of octets while a secret is on the line.
    QByteArray masked(QByteArray data) const;

    LinkHost &host_;
    const Settings &settings_;
    QByteArray secret_;  // while not empty, received octets are traced together, masked
    QByteArray heldRx_;
    SerialControl serial_;
    QString buffer_;
    QString captured_;
    quint64 bufferEpoch_ = 0;  // bumped whenever digits leave the buffer
    bool portLost_ = false;
    bool answered_ = false;
    bool openFailed_ = false;
    bool wakePending_ = false;
    double timeScale_ = 1.0;
};

}  // namespace vantel
