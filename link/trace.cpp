#include "link/trace.h"

#include <QFile>

#include "app/settingsfile.h"
#include "pdu/primitives.h"

namespace vantel {

QString TraceDataText(QByteArrayView data, QStringView prefix, bool asHex) {
    return prefix.toString() + (asHex ? BytesToHex(data) : FromAnsi(data));
}

QString Visible(QStringView text) {
    QString out;
    const QStringView shown = text.left(MaxOutsideChars);
    out.reserve(shown.size());
    for (QChar c : shown) {
        const char16_t u = c.unicode();
        // C0 and C1 controls, DEL, and the Unicode line and paragraph separators.
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029)
            out += u'<' + QString::number(u, 16).toUpper().rightJustified(2, u'0') + u'>';
        else
            out += c;
    }
    if (text.size() > MaxOutsideChars) out += u"...";
    return out;
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

    if (toLog) appendLog(text);
}

void Trace::TraceData(QByteArrayView data, QStringView prefix, bool asHex) {
    WriteTrace(TraceDataText(data, prefix, asHex), false);
}

void Trace::appendLog(const QString &text) {
    QFile log(logPath());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        WriteTrace(QStringLiteral("Problem opening log file"), false);
        return;
    }
    const QByteArray line = ToAnsi(clock_().toString(QStringLiteral("yy-MM-dd hh:mm:ss")) + u' ' +
                                   text + LineBreak.toString());
    if (log.write(line) == line.size()) {
        writeFailing_ = false;
        return;
    }
    // Said once while the failure lasts: a full disk would otherwise double every line.
    if (!writeFailing_)
        WriteTrace(QStringLiteral("Problem writing log file: ") + log.errorString(), false);
    writeFailing_ = true;
}

}  // namespace vantel
