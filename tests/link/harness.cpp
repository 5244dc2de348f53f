#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace vantel::test {

static void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) == 0) cfmakeraw(&t), tcsetattr(fd, TCSANOW, &t);
}

Tty::Tty() : fd(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd >= 0 && grantpt(fd) == 0 && unlockpt(fd) == 0) {
        slavePath = QString::fromLocal8Bit(ptsname(fd));
        MakeRaw(fd);
    } else {
        close();
    }
}

Tty::Tty(const QString &device, bool flush)
    : fd(::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd >= 0) MakeRaw(fd);
    if (fd >= 0 && flush) tcflush(fd, TCIOFLUSH);
}

bool Tty::write(const QByteArray &octets) {
    for (qsizetype done = 0, n; done < octets.size(); done += std::max<qsizetype>(n, 0)) {
        pollfd p{fd, POLLOUT, 0};
        if ((n = ::write(fd, octets.constData() + done, octets.size() - done)) < 0 &&
            (errno != EAGAIN || poll(&p, 1, 1000) <= 0))
            return false;
    }
    return true;
}

QByteArray Tty::readUntil(const std::function<bool(const QByteArray &)> &done, int ms) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ms; !done(got) && left >= 0; left = ms - clock.elapsed()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(left)) <= 0) continue;
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
            got.append(buf, n);
        if ((hungUp = p.revents & (POLLHUP | POLLERR))) break;
    }
    return got;
}

bool TestHost::AppendListFile(const QString &frame) {
    QString error;
    if (!store.AppendListFile(frame, &error)) {
        WriteTrace(SaveErrorText(MessageListFile, error), true);
        return false;
    }
    appended << frame;
    return true;
}

PhoneSim::PhoneSim(const QString &dir, const QStringList &args) : dir_(dir) {
    QFile::remove(path("com7"));
    QStringList files{u"--link"_qs, path("com7")};
    for (const char *file : {"transcript", "sent", "deleted"})
        files << u"--"_qs + QLatin1String(file) << path(file);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(VANTEL_PHONESIM), files + args);
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine() && clock.elapsed() < 5000)
        process.waitForReadyRead(100);
    ready = process.readLine().trimmed() == "ready " + path("com7").toLocal8Bit();
}

QList<PhoneSim::Chunk> PhoneSim::transcript(qsizetype txOctets) const {
    static const QRegularExpression form(u"^(\\d+) (RX|TX) ((?:[0-9A-F]{2})+)$"_qs);
    for (int tries = 0;; ++tries, usleep(10000)) {
        QList<Chunk> chunks;
        qsizetype tx = 0;
        for (const QString &line : lines("transcript")) {
            const auto m = form.match(line);
            EXPECT_TRUE(m.hasMatch()) << line;
            chunks.append({m.captured(1).toLongLong(), m.captured(2) == u"TX",
                           QByteArray::fromHex(m.captured(3).toLatin1())});
            tx += chunks.last().tx ? chunks.last().octets.size() : 0;
        }
        if (tx >= txOctets || tries > 200) return chunks;
    }
}

QString PhoneSim::received() const {
    QByteArray rx;
    for (const Chunk &c : transcript())
        rx += c.tx ? QByteArray() : c.octets;
    return BytesToHex(rx);
}

QList<QStringList> Rows(QStringView kind) {
    static const QMap<QString, QList<QStringList>> rows =
        table::KindRows("link-vectors.txt", table::Text("link-vectors.txt"), table::kLinkVectors);
    EXPECT_FALSE(rows.value(kind.toString()).isEmpty()) << "no rows " << kind.toString();
    return rows.value(kind.toString());
}

QStringList Words(QStringView text) {
    QStringList words;
    for (QStringView w : text.split(u' ', Qt::SkipEmptyParts))
        words << QString::fromLatin1(Octets(w));
    return words;
}

}  // namespace vantel::test
