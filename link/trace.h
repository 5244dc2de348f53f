// The trace window's text and the log file "vantel.log". No widgets: the main window shows
// text() in its trace window and follows textChanged().
#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QDir>
#include <QObject>
#include <QString>
#include <functional>

namespace vantel {

struct Settings;

// prefix followed directly by the data: as upper-case hex pairs when asHex, else the octets
// as Windows-1252 characters.
QString TraceDataText(QByteArrayView data, QStringView prefix, bool asHex);

// Text that came from outside (queue entries, D-Bus strings, what the phone sends in a text
// line) as it may stand in a trace or log line: control characters shown as "<0D>", at most
// MaxOutsideChars characters of it, and "..." where it was cut. Nothing it returns can start a
// line of its own.
inline constexpr qsizetype MaxOutsideChars = 200;
QString Visible(QStringView text);

class Trace : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype Capacity = 16000;
    using Clock = std::function<QDateTime()>;

    // Lines carry "hh:mm:ss " while settings.debugMode is on; the log lives in logDir.
    explicit Trace(const Settings &settings, QDir logDir = QDir(), QObject *parent = nullptr);

    // Appends text and CR LF (the oldest characters go beyond Capacity) and, when toLog,
    // appends "yy-mm-dd hh:mm:ss text" CR LF to "vantel.log".
    void WriteTrace(const QString &text, bool toLog);
    void TraceData(QByteArrayView data, QStringView prefix, bool asHex);

    QString text() const { return text_; }
    QString logPath() const;
    // Replaces the wall clock (tests).
    void setClock(Clock clock) { clock_ = std::move(clock); }

Q_SIGNALS:
    void textChanged(const QString &text);

private:
    void appendLog(const QString &text);

    const Settings &settings_;
    QDir logDir_;
    QString text_;
    Clock clock_;
    bool writeFailing_ = false;
};

}  // namespace vantel
