// Whole exchanges against the simulated phone over a pseudo-terminal: what the program sent,
// what it stored, and every trace and log line.
#include <sys/resource.h>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>

#include "atmode/transmit.h"
#include "blockmode/exchange.h"
#include "blockmode/frame.h"
#include "linkfixture.h"
#include "pdu/primitives.h"
#include "phone.h"

namespace vantel::test {
namespace {

const QString Retrieving = QStringLiteral("Retrieving Messages...");
const QString Retrieved = QStringLiteral("Messages Retrieved");
const QString TimedOut = QStringLiteral("Timed out waiting for 07.05 PDU");
const QString NoSuchMessage = QStringLiteral("MSG: 10022200001003FFDE");

// The phone's built-in messages (service-centre field and TPDU).
const QString Me1 = QStringLiteral(
    "0791947101670000040C919471123254760000423051010300401EC8329BFD0699E5EF36888E2E83E6E9769D1DA6"
    "97C92038FAED2E03");
const QString Me5 = QStringLiteral(
    "0791947101670000040C9194711232547600004230511102854010D3349E5E2EBB416374583E07BDD7");
const QString Sm1 = QStringLiteral(
    "0791947101670000040C919471123254760000423051010300401153FA5B5E2683DE6E101D5D064D934D");
const QString Sm2 = QStringLiteral(
    "0791947101670000040C919471525510990000423051010300400ED364135477CBCB6132E8ED2E03");

QString PduFrame(const QString &pdu, bool skipSca) {
    return BytesToHex(
        BuildFrame(HexToBytes((skipSca ? u"21067E020100"_qs : u"21067E0201"_qs) + pdu)));
}

QStringList Starting(const QStringList &lines, QStringView prefix) {
    QStringList out;
    for (const QString &l : lines)
        if (l.startsWith(prefix)) out << l;
    return out;
}

class Roads : public LinkFixture {
protected:
    // Starts the phone; scale < 1 runs the program's pauses and time-outs faster.
    bool StartPhone(const QStringList &args, double scale = 0.1) {
        phone = std::make_unique<PhoneSim>(dir.path(), args);
        link->setTimeScale(scale);
        return phone->ready();
    }
    void Retrieve() { run(RetrieveMessages(*link, *host, settings)); }
    TransmitOutcome Transmit(const QString &entry) {
        return run(TransmitQueueEntry(*link, *host, settings, entry));
    }
    // Every exchange leaves the buttons enabled and the port closed.
    void ExpectIdle() {
        EXPECT_EQ(host->disables, host->enables);
        EXPECT_FALSE(host->busy());
        EXPECT_FALSE(link->serial().isOpen());
    }
    QStringList messages() const { return Starting(host->trace, u"MSG: "); }

    std::unique_ptr<PhoneSim> phone;
};

// ---- Block mode ---------------------------------------------------------------------------

TEST_F(Roads, BlockRetrievalInRealTimeStoresEveryMessage) {
    ASSERT_TRUE(StartPhone({}, 1.0));
    QElapsedTimer t;
    t.start();
    Retrieve();
    // Six passes with their 2-second pauses, and the pause after the last failure.
    EXPECT_GE(t.elapsed(), 13000);
    ExpectIdle();
    EXPECT_EQ(host->trace.first(), Retrieving);
    EXPECT_EQ(host->trace.last(), Retrieved);
    const QStringList msgs = messages();
    ASSERT_GE(msgs.size(), 6);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(msgs[i].startsWith(u"MSG: 100221")) << i;
    EXPECT_EQ(host->log, msgs);
    EXPECT_EQ(host->appended.mid(0, 5), host->offered.mid(0, 5));
    EXPECT_EQ(host->store.model().count(), host->offered.size());
    // The program's side: entry string, GET NEXT MESSAGE per pass, END SMS MODE.
    const QString sent = phone->received();
    EXPECT_TRUE(sent.startsWith(BytesToHex("AT*T\r") + BytesToHex(GetNextMessageFrame)));
    EXPECT_TRUE(sent.endsWith(BytesToHex(EndSmsModeFrame)));
    EXPECT_EQ(sent.count(BytesToHex(GetNextMessageFrame)), msgs.size());
    EXPECT_FALSE(sent.contains(u"10020805"));
}

TEST_F(Roads, BlockRetrievalWithDeleteOldEmptiesThePhone) {
    settings.deleteOld = true;
    ASSERT_TRUE(StartPhone({}));
    Retrieve();
    ExpectIdle();
    const QString sent = phone->received();
    for (const char *request : {"1002080110", "1002080210", "1002080310", "1002080410"})
        EXPECT_TRUE(sent.contains(QString::fromLatin1(request))) << request;
    EXPECT_TRUE(sent.contains(u"1002080510"));
    EXPECT_EQ(host->trace.count(u"MSG: 1002271003FFD9"_qs) +
                  host->trace.count(u"MSG: 001002271003FFD9"_qs),
              5);
    const int stored = host->store.model().count();
    EXPECT_GE(stored, 5);

    // The phone is empty now: the next retrieval ends at the first request.
    host->trace.clear();
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(messages(), QStringList{NoSuchMessage});
    EXPECT_EQ(host->store.model().count(), stored);
}

TEST_F(Roads, RepeatedRetrievalAddsNoDuplicates) {
    ASSERT_TRUE(StartPhone({}));
    Retrieve();
    const int stored = host->store.model().count();
    const int appended = host->appended.size();
    ASSERT_GE(stored, 5);
    host->trace.clear();
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->store.model().count(), stored);
    EXPECT_EQ(host->appended.size(), 2 * appended);  // the file keeps every frame received
    EXPECT_EQ(host->count(u"Duplicate Message Ignored"_qs), appended);
}

TEST_F(Roads, MissingStuffingIsRepairedAndKeptOnThePhoneWithKeepErr) {
    settings.deleteOld = true;
    settings.keepErr = true;
    ASSERT_TRUE(StartPhone({u"--drop-stuffing"_qs}));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->count(MissingStuffingWarning.toString()), 1);
    EXPECT_EQ(host->alerts, 1);
    EXPECT_FALSE(host->log.contains(MissingStuffingWarning.toString()));
    const QString sent = phone->received();
    EXPECT_TRUE(sent.contains(u"1002080410"));
    EXPECT_FALSE(sent.contains(u"1002080510"));  // the repaired message stays on the phone
}

TEST_F(Roads, MissingStuffingWithoutKeepErrIsRepairedSilentlyAndDeleted) {
    settings.deleteOld = true;
    ASSERT_TRUE(StartPhone({u"--drop-stuffing"_qs}));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->count(MissingStuffingWarning.toString()), 1);
    EXPECT_EQ(host->alerts, 0);
    EXPECT_TRUE(phone->received().contains(u"1002080510"));
}

TEST_F(Roads, EchoingPhoneWithEchoSetStoresEachMessageOnce) {
    settings.echoSet = true;
    ASSERT_TRUE(StartPhone({u"--echo-frames"_qs}));
    Retrieve();
    ExpectIdle();
    const QStringList msgs = messages();
    EXPECT_FALSE(msgs.contains(u"MSG: 1002031003FFFD"_qs));
    EXPECT_EQ(Starting(msgs, u"MSG: 100221").size(), 5);
    EXPECT_EQ(host->trace.last(), Retrieved);
}

TEST_F(Roads, EchoedRequestsAreNeverStored) {
    ASSERT_TRUE(StartPhone({u"--echo-frames"_qs}));
    Retrieve();
    ExpectIdle();
    for (const QString &frame : host->offered)
        EXPECT_NE(frame, GetNextMessageHex.toString());
    EXPECT_FALSE(messages().contains(u"MSG: 1002031003FFFD"_qs));
    EXPECT_GE(Starting(messages(), u"MSG: 100221").size(), 4);
}

TEST_F(Roads, SilentPhoneEndsWithTimeOut) {
    ASSERT_TRUE(StartPhone({u"--silent"_qs}, 0.05));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->trace, (QStringList{Retrieving, TimedOut, Retrieved}));
    EXPECT_TRUE(host->offered.isEmpty());
}

TEST_F(Roads, RetrievalWithoutProgressStopsAfterFivePasses) {
    ASSERT_TRUE(StartPhone({u"--get-failure"_qs, u"02"_qs}));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(messages().size(), MaxFruitlessPasses);
    EXPECT_EQ(host->count(u"Retrieval stopped: 5 requests in a row brought no message"_qs), 1);
    EXPECT_EQ(host->trace.last(), Retrieved);
    EXPECT_TRUE(phone->received().endsWith(BytesToHex(EndSmsModeFrame)));
    EXPECT_TRUE(host->offered.isEmpty());
}

TEST_F(Roads, PassingFailuresAreRetried) {
    ASSERT_TRUE(StartPhone({u"--get-failure"_qs, u"02,3"_qs}));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(Starting(messages(), u"MSG: 100222").size(), 4);  // three failures and the end
    EXPECT_GE(Starting(messages(), u"MSG: 100221").size(), 5);
}

TEST_F(Roads, ChunkedAndSlowAnswersAreCollected) {
    ASSERT_TRUE(StartPhone({u"--chunk"_qs, u"3"_qs, u"--delay-ms"_qs, u"50"_qs}, 0.2));
    Retrieve();
    ExpectIdle();
    EXPECT_GE(Starting(messages(), u"MSG: 100221").size(), 5);
}

TEST_F(Roads, GarbageOnTheLineNeverHangsTheRetrieval) {
    ASSERT_TRUE(StartPhone({u"--garbage"_qs, u"40"_qs}, 0.05));
    settings.deleteOld = true;
    QElapsedTimer t;
    t.start();
    Retrieve();
    ExpectIdle();
    EXPECT_LT(t.elapsed(), 60000);
    EXPECT_EQ(host->trace.last(), Retrieved);
}

TEST_F(Roads, VanishingPhoneEndsTheRetrievalAndKeepsWhatWasStored) {
    ASSERT_TRUE(StartPhone({u"--vanish-after"_qs, u"4"_qs}));
    Retrieve();
    ExpectIdle();
    EXPECT_FALSE(host->trace.contains(Retrieved));
    EXPECT_EQ(Starting(host->trace, u"Port failure: ").size(), 1);
    EXPECT_GE(host->store.model().count(), 1);
}

TEST_F(Roads, PortThatCannotBeOpenedEndsAtOnce) {
    ASSERT_TRUE(link->serial().setCommPort(9));  // no com9 here
    QFile::link(u"/nonexistent"_qs, dir.filePath(u"com9"_qs));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->trace, (QStringList{Retrieving, u"Cannot Open Port"_qs}));
    EXPECT_EQ(host->disables, 1);
}

// ---- PDU mode -----------------------------------------------------------------------------

TEST_F(Roads, PduRetrievalInRealTimeListsUnreadMessagesOfThePhone) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({}, 1.0));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->trace, (QStringList{Retrieving, Retrieved}));
    EXPECT_EQ(host->offered, (QStringList{PduFrame(Me1, false), PduFrame(Me5, false)}));
    EXPECT_EQ(host->appended, host->offered);
    EXPECT_EQ(host->store.model().count(), 2);
    EXPECT_EQ(phone->received(), BytesToHex("AT\rAT+CPMS=\"ME\"\rAT+CMGL=0\r"));
}

TEST_F(Roads, PduRetrievalListsAllOfTheSim) {
    settings.pduMode = true;
    settings.getOldMessages = true;
    settings.getSIMMessages = true;
    ASSERT_TRUE(StartPhone({u"--echo"_qs}));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->offered, (QStringList{PduFrame(Sm1, false), PduFrame(Sm2, false)}));
    EXPECT_EQ(phone->received(), BytesToHex("AT\rAT+CPMS=\"SM\"\rAT+CMGL=4\r"));
}

TEST_F(Roads, PduRetrievalWithSkipPduScaAddsAnEmptyServiceCentre) {
    settings.pduMode = true;
    settings.skipPDUSCA = true;
    const QString tpdu = Me1.mid(16);
    ASSERT_TRUE(StartPhone({u"--no-samples"_qs, u"--message"_qs, u"ME,0,00"_qs + tpdu}));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->offered, QStringList{PduFrame(u"00"_qs + tpdu, true)});
}

TEST_F(Roads, PduRetrievalFromSilentPhoneFails) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({u"--silent"_qs}, 0.05));
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->trace, (QStringList{Retrieving, u"Failed to Retrieve"_qs, Retrieved}));
}

TEST_F(Roads, PduRetrievalTwiceListsReadMessagesOnlyWithGetOld) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({}));
    Retrieve();
    ASSERT_EQ(host->offered.size(), 2);
    Retrieve();  // listed messages are read now
    EXPECT_EQ(host->offered.size(), 2);
    settings.getOldMessages = true;
    Retrieve();
    ExpectIdle();
    EXPECT_EQ(host->offered.size(), 7);
    EXPECT_EQ(host->store.model().count(), 5);
    EXPECT_EQ(host->count(u"Duplicate Message Ignored"_qs), 2);
}

// ---- Transmission -------------------------------------------------------------------------

const QString Entry = QStringLiteral("14,12345,0123,110005912143F50000A70361F118");

TEST_F(Roads, PduTransmissionInRealTimeSetsTheCentreAndIsSent) {
    settings.pduMode = true;
    settings.skipPDUSCA = true;
    ASSERT_TRUE(StartPhone({}, 1.0));
    EXPECT_EQ(Transmit(Entry), TransmitOutcome::Sent);
    ExpectIdle();
    EXPECT_EQ(host->trace, (QStringList{u"Sending to 12345 at 44123..."_qs, u"+CMGS: 1"_qs,
                                        u"Message Sent"_qs}));
    EXPECT_EQ(
        phone->received(),
        BytesToHex("AT\rAT+CSCA=\"123\",145\rAT+CMGS=14\r110005912143F50000A70361F118\x1A\r"));
    EXPECT_EQ(phone->sent().size(), 1);
}

TEST_F(Roads, PduTransmissionWithoutSkipSendsNoCentre) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({u"--echo"_qs}));
    const QString entry = u"14,12345,0123,0791947101670000"_qs + Entry.mid(14);
    EXPECT_EQ(Transmit(entry), TransmitOutcome::Sent);
    EXPECT_FALSE(phone->received().contains(BytesToHex("AT+CSCA")));
    EXPECT_EQ(host->trace.last(), u"Message Sent"_qs);
}

TEST_F(Roads, PduTransmissionErrorKeepsTheEntry) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({u"--cmgs-error"_qs, u"500"_qs}));
    EXPECT_EQ(Transmit(Entry), TransmitOutcome::Failed);
    ExpectIdle();
    EXPECT_EQ(host->trace.mid(1), (QStringList{u"+CMS ERROR: 500"_qs, u"Message Failed"_qs}));
}

TEST_F(Roads, PduTransmissionWithoutPromptNeverWritesThePdu) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({u"--no-prompt"_qs, u"--echo"_qs}, 0.05));
    EXPECT_EQ(Transmit(Entry), TransmitOutcome::Failed);
    ExpectIdle();
    EXPECT_EQ(host->trace.last(), u"Message Failed"_qs);
    EXPECT_FALSE(phone->received().contains(u"1A0D"));
    EXPECT_TRUE(phone->sent().isEmpty());
}

TEST_F(Roads, BlockTransmissionIsConfirmedByInsertComplete) {
    ASSERT_TRUE(StartPhone({}));
    const QString entry = u"14,12345,,070200"_qs + Entry.mid(14);
    EXPECT_EQ(Transmit(entry), TransmitOutcome::Sent);
    ExpectIdle();
    const QStringList msgs = messages();
    ASSERT_EQ(msgs.size(), 2);
    EXPECT_EQ(msgs[0], u"MSG: 2A04"_qs);
    EXPECT_TRUE(msgs[1].startsWith(u"MSG: 100225")) << msgs[1].toStdString();
    EXPECT_EQ(host->log.size(), 3);  // both frames and the description of the second
    EXPECT_TRUE(host->log[2].contains(u"Message Type: INSERT SMS COMPLETE"))
        << host->log[2].toStdString();
    EXPECT_EQ(phone->sent(), QStringList{u"INSERT 070200"_qs + Entry.mid(14)});
    EXPECT_TRUE(phone->received().endsWith(BytesToHex(EndSmsModeFrame)));
}

TEST_F(Roads, BlockInsertFailureKeepsTheEntry) {
    ASSERT_TRUE(StartPhone({u"--insert-failure"_qs, u"41"_qs}));
    EXPECT_EQ(Transmit(u"14,12345,,070200"_qs + Entry.mid(14)), TransmitOutcome::Failed);
    ExpectIdle();
    const QStringList msgs = messages();
    ASSERT_EQ(msgs.size(), 2);
    EXPECT_TRUE(msgs[1].startsWith(u"MSG: 100226")) << msgs[1].toStdString();
    EXPECT_TRUE(host->log[2].contains(u"Message Type: INSERT SMS FAILURE"))
        << host->log[2].toStdString();
}

TEST_F(Roads, BlockInsertRejectIsTraced) {
    ASSERT_TRUE(StartPhone({u"--insert-reject"_qs, u"41"_qs}));
    EXPECT_EQ(Transmit(u"14,12345,,070200"_qs + Entry.mid(14)), TransmitOutcome::Failed);
    ExpectIdle();
    EXPECT_EQ(host->trace.last(), u"Message rejected by phone"_qs);
    EXPECT_EQ(messages().size(), 1);
}

TEST_F(Roads, UnreadableEntryIsDroppedWithoutTouchingThePhone) {
    ASSERT_TRUE(StartPhone({}));
    const QString bad = u"14,12345,0123,1100\rAT+CMGD=1"_qs;
    EXPECT_EQ(Transmit(bad), TransmitOutcome::Dropped);
    const QString line =
        u"Unreadable send-queue entry removed: 14,12345,0123,1100<0D>AT+CMGD=1 "
        u"(the data is not whole hex octets)"_qs;
    EXPECT_EQ(host->trace, QStringList{line});
    EXPECT_EQ(host->log, QStringList{line});
    EXPECT_EQ(host->disables, 0);
    EXPECT_EQ(phone->received(), QString());
}

TEST_F(Roads, TransmissionWaitsWhileAnotherExchangeHoldsThePort) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({}));
    host->DisableButtons();
    ASSERT_TRUE(link->OpenPort());
    EXPECT_EQ(Transmit(Entry), TransmitOutcome::Failed);
    EXPECT_TRUE(host->busy());
    EXPECT_EQ(host->enables, 0);
    EXPECT_TRUE(host->trace.isEmpty());
    EXPECT_EQ(phone->received(), QString());
}

TEST_F(Roads, VanishingPhoneEndsTheTransmission) {
    settings.pduMode = true;
    ASSERT_TRUE(StartPhone({u"--vanish-after"_qs, u"1"_qs}));
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(Transmit(Entry), TransmitOutcome::Failed);
    EXPECT_LT(t.elapsed(), 3000);
    ExpectIdle();
    EXPECT_EQ(Starting(host->trace, u"Port failure: ").size(), 1);
}

// ---- Fault runs: a misbehaving phone or disk, in each link mode ---------------------------
//
// Each run retrieves (with DeleteOld) and then sends one entry tick by tick as the send timer
// does, and checks outcomes, not steps: every message the phone deleted is whole in
// vantelq.dat; the entry went out exactly once or is still queued; every exchange ended within
// its time-outs with the buttons enabled and the port closed.

enum class Disk { Fine, Full, ListIsFolder, FolderGone };

struct FaultRun {
    const char *name;
    bool pdu;
    QStringList phone;
    Disk disk = Disk::Fine;
    bool echoSet = false;
    bool mustSend = true;  // the phone does take the message in the end
    QString traced = {};   // a line the trace must hold
    QString written = {};  // octets (hex) the program must have written to the phone
};

void PrintTo(const FaultRun &run, std::ostream *os) {
    *os << run.name;
}

// The TPDU of every delete the phone reports, "DELETE <store> <index> <pdu>".
QStringList DeletedPdus(const QString &dir) {
    QFile f(QDir(dir).filePath(u"deleted.txt"_qs));
    QStringList pdus;
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (const QList<QByteArray> w = line.trimmed().split(' '); w.size() == 4)
                pdus << QString::fromLatin1(w[3]);
    return pdus;
}

// The contents of the frames in a list file that pass their check.
QStringList StoredContents(const QString &path) {
    QFile f(path);
    QStringList contents;
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n')) {
            QString frame = QString::fromLatin1(line.trimmed());
            if (ValidateFrame(frame)) contents << frame;
        }
    return contents;
}

class Faults : public Roads, public ::testing::WithParamInterface<FaultRun> {};

TEST_P(Faults, NothingLostNothingSentTwiceNoExchangeOutlivesItsTimeOuts) {
    const FaultRun &run = GetParam();
    settings.pduMode = run.pdu;
    settings.echoSet = run.echoSet;
    settings.deleteOld = true;
    constexpr double Scale = 0.1;
    const QString list = dir.filePath(u"vantelq.dat"_qs);
    // A last line without its line end, as a full disk or an editor leaves it.
    const QByteArray cut = "10020310" + QByteArray(248, '0');
    {
        QFile f(list);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(cut) == cut.size());
    }
    if (run.disk == Disk::FolderGone) {
        // Tests run as root, who may write into any folder: a store folder that is gone
        // refuses every write the same way.
        link.reset();
        host = std::make_unique<TestHost>(QDir(dir.filePath(u"gone"_qs)));
        link = std::make_unique<Link>(*host, settings);
        ASSERT_TRUE(link->serial().setCommPort(7));
    }
    ASSERT_TRUE(StartPhone(
        QStringList{u"--deleted"_qs, dir.filePath(u"deleted.txt"_qs)} + run.phone, Scale));

    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    switch (run.disk) {
        case Disk::Fine:
            break;
        case Disk::Full: {
            signal(SIGXFSZ, SIG_IGN);
            rlimit full = before;
            full.rlim_cur = cut.size();  // room for the serial port's lock file, none for a line
            setrlimit(RLIMIT_FSIZE, &full);
            break;
        }
        case Disk::ListIsFolder:
            ASSERT_TRUE(QFile::remove(list) && QDir(dir.path()).mkdir(u"vantelq.dat"_qs));
            break;
        case Disk::FolderGone:
            break;
    }

    QElapsedTimer t;
    t.start();
    Retrieve();
    const qint64 retrieval = t.elapsed();
    ExpectIdle();

    const QString entry = run.pdu ? Entry : u"14,12345,0123,070204914421F3"_qs + Entry.mid(14);
    bool queued = true;
    qint64 longestSend = 0;
    for (int tick = 0; tick < 3 && queued; ++tick) {
        t.restart();
        queued = Transmit(entry) != TransmitOutcome::Sent;
        longestSend = std::max(longestSend, t.elapsed());
        ExpectIdle();
    }
    setrlimit(RLIMIT_FSIZE, &before);

    // Only messages were stored: no answer to another command taken for a listing.
    for (QString frame : host->offered)
        EXPECT_TRUE(!ValidateFrame(frame) || frame.size() > 10)
            << "stored no message: " << frame.toStdString();

    // Every message the phone deleted is whole in the list file.
    const QStringList stored = StoredContents(list);
    for (const QString &pdu : DeletedPdus(dir.path())) {
        const bool kept = std::any_of(stored.begin(), stored.end(), [&](const QString &c) {
            return c.startsWith(u"21") && c.mid(10) == pdu;
        });
        EXPECT_TRUE(kept) << "deleted but not stored: " << pdu.toStdString();
    }
    if (run.disk == Disk::Fine) {
        EXPECT_FALSE(DeletedPdus(dir.path()).isEmpty() && !run.pdu);
        QFile f(list);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll().startsWith(cut + "\r\n1002"));  // the old line kept its own
    } else {
        EXPECT_TRUE(DeletedPdus(dir.path()).isEmpty());
        EXPECT_FALSE(Starting(host->trace, u"Error saving vantelq.dat: ").isEmpty());
        EXPECT_EQ(Starting(host->log, u"Error saving vantelq.dat: ").size(),
                  Starting(host->trace, u"Error saving vantelq.dat: ").size());
    }

    // The entry went out once, or is still queued and went out not at all.
    EXPECT_EQ(phone->sent().size(), queued ? 0 : 1) << "queued: " << queued;
    EXPECT_TRUE(!run.mustSend || !queued);
    EXPECT_TRUE(run.traced.isEmpty() || host->trace.contains(run.traced))
        << run.traced.toStdString();
    EXPECT_TRUE(phone->received().contains(run.written));

    // Retrieval: entry, per pass a pause and two reply waits (echo) and a delete, the end.
    // Sending: the longest road is Block mode's 3 + 2 + 5 + 5 + 60 + 5 seconds.
    const int passes = int(host->offered.size()) + MaxFruitlessPasses + 1;
    EXPECT_LE(retrieval, Scale * 1000 * (8 + 46 * passes) + 2000);
    EXPECT_LE(longestSend, Scale * 1000 * 80 + 2000);
}

// A saved three-letter draft: LENGTH 0x10 in its frame.
const QString Draft = u"00010005812143F500000361F118"_qs;

INSTANTIATE_TEST_SUITE_P(
    Line, Faults,
    ::testing::Values(
        FaultRun{"BlockOctetByOctet", false, {u"--chunk"_qs, u"1"_qs, u"--baud"_qs, u"19200"_qs}},
        FaultRun{
            "BlockIn16OctetPieces", false, {u"--chunk"_qs, u"16"_qs, u"--baud"_qs, u"19200"_qs}},
        FaultRun{"BlockEchoWithEchoSet", false, {u"--echo-frames"_qs}, Disk::Fine, true},
        FaultRun{"BlockEchoWithoutEchoSet", false, {u"--echo-frames"_qs}},
        FaultRun{
            "BlockDraftWithLength10", false, {u"--message"_qs, u"ME,2,"_qs + Draft + u",16"_qs}},
        // A MESSAGE REF read from the stuffed frame would be the draft's LENGTH, 16, and
        // delete the message there before it was retrieved.
        FaultRun{"BlockIei10",
                 false,
                 {u"--no-samples"_qs, u"--message-iei"_qs, u"10"_qs, u"--message"_qs,
                  u"ME,2,"_qs + Draft + u",1"_qs, u"--message"_qs, u"ME,0,"_qs + Me1 + u",16"_qs}},
        FaultRun{"BlockMissingStuffing", false, {u"--drop-stuffing"_qs}},
        FaultRun{"BlockNulStream", false, {u"--babble"_qs, u"nul"_qs}},
        FaultRun{"BlockGarbageStream", false, {u"--babble"_qs, u"garbage"_qs}},
        FaultRun{"BlockGarbageBeforeAnswers", false, {u"--garbage"_qs, u"5"_qs}},
        FaultRun{"BlockDiskFull", false, {}, Disk::Full},
        FaultRun{"BlockListIsFolder", false, {}, Disk::ListIsFolder},
        FaultRun{"BlockFolderGone", false, {}, Disk::FolderGone},
        FaultRun{
            "BlockCablePulled", false, {u"--vanish-after"_qs, u"4"_qs}, Disk::Fine, false, false},
        FaultRun{"PduOctetByOctet", true, {u"--chunk"_qs, u"1"_qs, u"--baud"_qs, u"19200"_qs}},
        FaultRun{"PduCmtiBeforeCmgs", true, {u"--urc"_qs, u"+CMTI: \"SM\",3"_qs}},
        FaultRun{
            "PduRingAndCdsiEverywhere",
            true,
            {u"--urc"_qs, u"RING"_qs, u"--urc"_qs, u"+CDSI: \"SR\",1"_qs, u"--urc-between"_qs}},
        FaultRun{"PduLateOkToAt", true, {u"--late"_qs, u"AT,700"_qs}},
        FaultRun{"PduEcho", true, {u"--echo"_qs}},
        FaultRun{"PduNulStream", true, {u"--babble"_qs, u"nul"_qs}},
        FaultRun{"PduSilentAfterPdu",
                 true,
                 {u"--cmgs-silent"_qs},
                 Disk::Fine,
                 false,
                 false,
                 u"Message Failed"_qs,
                 u"1A0D1B"_qs},
        FaultRun{"PduNoPrompt",
                 true,
                 {u"--no-prompt"_qs},
                 Disk::Fine,
                 false,
                 false,
                 u"Message Failed"_qs,
                 u"0D1B"_qs},
        FaultRun{"PduDiskFull", true, {}, Disk::Full}),
    [](const ::testing::TestParamInfo<FaultRun> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantel::test
