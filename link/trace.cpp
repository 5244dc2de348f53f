#include "link/trace.h"

#include <QFile>

#include "app/settingsfile.h"
#include "pdu/primitives.h"

namespace vantel {

QString TraceDataText(QByteArrayView data, QStringView prefix, bool asHex) {
    return prefix.toString() + (asHex ? BytesToHex(data) : FromAnsi(data));
}

Trace::Trace(const Settings &settings, QDir logDir, QObject *parent)
    : QObject(parent),
      settings_(settings),
      logDir_(std::move(logDir)),
      clock_([] { return QDateTime::currentDateTime(); }) {}

QString Trace::logPath() const {
    return logDir_.filePath(QStringLiteral("vantel.log"));
}

void Trace::WriteTrace(const QString &text, bool toLog) {
    QString line;
    if (settings_.debugMode) line = clock_().toString(QStringLiteral("hh:mm:ss")) + u' ';
    line += text;
    line += LineBreak.toString();
    text_ += line;
    if (text_.size() > Capacity) text_.remove(0, text_.size() - Capacity);
    Q_EMIT textChanged(text_);

    if (toLog && !appendLog(text)) WriteTrace(QStringLiteral("Problem opening log file"), false);
}

void Trace::TraceData(QByteArrayView data, QStringView prefix, bool asHex) {
    WriteTrace(TraceDataText(data, prefix, asHex), false);
}

bool Trace::appendLog(const QString &text) {
    QFile log(logPath());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const QString line =
        clock_().toString(QStringLiteral("yy-MM-dd hh:mm:ss")) + u' ' + text + LineBreak.toString();
    log.write(ToAnsi(line));
    log.close();
    return true;
}

}  // namespace vantel
