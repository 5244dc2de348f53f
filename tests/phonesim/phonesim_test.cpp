// The simulated phone driven over its pseudo-terminal, octet by octet, the way a client sees it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

#include "blockmode/frame.h"

namespace {

QByteArray Hex(const char *hex) {
    return QByteArray::fromHex(hex);
}

// Golden frames (GSM 07.05 Block mode) of the built-in messages and the usual answers.
const char *const kMessage1 =
    "100221063801000791947101670000040C919471123254760000423051010300401EC8329BFD0699E5EF3688"
    "8E2E83E6E9769D1DA697C92038FAED2E031003EB4B";
const char *const kMessage2 =
    "100221063402010791947101670000040ED050F4DB5D9EA7DB00004230510103004019D9775D0E1287D961F7"
    "B80C4ACF413199AB060315AB521003EDCC";
const char *const kMessage3 =  // content octet 0x10 stuffed twice
    "100221062203010791947101670000040C91446123691000320004423051010300400501100020FF7E1003F8DC";
const char *const kMessage4 =
    "10022106230403079194710167000011000C919471927856340000A70CD37219947FD741613A08071003F57D";
const char *const kMessage5 =  // checksum F3 10, stuffed
    "100221062B05000791947101670000040C919471123254760000423051110285401000D3349E5E2EBB416374"
    "583E07BDD71003F31000";
const char *const kNoSuchMessage = "10022200001003FFDE";
const char *const kGetNext = "1002031003FFFD";
const char *const kGetFirst = "1002021003FFFE";
const char *const kEndSmsMode = "10021E1003FFE2";
const char *const kInsertSms = "1002070200110005912143F50000A70361F1181003FBE3";
const char *const kInsertContent = "070200110005912143F50000A70361F118";
const char *const kRequestConfirmed = "10022A041003FFD2";
const char *const kUnableToProcess = "100229041003FFD3";

const QByteArray kOk = "\r\nOK\r\n";

class Port {
public:
    ~Port() { Close(); }
    bool Open(const QString &path, bool flush = true) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return false;
        termios tio{};
        tcgetattr(fd_, &tio);
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
        qsizetype done = 0;
        while (done < octets.size()) {
            const ssize_t n = ::write(fd_, octets.constData() + done, size_t(octets.size() - done));
            if (n > 0) {
                done += n;
            } else {
                pollfd p{fd_, POLLOUT, 0};
                if (poll(&p, 1, 1000) <= 0) return;
            }
        }
    }
    // Reads until `done` holds for what arrived or `ms` have passed; false on a hang-up.
    QByteArray ReadUntil(const std::function<bool(const QByteArray &)> &done, int ms = 5000) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (!done(got) && clock.elapsed() < ms) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int(std::max<qint64>(1, ms - clock.elapsed()))) <= 0) continue;
            if (p.revents & (POLLHUP | POLLERR)) {
                hungUp_ = true;
                break;
            }
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, n);
        }
        return got;
    }
    QByteArray ReadFor(int ms) {
        return ReadUntil([](const QByteArray &) { return false; }, ms);
    }
    QByteArray ReadOctets(qsizetype count, int ms = 5000) {
        return ReadUntil([count](const QByteArray &b) { return b.size() >= count; }, ms);
    }
    // An AT command line and its answer up to the final result code or the "> " prompt.
    QByteArray Command(const QByteArray &line, int ms = 5000) {
        Write(line + '\r');
        return ReadUntil(
            [](const QByteArray &b) {
                static const QRegularExpression final(
                    QStringLiteral("(\r\n(OK|ERROR|\\+CMS ERROR: \\d+|\\+CME ERROR: \\d+)\r\n|"
                                   "\r\n> )$"));
                return final.match(QString::fromLatin1(b)).hasMatch();
            },
            ms);
    }
    // A frame and the reply frames up to the `frames`-th DLE ETX and its checksum.
    QByteArray Frame(const char *hex, int frames = 1, int ms = 5000) {
        Write(Hex(hex));
        return ReadUntil([frames](const QByteArray &b) { return FramesIn(b) >= frames; }, ms);
    }
    bool HungUp() const { return hungUp_; }

    // Counts complete frames: DLE ETX at an octet the content stuffing cannot produce, and
    // both checksum octets (with their stuffing) behind it.
    static int FramesIn(const QByteArray &b) {
        int frames = 0;
        qsizetype i = 0;
        while ((i = b.indexOf("\x10\x03", i)) >= 0) {
            qsizetype end = i + 2;
            for (int k = 0; k < 2; ++k) {
                if (end >= b.size()) return frames;
                end += (b[end] == 0x10) ? 2 : 1;
            }
            if (end > b.size()) return frames;
            ++frames;
            i = end;
        }
        return frames;
    }

private:
    int fd_ = -1;
    bool hungUp_ = false;
};

class Sim {
public:
    explicit Sim(QStringList args) {
        link_ = dir_.filePath(QStringLiteral("com1"));
        transcript_ = dir_.filePath(QStringLiteral("transcript.txt"));
        sent_ = dir_.filePath(QStringLiteral("sent.txt"));
        deleted_ = dir_.filePath(QStringLiteral("deleted.txt"));
        args_ = QStringList{QStringLiteral("--link"),       link_,
                            QStringLiteral("--transcript"), transcript_,
                            QStringLiteral("--sent"),       sent_,
                            QStringLiteral("--deleted"),    deleted_} +
                args;
    }
    ~Sim() {
        port.Close();
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(3000);
        }
    }
    // Starts the phone, waits for its "ready" line and opens the link.
    bool Start() {
        process_.start(QStringLiteral(PHONESIM_BINARY), args_);
        if (!process_.waitForStarted(5000)) return false;
        QElapsedTimer clock;
        clock.start();
        while (!process_.canReadLine() && clock.elapsed() < 5000)
            process_.waitForReadyRead(100);
        ready_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return ready_ == QStringLiteral("ready ") + link_ && port.Open(link_);
    }
    QString Ready() const { return ready_; }
    QString Link() const { return link_; }
    QString Dir() const { return dir_.path(); }
    QProcess &Process() { return process_; }
    QStringList SentLines() const { return Lines(sent_); }
    QStringList DeletedLines() const { return Lines(deleted_); }
    struct Chunk {
        qint64 ms = -1;  // -1: a line not in the transcript's form
        bool tx = false;
        QByteArray octets;
    };
    // The transcript, once it accounts for at least `txOctets` sent octets (the phone writes
    // its line just after the octets) or after two seconds.
    QList<Chunk> Transcript(qsizetype txOctets) const {
        static const QRegularExpression form(QStringLiteral("^(\\d+) (RX|TX) ((?:[0-9A-F]{2})+)$"));
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            QList<Chunk> chunks;
            qsizetype tx = 0;
            for (const QString &line : Lines(transcript_)) {
                const auto m = form.match(line);
                Chunk c;
                if (m.hasMatch())
                    c = {m.captured(1).toLongLong(), m.captured(2) == u"TX",
                         QByteArray::fromHex(m.captured(3).toLatin1())};
                if (c.tx) tx += c.octets.size();
                chunks.append(c);
            }
            if (tx >= txOctets || clock.elapsed() > 2000) return chunks;
            usleep(10000);
        }
    }
    static QStringList Lines(const QString &path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromLatin1(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    Port port;

private:
    QTemporaryDir dir_;
    QString link_, transcript_, sent_, deleted_, ready_;
    QStringList args_;
    QProcess process_;
};

QString ToHex(const QByteArray &b) {
    return QString::fromLatin1(b.toHex().toUpper());
}

// ---- AT commands ----

struct AtStep {
    const char *command;
    const char *answer;
};

TEST(PhonesimAt, ScriptedPduModeDialogueMatchesOctetByOctet) {
    const AtStep steps[] = {
        {"AT", "\r\nOK\r\n"},
        {"AT+CMGF=0", "\r\nOK\r\n"},
        {"AT+CMGF=1", "\r\nERROR\r\n"},
        {"AT+CGMI;+CGSN", "\r\nPhonesim\r\n490154203237518\r\n\r\nOK\r\n"},
        {"AT+CPMS=?", "\r\n+CPMS: (\"ME\",\"SM\"),(\"ME\",\"SM\"),(\"ME\",\"SM\")\r\n\r\nOK\r\n"},
        {"AT+CPMS=\"SM\"", "\r\n+CPMS: 2,30,5,30,5,30\r\n\r\nOK\r\n"},
        {"AT+CPMS?", "\r\n+CPMS: \"SM\",2,30,\"ME\",5,30,\"ME\",5,30\r\n\r\nOK\r\n"},
        {"AT+CMGL=0",
         "\r\n+CMGL: 2,0,,32\r\n0791947101670000040C919471525510990000423051010300400ED364"
         "135477CBCB6132E8ED2E03\r\n\r\nOK\r\n"},
        // Listing marks unread messages read.
        {"AT+CMGL=0", "\r\nOK\r\n"},
        {"AT+CPMS=\"ME\"", "\r\n+CPMS: 5,30,5,30,5,30\r\n\r\nOK\r\n"},
        {"AT+CMGR=3",
         "\r\n+CMGR: 1,,24\r\n0791947101670000040C9144612369103200044230510103004005011020FF7E"
         "\r\n\r\nOK\r\n"},
        {"AT+CMGD=3", "\r\nOK\r\n"},
        {"AT+CMGR=3", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CMGD=3", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CPMS=\"XX\"", "\r\n+CMS ERROR: 302\r\n"},
        {"AT+CMGL=4",
         "\r\n+CMGL: 1,0,,46\r\n0791947101670000040C919471123254760000423051010300401EC8329BFD"
         "0699E5EF36888E2E83E6E9769D1DA697C92038FAED2E03\r\n"
         "+CMGL: 2,1,,42\r\n0791947101670000040ED050F4DB5D9EA7DB00004230510103004019D9775D0E12"
         "87D961F7B80C4ACF413199AB060315AB52\r\n"
         "+CMGL: 4,3,,25\r\n079194710167000011000C919471927856340000A70CD37219947FD741613A0807"
         "\r\n"
         "+CMGL: 5,0,,33\r\n0791947101670000040C9194711232547600004230511102854010D3349E5E2EBB"
         "416374583E07BDD7\r\n\r\nOK\r\n"},
        {"AT+CSCA?", "\r\n+CSCA: \"+491710760000\",145\r\n\r\nOK\r\n"},
        {"AT+CSCA=\"123\",145", "\r\nOK\r\n"},
        {"AT+CSCA?", "\r\n+CSCA: \"123\",129\r\n\r\nOK\r\n"},
        {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+NOSUCH", "\r\nERROR\r\n"},
        {"AT+NOSUCH=?", "\r\nERROR\r\n"},
        {"ATE1", "\r\nOK\r\n"},  // echoed from the next line on
        {"AT", "AT\r\r\nOK\r\n"},
        {"ATE0", "ATE0\r\r\nOK\r\n"},
        {"AT", "\r\nOK\r\n"},
    };
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    for (const AtStep &s : steps)
        EXPECT_EQ(sim.port.Command(s.command), QByteArray(s.answer)) << s.command;
}

TEST(PhonesimAt, SubmissionIsAnsweredAndRecorded) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.port.Command("AT+CMGS=14"), "\r\n> ");
    EXPECT_EQ(sim.port.Command("110005912143F50000A70361F118\x1A"), "\r\n+CMGS: 1\r\n" + kOk);
    // With the service-centre field in front (14 TPDU octets plus 00).
    EXPECT_EQ(sim.port.Command("AT+CMGS=14"), "\r\n> ");
    EXPECT_EQ(sim.port.Command("00110005912143F50000A70361F118\x1A"), "\r\n+CMGS: 2\r\n" + kOk);
    // A length that fits neither form, and digits that are not hex.
    EXPECT_EQ(sim.port.Command("AT+CMGS=13"), "\r\n> ");
    EXPECT_EQ(sim.port.Command("110005912143F50000A70361F118\x1A"), "\r\n+CMS ERROR: 304\r\n");
    EXPECT_EQ(sim.port.Command("AT+CMGS=1"), "\r\n> ");
    EXPECT_EQ(sim.port.Command("1G\x1A"), "\r\n+CMS ERROR: 304\r\n");
    EXPECT_EQ(sim.SentLines(), (QStringList{"CMGS 14 110005912143F50000A70361F118",
                                            "CMGS 14 00110005912143F50000A70361F118"}));
}

TEST(PhonesimAt, EchoShowsTheCommandBeforeThePrompt) {
    Sim sim({"--echo"});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.port.Command("AT+CMGS=14"), "AT+CMGS=14\r\r\n> ");
    // The PDU is echoed, Ctrl-Z is not.
    sim.port.Write("110005912143F50000A70361F118\x1A");
    const QByteArray answer =
        sim.port.ReadUntil([](const QByteArray &b) { return b.endsWith(kOk); });
    EXPECT_EQ(answer, "110005912143F50000A70361F118\r\n+CMGS: 1\r\n\r\nOK\r\n");
}

TEST(PhonesimAt, ConfigFileSetsMessagesAndBehaviour) {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("phone.conf"));
    QFile f(config);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "# one message on the SIM\n"
        "no-samples\n"
        "echo = 1\n"
        "urc = RING\n"
        "message = SM,0,00040B911234567890F000004230510103004001C1\n"
        "smsc = +15550100\n");
    f.close();
    Sim sim({"--config", config});
    ASSERT_TRUE(sim.Start());
    const QByteArray ring = "\r\nRING\r\n";
    EXPECT_EQ(sim.port.Command("AT+CPMS=\"SM\""),
              "AT+CPMS=\"SM\"\r" + ring + "\r\n+CPMS: 1,30,0,30,0,30\r\n" + kOk);
    EXPECT_EQ(sim.port.Command("AT+CMGL=4"),
              "AT+CMGL=4\r" + ring +
                  "\r\n+CMGL: 1,0,,20\r\n00040B911234567890F000004230510103004001C1\r\n" + kOk);
    EXPECT_EQ(sim.port.Command("AT+CSCA?"),
              "AT+CSCA?\r" + ring + "\r\n+CSCA: \"+15550100\",145\r\n" + kOk);
}

TEST(PhonesimAt, BadOptionsAreRefused) {
    for (const QStringList &args :
         {QStringList{}, QStringList{"--link"}, QStringList{"--link", "x", "--delay-ms", "soon"},
          QStringList{"--link", "x", "--message", "XX,0,00"},
          QStringList{"--link", "x", "--message", "ME,0,0G"},
          QStringList{"--link", "x", "--message", "ME,0,00,31"},  // beyond store-size
          QStringList{"--link", "x", "--baud", "fast"}, QStringList{"--link", "x", "--late", "AT"},
          QStringList{"--link", "x", "--late", "CPMS,100"},
          QStringList{"--link", "x", "--babble", "loud"}, QStringList{"--link", "x", "--bogus"}}) {
        QProcess p;
        p.start(QStringLiteral(PHONESIM_BINARY), args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(u' ').toStdString();
    }
}

// ---- Block mode ----

TEST(PhonesimBlock, RetrievalWalksTheStoreAndEndsWithNoSuchMessage) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    // The confirmation leaves exactly CR LF behind a client that matched "OK".
    EXPECT_EQ(sim.port.Command("AT*T"), kOk);
    for (const char *expected :
         {kMessage1, kMessage2, kMessage3, kMessage4, kMessage5, kNoSuchMessage, kNoSuchMessage}) {
        QString frame = ToHex(sim.port.Frame(kGetNext));
        EXPECT_EQ(frame, QLatin1String(expected));
        EXPECT_TRUE(vantel::ValidateFrame(frame)) << frame.toStdString();
    }
    EXPECT_EQ(ToHex(sim.port.Frame("100208011003FFF7")), "1002271003FFD9");    // DELETE 01
    EXPECT_EQ(ToHex(sim.port.Frame("100208011003FFF7")), "100228001003FFD8");  // again
    EXPECT_EQ(ToHex(sim.port.Frame(kGetFirst)), QLatin1String(kMessage2));
    EXPECT_EQ(ToHex(sim.port.Frame("1002031003FFFE")), QLatin1String(kUnableToProcess));  // sum
    EXPECT_EQ(ToHex(sim.port.Frame("10024F1003FFB1")), QLatin1String(kUnableToProcess));  // type
    EXPECT_EQ(ToHex(sim.port.Frame("100210031003FFED")), QLatin1String(kUnableToProcess));
    sim.port.Write(Hex(kEndSmsMode));
    EXPECT_EQ(sim.port.ReadOctets(kOk.size()), kOk);
    EXPECT_EQ(sim.port.Command("AT"), kOk);
}

TEST(PhonesimBlock, RetrievalDoesNotChangeStatusSoRepeatsAreIdentical) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(sim.port.Command("AT*T"), kOk);
        EXPECT_EQ(ToHex(sim.port.Frame(kGetNext)), QLatin1String(kMessage1));
        sim.port.Write(Hex(kEndSmsMode));
        EXPECT_EQ(sim.port.ReadOctets(kOk.size()), kOk);
    }
}

TEST(PhonesimBlock, InsertSmsOutcomes) {
    struct Case {
        QStringList args;
        int frames;
        QString answer;
        bool recorded;
    } cases[] = {
        {{}, 2, QString::fromLatin1(kRequestConfirmed) + "10022501011003FFD9", true},
        {{"--insert-failure", "87"},
         2,
         QString::fromLatin1(kRequestConfirmed) + "100226871003FF53",
         false},
        {{"--insert-reject", "03"}, 1, "100226031003FFD7", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        Sim sim(c.args);
        ASSERT_TRUE(sim.Start());
        EXPECT_EQ(sim.port.Command("AT*T"), kOk);
        EXPECT_EQ(ToHex(sim.port.Frame(kInsertSms, c.frames)), c.answer);
        EXPECT_EQ(sim.port.ReadFor(300), QByteArray());
        sim.port.Write(Hex(kEndSmsMode));
        EXPECT_EQ(sim.port.ReadOctets(kOk.size()), kOk);
        EXPECT_EQ(sim.SentLines(), c.recorded ? QStringList{QStringLiteral("INSERT ") +
                                                            QLatin1String(kInsertContent)}
                                              : QStringList{});
    }
}

TEST(PhonesimBlock, FrameSplitAnywhereIsStillOneFrame) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.port.Command("AT*T"), kOk);
    const QByteArray request = Hex(kGetNext);
    for (char octet : request) {
        sim.port.Write(QByteArray(1, octet));
        usleep(20000);
    }
    EXPECT_EQ(ToHex(sim.port.ReadUntil([](const QByteArray &b) { return Port::FramesIn(b) >= 1; })),
              QLatin1String(kMessage1));
}

TEST(PhonesimBlock, CommandLineBetweenFramesLeavesBlockMode) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.port.Command("AT*T"), kOk);
    EXPECT_EQ(sim.port.Command("AT+CSQ"), "\r\n+CSQ: 20,99\r\n" + kOk);
}

// ---- Misbehaviour on purpose ----

TEST(PhonesimMisbehaviour, GetFailureCountsDownThenRetrievalGoesOn) {
    Sim sim({"--get-failure", "05,2"});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.port.Command("AT*T"), kOk);
    EXPECT_EQ(ToHex(sim.port.Frame(kGetNext)), "10022200051003FFD9");
    EXPECT_EQ(ToHex(sim.port.Frame(kGetNext)), "10022200051003FFD9");
    EXPECT_EQ(ToHex(sim.port.Frame(kGetNext)), QLatin1String(kMessage1));
}

TEST(PhonesimMisbehaviour, DropStuffingLeavesOutTheChecksumStuffingOnly) {
    Sim sim({"--drop-stuffing"});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.port.Command("AT*T"), kOk);
    for (const char *expected : {kMessage1, kMessage2, kMessage3, kMessage4})
        EXPECT_EQ(ToHex(sim.port.Frame(kGetNext)), QLatin1String(expected));
    sim.port.Write(Hex(kGetNext));
    const QByteArray last = sim.port.ReadFor(500);
    QString expected = QLatin1String(kMessage5);
    expected.chop(2);  // the 00 after F3 10
    EXPECT_EQ(ToHex(last), expected);
    // What a client's repair makes of it, behind the previous frame's checksum F5 7D.
    const vantel::ExtractedFrame repaired =
        vantel::ExtractFrame(QStringLiteral("F57D") + ToHex(last));
    EXPECT_EQ(repaired.repairs, 1);
    EXPECT_EQ(repaired.frame, QLatin1String(kMessage5));
}

// One step of a run: octets to the phone, and exactly the octets it answers (empty: 300 ms of
// silence).
struct Step {
    QByteArray send;
    QByteArray expect;
};

struct FaultRun {
    const char *name;
    QStringList args;
    QList<Step> steps;
    QStringList sent;
    QStringList deleted;
};

TEST(PhonesimMisbehaviour, FaultRunsLineByLine) {
    const QByteArray urcs = "\r\n+CMTI: \"SM\",3\r\n\r\nRING\r\n";
    const QByteArray ring = "\r\nRING\r\n";
    const QByteArray submit = "110005912143F50000A70361F118\x1A";
    const QString sentLine = QStringLiteral("CMGS 14 110005912143F50000A70361F118");
    // A three-letter draft: 14 octets, so its MESSAGE frame has LENGTH 0x10, stuffed.
    const QString draft = QStringLiteral("00010005812143F500000361F118");
    const QByteArray listed = "+CMGL: 1,1,,13\r\n" + draft.toLatin1() + "\r\n";
    const QString sm1 = QStringLiteral(
        "0791947101670000040C919471123254760000423051010300401153FA5B5E2683DE6E101D5D064D934D");
    const QString sm2 = QStringLiteral(
        "0791947101670000040C919471525510990000423051010300400ED364135477CBCB6132E8ED2E03");
    const QString me1 = QStringLiteral(
        "0791947101670000040C919471123254760000423051010300401EC8329BFD0699E5EF36888E2E83E6E9769D1"
        "DA697C92038FAED2E03");
    const FaultRun runs[] = {
        {"URCs before each AT answer, the prompt and +CMGS",
         {"--urc", "+CMTI: \"SM\",3", "--urc", "RING"},
         {{"AT\r", urcs + kOk},
          {"AT+CMGS=14\r", urcs + "\r\n> "},
          {submit, urcs + "\r\n+CMGS: 1\r\n" + kOk}},
         {sentLine},
         {}},
        {"URCs between the entries of a listing",
         {"--no-samples", "--message", "ME,1," + draft, "--message", "ME,1," + draft, "--urc",
          "RING", "--urc-between"},
         {{"AT+CMGL=4\r",
           ring + "\r\n" + listed + ring + QByteArray(listed).replace("1,1", "2,1") + ring + kOk}},
         {},
         {}},
        {"late OK to AT arrives after the answer to the next command",
         {"--late", "AT,700"},
         {{"AT\r", ""},
          {"AT+CPMS?\r", "\r\n+CPMS: \"ME\",5,30,\"ME\",5,30,\"ME\",5,30\r\n" + kOk},
          {"", kOk}},
         {},
         {}},
        {"PDU input lasts until ESC, which cancels with OK",
         {},
         {{"AT+CMGS=14\r", "\r\n> "}, {"1100\rAT\rAT+CMGL=4\r", ""}, {"\x1B", kOk}, {"AT\r", kOk}},
         {},
         {}},
        {"PDU of AT+CMGS taken, never answered",
         {"--cmgs-silent"},
         {{"AT+CMGS=14\r", "\r\n> "}, {submit, ""}, {"\x1B", ""}, {"AT\r", kOk}},
         {},
         {}},
        {"PDU of AT+CMGS refused",
         {"--cmgs-error", "500"},
         {{"AT+CMGS=14\r", "\r\n> "}, {submit, "\r\n+CMS ERROR: 500\r\n"}},
         {},
         {}},
        {"no prompt", {"--no-prompt"}, {{"AT+CMGS=14\r", ""}, {"AT\r", kOk}}, {}, {}},
        {"echoed frames: GET NEXT, INSERT SMS, DELETE MESSAGE",
         {"--echo-frames"},
         {{"AT*T\r", kOk},
          {Hex(kGetNext), Hex(kGetNext) + Hex(kMessage1)},
          {Hex(kInsertSms), Hex(kInsertSms) + Hex(kRequestConfirmed) + Hex("10022501011003FFD9")},
          {Hex("100208011003FFF7"), Hex("100208011003FFF7") + Hex("1002271003FFD9")}},
         {QStringLiteral("INSERT ") + QLatin1String(kInsertContent)},
         {"DELETE ME 1 " + me1}},
        {"stuffed LENGTH 0x10 and REF 0x10; DELETE takes exactly the reference it names",
         {"--no-samples", "--message", "ME,2," + draft + ",16", "--message",
          "ME,2," + draft + ",1"},
         {{"AT*T\r", kOk},
          {Hex(kGetNext), Hex("100221061000010200010005812143F500000361F1181003FC79")},
          {Hex(kGetNext), Hex("10022106100010000200010005812143F500000361F1181003FC6A")},
          {Hex("100208001003FFF8"), Hex("100228001003FFD8")},    // REF 00: none
          {Hex("10020810001003FFE8"), Hex("1002271003FFD9")},    // REF 10
          {Hex("10020810001003FFE8"), Hex("100228001003FFD8")},  // gone
          {Hex(kGetFirst), Hex("100221061000010200010005812143F500000361F1181003FC79")}},
         {},
         {"DELETE ME 16 " + draft}},
        {"IEI 0x10",
         {"--no-samples", "--message-iei", "10", "--message", "ME,2," + draft},
         {{"AT*T\r", kOk},
          {Hex(kGetNext), Hex("10022110001000010200010005812143F500000361F1181003FC6F")}},
         {},
         {}},
        {"AT+CMGD, one and all",
         {},
         {{"AT+CPMS=\"SM\"\r", "\r\n+CPMS: 2,30,5,30,5,30\r\n" + kOk},
          {"AT+CMGD=1\r", kOk},
          {"AT+CMGD=1,4\r", kOk},
          {"AT+CMGL=4\r", kOk}},
         {},
         {"DELETE SM 1 " + sm1, "DELETE SM 2 " + sm2}},
        {"a paced frame shows DLE ETX before its checksum",
         {"--no-samples", "--baud", "300", "--chunk", "1"},
         {{"AT*T\r", kOk}, {Hex(kGetNext), Hex("10022200001003")}, {"", Hex("FFDE")}},
         {},
         {}},
    };
    for (const FaultRun &run : runs) {
        SCOPED_TRACE(run.name);
        Sim sim(run.args);
        ASSERT_TRUE(sim.Start());
        for (const Step &step : run.steps) {
            sim.port.Write(step.send);
            const QByteArray got = step.expect.isEmpty()
                                       ? sim.port.ReadFor(300)
                                       : sim.port.ReadOctets(step.expect.size(), 3000);
            EXPECT_EQ(ToHex(got), ToHex(step.expect)) << step.send.toStdString();
        }
        EXPECT_EQ(sim.SentLines(), run.sent);
        EXPECT_EQ(sim.DeletedLines(), run.deleted);
    }
}

TEST(PhonesimMisbehaviour, SilentPhoneSaysNothing) {
    Sim sim({"--silent", "--echo"});
    ASSERT_TRUE(sim.Start());
    sim.port.Write("AT\rAT*T\r");
    sim.port.Write(Hex(kGetNext));
    EXPECT_EQ(sim.port.ReadFor(500), QByteArray());
}

TEST(PhonesimMisbehaviour, DelayedAnswerComesLateButWhole) {
    Sim sim({"--delay-ms", "700"});
    ASSERT_TRUE(sim.Start());
    sim.port.Write("AT\r");
    EXPECT_EQ(sim.port.ReadFor(200), QByteArray());
    EXPECT_EQ(sim.port.ReadOctets(kOk.size()), kOk);
}

// Pieces as written: at most `piece` octets each, and with --baud no faster than the line.
TEST(PhonesimMisbehaviour, ChunkedAnswerArrivesInPiecesOfTheGivenSize) {
    const QByteArray cmgl =
        "\r\n+CMGL: 1,0,,20\r\n00040B911234567890F000004230510103004001C1\r\n" + kOk;
    struct Case {
        QStringList args;
        QList<QByteArray> lines;
        QByteArray answers;
        int piece;
        int minSpanMs;  // first to last piece
    } cases[] = {
        {{"--chunk", "3"}, {"AT+CSQ"}, "\r\n+CSQ: 20,99\r\n" + kOk, 3, 0},
        // The prompt and the final result lines are split too.
        {{"--chunk", "1"},
         {"AT+CMGS=14", "110005912143F50000A70361F118\x1A"},
         "\r\n> \r\n+CMGS: 1\r\n" + kOk,
         1,
         0},
        {{"--chunk", "3", "--baud", "1200"}, {"AT+CSQ"}, "\r\n+CSQ: 20,99\r\n" + kOk, 3, 150},
        {{"--baud", "19200", "--no-samples", "--message",
          "ME,0,00040B911234567890F000004230510103004001C1"},
         {"AT+CMGL=4"},
         cmgl,
         1,
         int(cmgl.size() - 1) * 10 * 1000 / 19200 - 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        Sim sim(c.args);
        ASSERT_TRUE(sim.Start());
        QByteArray got;
        for (const QByteArray &line : c.lines)
            got += sim.port.Command(line);
        EXPECT_EQ(got, c.answers);
        QByteArray tx;
        qint64 first = -1, last = -1;
        for (const Sim::Chunk &chunk : sim.Transcript(c.answers.size())) {
            if (!chunk.tx) continue;
            EXPECT_LE(chunk.octets.size(), c.piece);
            if (first < 0) first = chunk.ms;
            last = chunk.ms;
            tx += chunk.octets;
        }
        EXPECT_EQ(tx, c.answers);
        EXPECT_GE(last - first, c.minSpanMs);
    }
}

TEST(PhonesimMisbehaviour, GarbageComesBeforeEveryAnswer) {
    Sim sim({"--garbage", "5"});
    ASSERT_TRUE(sim.Start());
    sim.port.Write("AT\r");
    const QByteArray first = sim.port.ReadOctets(5 + kOk.size());
    EXPECT_EQ(first.size(), 5 + kOk.size());
    EXPECT_TRUE(first.endsWith(kOk));
    sim.port.Write("AT*T\r");
    EXPECT_TRUE(sim.port.ReadOctets(5 + kOk.size()).endsWith(kOk));
    sim.port.Write(Hex(kGetNext));
    const QByteArray frame = sim.port.ReadOctets(5 + Hex(kMessage1).size());
    EXPECT_EQ(ToHex(frame.mid(5)), QLatin1String(kMessage1));
}

TEST(PhonesimMisbehaviour, BabbleFillsTheQuietLineAfterTheFirstCommand) {
    for (const char *mode : {"nul", "garbage"}) {
        SCOPED_TRACE(mode);
        Sim sim({"--babble", mode, "--seed", "7"});
        ASSERT_TRUE(sim.Start());
        EXPECT_EQ(sim.port.ReadFor(100), QByteArray());
        sim.port.Write("AT+CSQ\r");
        const QByteArray answer = "\r\n+CSQ: 20,99\r\n" + kOk;
        const QByteArray got = sim.port.ReadFor(500);
        ASSERT_TRUE(got.startsWith(answer));  // answers stay whole
        const QByteArray babble = got.mid(answer.size());
        EXPECT_GE(babble.size(), 100);
        EXPECT_FALSE(babble.contains("\x10\x03") || babble.contains("OK"));
        if (QByteArrayView(mode) == "nul") {
            EXPECT_EQ(babble, QByteArray(babble.size(), '\0'));
        }
        sim.port.Write("AT+CSQ\r");
        EXPECT_TRUE(sim.port.ReadFor(300).contains(answer));
    }
}

TEST(PhonesimMisbehaviour, VanishPullsTheCableAndRemovesTheLink) {
    Sim sim({"--vanish-after", "2"});
    ASSERT_TRUE(sim.Start());
    EXPECT_EQ(sim.port.Command("AT"), kOk);
    EXPECT_EQ(sim.port.Command("AT"), kOk);
    sim.port.Write("AT\r");
    EXPECT_EQ(sim.port.ReadFor(2000), QByteArray());
    EXPECT_TRUE(sim.port.HungUp());
    EXPECT_TRUE(sim.Process().waitForFinished(3000));
    EXPECT_EQ(sim.Process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(sim.Link()) || QFileInfo(sim.Link()).isSymLink());
}

// ---- Line and process ----

TEST(PhonesimLine, TranscriptHoldsEveryOctetBothWays) {
    Sim sim({"--echo"});
    ASSERT_TRUE(sim.Start());
    QByteArray sent, received;
    for (const QByteArray &line : {QByteArray("AT"), QByteArray("AT*T")}) {
        received += sim.port.Command(line);
        sent += line + '\r';
    }
    sim.port.Write(Hex(kGetNext));
    sent += Hex(kGetNext);
    received += sim.port.ReadUntil([](const QByteArray &b) { return Port::FramesIn(b) >= 1; });
    QByteArray rx, tx;
    qint64 last = 0;
    for (const Sim::Chunk &c : sim.Transcript(received.size())) {
        ASSERT_GE(c.ms, last);
        last = c.ms;
        (c.tx ? tx : rx) += c.octets;
    }
    EXPECT_EQ(rx, sent);
    EXPECT_EQ(tx, received);
}

TEST(PhonesimLine, SurvivesManyOpensAndCloses) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    sim.port.Close();
    for (int i = 0; i < 50; ++i) {
        Port p;
        ASSERT_TRUE(p.Open(sim.Link())) << i;
        if (i % 10 == 0) {
            EXPECT_EQ(p.Command("AT"), kOk) << i;
        }
    }
    Port p;
    ASSERT_TRUE(p.Open(sim.Link()));
    EXPECT_EQ(p.Command("AT+CGMI"), "\r\nPhonesim\r\n" + kOk);
}

TEST(PhonesimLine, AnswerToAClosedPortIsLostAsOnARealLine) {
    Sim sim({"--delay-ms", "300"});
    ASSERT_TRUE(sim.Start());
    sim.port.Write("AT+CGMI\r");
    sim.port.Close();
    usleep(600000);
    Port late;
    ASSERT_TRUE(late.Open(sim.Link(), false));
    EXPECT_EQ(late.ReadFor(200), QByteArray());
    EXPECT_EQ(late.Command("AT"), kOk);
    // The phone did answer: the transcript has it.
    QByteArray tx;
    for (const Sim::Chunk &c : sim.Transcript(22))
        if (c.tx) tx += c.octets;
    EXPECT_EQ(tx, "\r\nPhonesim\r\n" + kOk + kOk);
}

TEST(PhonesimLine, GarbageInputDoesNotKillIt) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    quint32 x = 2463534242u;
    for (int round = 0; round < 4; ++round) {
        QByteArray junk;
        for (int i = 0; i < 16384; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            junk.append(char(x & 0xFF));
        }
        // Also the octets that drive the state machines: frame markers, Ctrl-Z, ESC.
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
    EXPECT_EQ(sim.Process().state(), QProcess::Running);
}

TEST(PhonesimLine, TerminationRemovesTheLink) {
    Sim sim({});
    ASSERT_TRUE(sim.Start());
    EXPECT_TRUE(QFileInfo(sim.Link()).isSymLink());
    sim.Process().terminate();
    ASSERT_TRUE(sim.Process().waitForFinished(3000));
    EXPECT_EQ(sim.Process().exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(QFileInfo(sim.Link()).isSymLink());
}

}  // namespace
