// One JSON object on one line, keys in the order they are added (scripts and people read the
// fields in the order of the documentation).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vantel {

class JsonLine {
public:
    JsonLine &add(QStringView key, QStringView text);
    JsonLine &add(QStringView key, bool value);
    // Ends this object; the keys added next go into another one on the next line.
    void next();
    // "{...}" followed by a line feed for each object, UTF-8.
    QByteArray finish() const;

private:
    void key(QStringView name);
    QString done_;  // the objects ended by next(), each with its line feed
    QString body_;
};

// `text` as a JSON string literal: control characters (CR LF among them), C1 controls and the
// line and paragraph separators escaped, everything else kept as it is.
QString JsonQuoted(QStringView text);
void AppendJsonQuoted(QString &out, QStringView text);

}  // namespace vantel
