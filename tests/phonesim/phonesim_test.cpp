// The simulated phone driven over its pseudo-terminal, octet by octet, the way a client sees it.
// The plain dialogues are in tests/data/phonesim-sessions.txt.
#include <unistd.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <cstring>

#include "../link/harness.h"

namespace vantel::test {
namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kCsq = "\r\n+CSQ: 20,99\r\n" + kOk;

// The phone in a scratch folder, and a client on its line.
struct Sim {
    explicit Sim(const QStringList &args) : phone(dir.path(), args), port(phone.path("com7")) {}
    bool ok() const { return phone.ready && port.ok(); }
    QTemporaryDir dir;
    PhoneSim phone;
    Tty port;
};

// An AT command line and its answer up to the final result code or the "> " prompt.
QByteArray Command(Tty &port, const QByteArray &line) {
    static const QRegularExpression final(u"(\r\n(OK|ERROR|\\+CMS ERROR: \\d+)\r\n|\r\n> )$"_qs);
    port.write(line + '\r');
    return port.readUntil(
        [](const QByteArray &b) { return final.match(QString::fromLatin1(b)).hasMatch(); }, 5000);
}

struct Chunk {
    qint64 ms = -1;
    bool tx = false;
    QByteArray octets;
};

// The transcript ("<ms> RX|TX <hex>" lines), once it holds at least `txOctets` sent octets (the
// phone writes its line just after the octets) or after two seconds.
QList<Chunk> Transcript(const PhoneSim &phone, qsizetype txOctets) {
    static const QRegularExpression form(u"^(\\d+) (RX|TX) ((?:[0-9A-F]{2})+)$"_qs);
    for (int tries = 0;; ++tries, usleep(10000)) {
        QList<Chunk> chunks;
        qsizetype tx = 0;
        for (const QString &line : phone.lines("transcript")) {
            const auto m = form.match(line);
            EXPECT_TRUE(m.hasMatch()) << line.toStdString();
            chunks.append({m.captured(1).toLongLong(), m.captured(2) == u"TX",
                           QByteArray::fromHex(m.captured(3).toLatin1())});
            tx += chunks.last().tx ? chunks.last().octets.size() : 0;
        }
        if (tx >= txOctets || tries > 200) return chunks;
    }
}

class Sessions : public ::testing::TestWithParam<Record> {};

TEST_P(Sessions, AnswerOctetForOctet) {
    QStringList args, config, files[2];
    int piece = 4096, minSpanMs = 0;
    for (const QString &line : GetParam().lines) {
        const QString key = line.section(u' ', 0, 0), rest = line.section(u' ', 1);
        if (key == u"phone") args = Words(rest);
        if (key == u"config") config << rest;
        if (key == u"sent" || key == u"deleted") files[key == u"deleted"] << rest;
        if (key == u"pieces") piece = rest.section(u' ', 0, 0).toInt();
        if (key == u"pieces") minSpanMs = rest.section(u' ', 1).toInt();
        if (key == u"refused") {
            QProcess p;
            p.start(QStringLiteral(VANTEL_PHONESIM), Words(rest));
            EXPECT_TRUE(p.waitForFinished(5000) && p.exitCode() == 2) << rest.toStdString();
        }
    }
    if (GetParam().lines.first().startsWith(u"refused")) return;
    QTemporaryDir dir;
    QFile conf(dir.filePath(u"phone.conf"_qs));
    if (!config.isEmpty() && conf.open(QIODevice::WriteOnly) &&
        conf.write(config.join(u'\n').toUtf8()))
        args << u"--config"_qs << conf.fileName();
    conf.close();
    Sim sim(args);
    ASSERT_TRUE(sim.ok());
    QByteArray written, read;
    QString last;
    for (const QString &line : GetParam().lines) {
        const bool wrote = !written.isEmpty() && last.startsWith(u'>');
        last = line;
        const int any = line.startsWith(u"<?") ? line.section(u' ', 1, 1).toInt() : 0;
        const QByteArray octets = Octets(any ? line.section(u' ', 2) : line.mid(2));
        if (line.startsWith(u'>')) {
            if (wrote) usleep(20000);  // writes in a row go out 20 ms apart
            sim.port.write(octets);
            written += octets;
        } else if (line.startsWith(u'<')) {
            const qsizetype size = any + octets.size();
            const QByteArray got = sim.port.readUntil(
                [&](const QByteArray &b) { return size && b.size() >= size; }, size ? 3000 : 300);
            EXPECT_EQ(got.size(), size) << line.toStdString();
            EXPECT_EQ(Hex(got.mid(any)), Hex(octets)) << line.toStdString();
            read += got;
        } else if (line == u"terminate") {
            sim.phone.process.terminate();
        } else if (line == u"gone") {  // the phone ended, hung up and took its link with it
            EXPECT_TRUE(sim.phone.process.waitForFinished(3000));
            EXPECT_EQ(sim.phone.process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(sim.phone.process.exitCode(), 0);
            sim.port.readFor(100);
            EXPECT_TRUE(sim.port.hungUp);
            EXPECT_FALSE(QFileInfo(sim.phone.path("com7")).isSymLink());
        }
    }
    EXPECT_EQ(sim.phone.lines("sent"), files[0]);
    EXPECT_EQ(sim.phone.lines("deleted"), files[1]);
    // The transcript holds every octet both ways, in time order, the answers in pieces of at
    // most `piece` octets and no faster than the line.
    QByteArray rx, tx;
    qint64 first = -1, latest = 0;
    for (const Chunk &chunk : Transcript(sim.phone, read.size())) {
        EXPECT_GE(chunk.ms, latest);
        (chunk.tx ? tx : rx) += chunk.octets;
        if (!chunk.tx) continue;
        EXPECT_LE(chunk.octets.size(), piece);
        latest = chunk.ms;
        first = first < 0 ? latest : first;
    }
    EXPECT_EQ(Hex(rx), Hex(written));
    EXPECT_EQ(Hex(tx), Hex(read));
    EXPECT_GE(latest - first, minSpanMs);
}

INSTANTIATE_TEST_SUITE_P(Phonesim, Sessions,
                         ::testing::ValuesIn(Records("phonesim-sessions.txt", u"session")),
                         [](const auto &info) { return info.param.name.toStdString(); });

TEST(Phonesim, BabbleFillsTheQuietLineAfterTheFirstCommand) {
    for (const char *mode : {"nul", "garbage"}) {
        SCOPED_TRACE(mode);
        Sim sim({"--babble", mode, "--seed", "7"});
        ASSERT_TRUE(sim.ok());
        EXPECT_EQ(sim.port.readFor(100), QByteArray());
        sim.port.write("AT+CSQ\r");
        const QByteArray got = sim.port.readFor(500);
        ASSERT_TRUE(got.startsWith(kCsq));  // answers stay whole
        const QByteArray babble = got.mid(kCsq.size());
        EXPECT_GE(babble.size(), 100);
        EXPECT_FALSE(babble.contains("\x10\x03") || babble.contains("OK"));
        EXPECT_TRUE(strcmp(mode, "nul") || babble == QByteArray(babble.size(), '\0'));
        sim.port.write("AT+CSQ\r");
        EXPECT_TRUE(sim.port.readFor(300).contains(kCsq));
    }
}

// Clients coming and going; an answer to a closed port is lost as on a real line, but the
// transcript has it.
TEST(Phonesim, ServesClientsComingAndGoing) {
    Sim sim({"--delay-ms", "50"});
    ASSERT_TRUE(sim.ok());
    sim.port.write("AT+CGMI\r");
    sim.port.close();
    usleep(300000);
    for (int i = 0; i < 50; ++i) {
        Tty p(sim.phone.path("com7"), i > 0);
        ASSERT_TRUE(p.ok()) << i;
        EXPECT_TRUE(i > 0 || p.readFor(200).isEmpty());
        EXPECT_TRUE(i % 10 || Command(p, "AT") == kOk) << i;
    }
    QByteArray tx;
    for (const Chunk &c : Transcript(sim.phone, 22))
        tx += c.tx ? c.octets : QByteArray();
    EXPECT_TRUE(tx.startsWith("\r\nPhonesim\r\n" + kOk + kOk));
}

}  // namespace
}  // namespace vantel::test
