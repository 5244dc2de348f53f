// The simulated phone driven over its pseudo-terminal, octet by octet, the way a client sees it.
// The plain dialogues are in tests/data/phonesim-sessions.txt.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "../link/textdata.h"

namespace vantel::test {
namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kCsq = "\r\n+CSQ: 20,99\r\n" + kOk;

class Port {
public:
    ~Port() { Close(); }
    bool Open(const QString &path, bool flush = true) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) return false;
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
        if (flush) tcflush(fd_, TCIOFLUSH);
        return true;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void Write(const QByteArray &octets) {
        for (qsizetype done = 0; done < octets.size();) {
            const ssize_t n = ::write(fd_, octets.constData() + done, size_t(octets.size() - done));
            pollfd p{fd_, POLLOUT, 0};
            if (n > 0)
                done += n;
            else if (poll(&p, 1, 1000) <= 0)
                return;
        }
    }
    // Reads until `done` holds for what arrived or `ms` have passed, or the line hangs up.
    QByteArray ReadUntil(const std::function<bool(const QByteArray &)> &done, int ms = 5000) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (!done(got) && clock.elapsed() < ms) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int(std::max<qint64>(1, ms - clock.elapsed()))) <= 0) continue;
            if ((hungUp = p.revents & (POLLHUP | POLLERR))) break;
            char buffer[4096];
            if (const ssize_t n = ::read(fd_, buffer, sizeof buffer); n > 0) got.append(buffer, n);
        }
        return got;
    }
    QByteArray ReadFor(int ms) {
        return ReadUntil([](const QByteArray &) { return false; }, ms);
    }
    QByteArray ReadOctets(qsizetype count, int ms = 3000) {
        return ReadUntil([count](const QByteArray &b) { return b.size() >= count; }, ms);
    }
    // An AT command line and its answer up to the final result code or the "> " prompt.
    QByteArray Command(const QByteArray &line) {
        Write(line + '\r');
        static const QRegularExpression final(
            u"(\r\n(OK|ERROR|\\+CMS ERROR: \\d+)\r\n|\r\n> )$"_qs);
        return ReadUntil(
            [](const QByteArray &b) { return final.match(QString::fromLatin1(b)).hasMatch(); });
    }
    bool hungUp = false;

private:
    int fd_ = -1;
};

class Sim {
public:
    explicit Sim(const QStringList &args) {
        for (const char *file : {"link", "transcript", "sent", "deleted"})
            args_ << u"--"_qs + QLatin1String(file) << path(file);
        args_ += args;
    }
    ~Sim() {
        port.Close();
        process.terminate();
        process.waitForFinished(3000);
    }
    QString path(const char *file) const { return dir_.filePath(QLatin1String(file)); }
    // Starts the phone, waits for its "ready" line and opens the link.
    bool Start() {
        process.start(QStringLiteral(PHONESIM_BINARY), args_);
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < 5000)
            process.waitForReadyRead(100);
        return process.readLine().trimmed() == "ready " + path("link").toLocal8Bit() &&
               port.Open(path("link"));
    }
    QStringList Lines(const char *file) const {
        QFile f(path(file));
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromLatin1(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    }
    struct Chunk {
        qint64 ms = -1;
        bool tx = false;
        QByteArray octets;
    };
    // The transcript ("<ms> RX|TX <hex>" lines), once it holds at least `txOctets` sent octets
    // (the phone writes its line just after the octets) or after two seconds.
    QList<Chunk> Transcript(qsizetype txOctets) const {
        static const QRegularExpression form(u"^(\\d+) (RX|TX) ((?:[0-9A-F]{2})+)$"_qs);
        QElapsedTimer clock;
        clock.start();
        for (QList<Chunk> chunks;; chunks.clear(), usleep(10000)) {
            qsizetype tx = 0;
            for (const QString &line : Lines("transcript")) {
                const auto m = form.match(line);
                EXPECT_TRUE(m.hasMatch()) << line.toStdString();
                chunks.append({m.captured(1).toLongLong(), m.captured(2) == u"TX",
                               QByteArray::fromHex(m.captured(3).toLatin1())});
                tx += chunks.last().tx ? chunks.last().octets.size() : 0;
            }
            if (tx >= txOctets || clock.elapsed() > 2000) return chunks;
        }
    }

    Port port;
    QProcess process;

private:
    QTemporaryDir dir_;
    QStringList args_;
};

QString Hex(const QByteArray &b) {
    return QString::fromLatin1(b.toHex().toUpper());
}

class Sessions : public ::testing::TestWithParam<Record> {};

TEST_P(Sessions, AnswerOctetForOctet) {
    QStringList args, config, sent, deleted;
    for (const QString &line : GetParam().lines) {
        const QString key = line.section(u' ', 0, 0), rest = line.section(u' ', 1);
        if (key == u"phone") args = Words(rest);
        if (key == u"config") config << rest;
        if (key == u"sent") sent << rest;
        if (key == u"deleted") deleted << rest;
    }
    QTemporaryDir dir;
    const QString configFile = dir.filePath(u"phone.conf"_qs);
    QFile f(configFile);
    if (!config.isEmpty() && f.open(QIODevice::WriteOnly) && f.write(config.join(u'\n').toUtf8()))
        args << u"--config"_qs << configFile;
    f.close();
    Sim sim(args);
    ASSERT_TRUE(sim.Start());
    bool wrote = false;
    for (const QString &line : GetParam().lines) {
        const QByteArray octets = Octets(QStringView(line).mid(2));
        if (line.startsWith(u'>')) {
            if (wrote) usleep(20000);
            sim.port.Write(octets);
        } else if (line.startsWith(u'<')) {
            const QByteArray got =
                octets.isEmpty() ? sim.port.ReadFor(300) : sim.port.ReadOctets(octets.size());
            EXPECT_EQ(Hex(got), Hex(octets)) << line.toStdString();
        }
        wrote = line.startsWith(u'>');
    }
    EXPECT_EQ(sim.Lines("sent"), sent);
    EXPECT_EQ(sim.Lines("deleted"), deleted);
}

INSTANTIATE_TEST_SUITE_P(Phonesim, Sessions,
                         ::testing::ValuesIn(Records("phonesim-sessions.txt", u"session")),
                         [](const auto &info) { return info.param.name.toStdString(); });

TEST(Phonesim, BadOptionsAreRefused) {
    for (const char *args : {"", "--link", "--delay-ms soon", "--message XX,0,00",
                             "--message ME,0,0G", "--message ME,0,00,31", "--baud fast",
                             "--late AT", "--late CPMS,100", "--babble loud", "--bogus"}) {
        QProcess p;
        const QString line = (*args && strcmp(args, "--link") ? "--link x " : "") + QString(args);
        p.start(QStringLiteral(PHONESIM_BINARY), line.split(u' ', Qt::SkipEmptyParts));
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << args;
    }
}

// Pieces as written: at most `piece` octets each, and with --baud no faster than the line. The
// transcript holds every octet both ways, in time order.
TEST(Phonesim, AnswersGoInPiecesOfTheGivenSizeAndAllIntoTheTranscript) {
    const QByteArray cmgl =
        "\r\n+CMGL: 1,0,,20\r\n00040B911234567890F000004230510103004001C1\r\n" + kOk;
    struct Case {
        QStringList args;
        QList<QByteArray> lines;
        QByteArray answers;
        int piece;
        int minSpanMs;  // first to last piece
    } cases[] = {
        {{"--chunk", "3"}, {"AT+CSQ"}, kCsq, 3, 0},
        // The prompt and the final result lines are split too.
        {{"--chunk", "1"},
         {"AT+CMGS=14", "110005912143F50000A70361F118\x1A"},
         "\r\n> \r\n+CMGS: 1\r\n" + kOk,
         1,
         0},
        {{"--chunk", "3", "--baud", "1200"}, {"AT+CSQ"}, kCsq, 3, 150},
        {{"--baud", "19200", "--no-samples", "--message",
          "ME,0,00040B911234567890F000004230510103004001C1"},
         {"AT+CMGL=4"},
         cmgl,
         1,
         int(cmgl.size() - 1) * 10 * 1000 / 19200 - 1},
        {{"--echo"}, {"AT", "AT*T"}, "AT\r" + kOk + "AT*T\r" + kOk, 99, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        Sim sim(c.args);
        ASSERT_TRUE(sim.Start());
        QByteArray got, rx, tx;
        for (const QByteArray &line : c.lines)
            got += sim.port.Command(line);
        EXPECT_EQ(got, c.answers);
        qint64 first = -1, last = 0;
        for (const Sim::Chunk &chunk : sim.Transcript(c.answers.size())) {
            ASSERT_GE(chunk.ms, last);
            (chunk.tx ? tx : rx) += chunk.octets;
            if (!chunk.tx) continue;
            EXPECT_LE(chunk.octets.size(), c.piece);
            if (first < 0) first = chunk.ms;
            last = chunk.ms;
        }
        EXPECT_EQ(rx, c.lines.join('\r') + '\r');
        EXPECT_EQ(tx, c.answers);
        EXPECT_GE(last - first, c.minSpanMs);
    }
}

TEST(Phonesim, GarbageComesBeforeEveryAnswer) {
    Sim sim({"--garbage", "5"});
    ASSERT_TRUE(sim.Start());
    const QByteArray frame = Octets(
        u"0x100221063801000791947101670000040C919471123254760000423051"
        u"010300401EC8329BFD0699E5EF36888E2E83E6E9769D1DA697C92038FA"
        u"ED2E031003EB4B");
    const std::pair<QByteArray, QByteArray> steps[] = {
        {"AT\r", kOk}, {"AT*T\r", kOk}, {QByteArray::fromHex("1002031003FFFD"), frame}};
    for (const auto &[ask, answer] : steps) {
        sim.port.Write(ask);
        const QByteArray got = sim.port.ReadOctets(5 + answer.size());
        EXPECT_EQ(got.size(), 5 + answer.size());
        EXPECT_EQ(Hex(got.mid(5)), Hex(answer));
    }
}

TEST(Phonesim, BabbleFillsTheQuietLineAfterTheFirstCommand) {
    for (const char *mode : {"nul", "garbage"}) {
        SCOPED_TRACE(mode);
        Sim sim({"--babble", mode, "--seed", "7"});
        ASSERT_TRUE(sim.Start());
        EXPECT_EQ(sim.port.ReadFor(100), QByteArray());
        sim.port.Write("AT+CSQ\r");
        const QByteArray got = sim.port.ReadFor(500);
        ASSERT_TRUE(got.startsWith(kCsq));  // answers stay whole
        const QByteArray babble = got.mid(kCsq.size());
        EXPECT_GE(babble.size(), 100);
        EXPECT_FALSE(babble.contains("\x10\x03") || babble.contains("OK"));
        EXPECT_TRUE(strcmp(mode, "nul") || babble == QByteArray(babble.size(), '\0'));
        sim.port.Write("AT+CSQ\r");
        EXPECT_TRUE(sim.port.ReadFor(300).contains(kCsq));
    }
}

// Pulled cable (--vanish-after) or termination: the link goes with the phone.
TEST(Phonesim, LinkGoesWithThePhone) {
    for (const bool vanish : {true, false}) {
        Sim sim(vanish ? QStringList{"--vanish-after", "2"} : QStringList());
        ASSERT_TRUE(sim.Start());
        EXPECT_TRUE(QFileInfo(sim.path("link")).isSymLink());
        EXPECT_EQ(sim.port.Command("AT"), kOk);
        if (vanish) {
            EXPECT_EQ(sim.port.Command("AT"), kOk);
            sim.port.Write("AT\r");
            EXPECT_EQ(sim.port.ReadFor(2000), QByteArray());
            EXPECT_TRUE(sim.port.hungUp);
        } else {
            sim.process.terminate();
        }
        ASSERT_TRUE(sim.process.waitForFinished(3000));
        EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.process.exitCode(), 0);
        EXPECT_FALSE(QFileInfo::exists(sim.path("link")) ||
                     QFileInfo(sim.path("link")).isSymLink());
    }
}

// Opens and closes, an answer to a closed port (lost as on a real line, but in the transcript),
// and garbage driving every state machine: the phone goes on answering.
TEST(Phonesim, SurvivesClientsComingGoingAndTalkingGarbage) {
    Sim sim({"--delay-ms", "50"});
    ASSERT_TRUE(sim.Start());
    sim.port.Write("AT+CGMI\r");
    sim.port.Close();
    for (int i = 0; i < 50; ++i) {
        Port p;
        if (i == 0) usleep(300000);
        ASSERT_TRUE(p.Open(sim.path("link"), i > 0)) << i;
        if (i == 0) {
            EXPECT_EQ(p.ReadFor(200), QByteArray());  // the answer went to the closed port
        }
        if (i % 10 == 0) {
            EXPECT_EQ(p.Command("AT"), kOk) << i;
        }
    }
    QByteArray tx;
    for (const Sim::Chunk &c : sim.Transcript(22))
        tx += c.tx ? c.octets : QByteArray();
    EXPECT_TRUE(tx.startsWith("\r\nPhonesim\r\n" + kOk + kOk));
    ASSERT_TRUE(sim.port.Open(sim.path("link")));
    quint32 x = 2463534242u;
    for (int round = 0; round < 4; ++round) {
        QByteArray junk;
        for (int i = 0; i < 16384; ++i) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            junk.append(char(x & 0xFF));
        }
        junk += QByteArray("\x10\x02\x10\x10\x03\x10\x1A\x1B\x10", 9) + QByteArray(5000, 'A');
        if (round == 1) sim.port.Write("AT*T\r");
        if (round == 2) sim.port.Write("AT+CMGS=20\r");
        sim.port.Write(junk);
        sim.port.ReadFor(200);
        // Whatever state it is in: end a PDU, leave Block mode, then a plain command.
        sim.port.Write("\x1B\r");
        sim.port.ReadFor(200);
        EXPECT_TRUE(sim.port.Command("AT").endsWith(kOk)) << round;
    }
    EXPECT_EQ(sim.port.Command("AT+CGMI"), "\r\nPhonesim\r\n" + kOk);
}

}  // namespace
}  // namespace vantel::test
