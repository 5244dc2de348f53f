#include "phone.h"

#include <QDir>
#include <QFile>

namespace vantel::test {

PhoneSim::PhoneSim(const QString &dir, const QStringList &args) : dir_(dir) {
    QDir d(dir);
    d.remove(QStringLiteral("com7"));
    QStringList all{QStringLiteral("--link"),       d.filePath(QStringLiteral("com7")),
                    QStringLiteral("--transcript"), d.filePath(QStringLiteral("phone.log")),
                    QStringLiteral("--sent"),       d.filePath(QStringLiteral("sent.txt"))};
    all += args;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VANTEL_PHONESIM), all);
    QByteArray out;
    while (process_.waitForReadyRead(5000)) {
        out += process_.readAllStandardOutput();
        if (out.contains("ready ")) {
            ready_ = true;
            break;
        }
    }
}

PhoneSim::~PhoneSim() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
    }
    process_.waitForFinished(1000);
}

QString PhoneSim::received() const {
    QFile f(QDir(dir_).filePath(QStringLiteral("phone.log")));
    QString hex;
    if (!f.open(QIODevice::ReadOnly)) return hex;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() == 3 && words[1] == "RX") hex += QString::fromLatin1(words[2]);
    }
    return hex;
}

QStringList PhoneSim::sent() const {
    QFile f(QDir(dir_).filePath(QStringLiteral("sent.txt")));
    QStringList lines;
    if (!f.open(QIODevice::ReadOnly)) return lines;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) lines << QString::fromLatin1(line.trimmed());
    return lines;
}

}  // namespace vantel::test
