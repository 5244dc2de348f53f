// The simulated phone driven over its pseudo-terminal, octet by octet, the way a client sees it.
// The plain dialogues are in tests/data/phonesim-sessions.txt.
#include "../link/harness.h"

namespace vantel::test {
namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kCsq = "\r\n+CSQ: 20,99\r\n" + kOk;

class Sessions : public Roads {};

TEST_P(Sessions, AnswerOctetForOctet) {
    QStringList files[2];  // the --sent and --deleted lines
    int piece = 4096, minSpanMs = 0, refusals = 0;
    ASSERT_TRUE(GetParam().error.isEmpty()) << GetParam().error;
    for (const table::Line &line : GetParam().lines) {
        const QString key = line.text.section(u' ', 0, 0), rest = line.text.section(u' ', 1);
        if (key == u"sent" || key == u"deleted") files[key == u"deleted"] << rest;
        if (key == u"pieces")
            piece = rest.section(u' ', 0, 0).toInt(), minSpanMs = rest.section(u' ', 1).toInt();
        refusals += key == u"refused";
        SCOPED_TRACE(line.where + ": " + line.text.toStdString());
        if (key != u"sent" && key != u"deleted" && key != u"pieces") Step(key, rest);
        if (HasFatalFailure()) return;
    }
    if (!client) {  // no dialogue: the session checks its refusals, and nothing else
        EXPECT_TRUE(refusals > 0 && files[0].isEmpty() && files[1].isEmpty() && piece == 4096)
            << "a session without a client step checks nothing but refusals";
        return;
    }
    EXPECT_EQ(phone->lines("sent"), files[0]);
    EXPECT_EQ(phone->lines("deleted"), files[1]);
    // The transcript holds every octet both ways, in time order, the answers in pieces of at
    // most `piece` octets and no faster than the line.
    QByteArray rx, tx;
    qint64 first = -1, latest = 0;
    for (const PhoneSim::Chunk &chunk : phone->transcript(read.size())) {
        EXPECT_GE(chunk.ms, latest);
        (chunk.tx ? tx : rx) += chunk.octets;
        if (!chunk.tx) continue;
        EXPECT_LE(chunk.octets.size(), piece);
        latest = chunk.ms;
        first = first < 0 ? latest : first;
    }
    EXPECT_EQ(BytesToHex(rx), BytesToHex(written));
    EXPECT_EQ(BytesToHex(tx), BytesToHex(read));
    EXPECT_GE(latest - first, minSpanMs);
}

INSTANTIATE_TEST_SUITE_P(Phonesim, Sessions,
                         ::testing::ValuesIn(table::Records("phonesim-sessions.txt",
                                                            table::kSession)),
                         Name);

using Phonesim = LinkFixture;

TEST_F(Phonesim, BabbleFillsTheQuietLineAfterTheFirstCommand) {
    for (const char *mode : {"nul", "garbage"}) {
        SCOPED_TRACE(mode);
        phone.reset();  // it takes its link with it
        ASSERT_TRUE(StartPhone({"--babble", mode, "--seed", "7"}));
        Tty port(phone->path("com7"));
        EXPECT_EQ(port.readFor(100), QByteArray());
        port.write("AT+CSQ\r");
        const QByteArray got = port.readFor(500);
        ASSERT_TRUE(got.startsWith(kCsq));  // answers stay whole
        const QByteArray babble = got.mid(kCsq.size());
        EXPECT_GE(babble.size(), 100);
        EXPECT_FALSE(babble.contains("\x10\x03") || babble.contains("OK"));
        EXPECT_TRUE(QByteArrayView(mode) != "nul" || babble == QByteArray(babble.size(), '\0'));
        port.write("AT+CSQ\r");
        EXPECT_TRUE(port.readFor(300).contains(kCsq));
    }
}

// Clients coming and going; an answer to a closed port is lost as on a real line, but the
// transcript has it.
TEST_F(Phonesim, ServesClientsComingAndGoing) {
    ASSERT_TRUE(StartPhone({"--delay-ms", "50"}));
    Tty(phone->path("com7")).write("AT+CGMI\r");
    usleep(300000);
    for (int i = 0; i < 50; ++i) {
        Tty p(phone->path("com7"), i > 0);
        ASSERT_TRUE(p.ok()) << i;
        EXPECT_TRUE(i > 0 || p.readFor(200).isEmpty());
        EXPECT_TRUE(i % 10 || (p.write("AT\r"),
                               p.readUntil([](auto &b) { return b.endsWith(kOk); }, 5000) == kOk))
            << i;
    }
    QByteArray tx;
    for (const PhoneSim::Chunk &c : phone->transcript(22))
        tx += c.tx ? c.octets : QByteArray();
    EXPECT_TRUE(tx.startsWith("\r\nPhonesim\r\n" + kOk + kOk));
}

}  // namespace
}  // namespace vantel::test
