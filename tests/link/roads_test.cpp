// Whole exchanges against the simulated phone, or a phone scripted line by line, over a
// pseudo-terminal: what the program sent, what it stored, and every trace and log line. The runs
// are in tests/data/link-roads.txt and link-faults.txt.
#include <sys/resource.h>
#include <csignal>

#include "runs.h"

namespace vantel::test {
namespace {

TEST_P(Roads, Run) {
    if (const double s = GetParam().name.section(u' ', 1, 1).toDouble(); s > 0) scale = s;
    link->setTimeScale(scale);
    Play();
}

INSTANTIATE_TEST_SUITE_P(Roads, Roads, ::testing::ValuesIn(Records("link-roads.txt", u"road")),
                         Name);

// ---- Fault runs: a misbehaving phone or disk, in each link mode ---------------------------
//
// Each run retrieves (with DeleteOld) and then sends one entry tick by tick as the send timer
// does, and checks outcomes, not steps: every message the phone deleted is whole in
// vantelq.dat; the entry went out exactly once or is still queued; every exchange ended within
// its time-outs with the buttons enabled and the port closed. Then the run's own checks.

class Faults : public Roads {};

TEST_P(Faults, NothingLostNothingSentTwiceNoExchangeOutlivesItsTimeOuts) {
    settings.deleteOld = true;
    const QString list = dir.filePath(u"vantelq.dat"_qs);
    // A last line without its line end, as a full disk or an editor leaves it.
    const QByteArray cut = "10020310" + QByteArray(248, '0');
    QFile f(list);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(cut) == cut.size());
    f.close();
    QStringList checks;
    for (const QString &line : GetParam().lines)
        if (line.startsWith(u"expect "))
            checks << line;
        else
            Step(line.section(u' ', 0, 0), line.section(u' ', 1));
    // Tests run as root, who may write into any folder: a store folder that is gone refuses
    // every write the same way.
    if (disk == u"gone") Rehost(dir.filePath(u"gone"_qs));
    link->setTimeScale(scale);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    if (disk == u"full") {
        signal(SIGXFSZ, SIG_IGN);
        rlimit full = before;
        full.rlim_cur = cut.size();  // room for the serial port's lock file, none for a line
        setrlimit(RLIMIT_FSIZE, &full);
    } else if (disk == u"folder") {
        ASSERT_TRUE(QFile::remove(list) && QDir(dir.path()).mkdir(u"vantelq.dat"_qs));
    }

    Step(u"retrieve"_qs, {});
    const qint64 retrieval = took;
    const QString entry = u"14,12345,0123,"_qs +
                          (settings.pduMode ? u""_qs : u"070204914421F3"_qs) +
                          u"110005912143F50000A70361F118"_qs;
    qint64 longestSend = 0;
    for (int tick = 0; tick < 3 && (tick == 0 || outcome != TransmitOutcome::Sent); ++tick) {
        Step(u"send"_qs, entry);
        longestSend = std::max(longestSend, took);
    }
    const bool queued = outcome != TransmitOutcome::Sent;
    setrlimit(RLIMIT_FSIZE, &before);

    // Only messages were stored: no answer to another command taken for a listing.
    for (QString frame : host->offered)
        EXPECT_TRUE(!ValidateFrame(frame) || frame.size() > 10) << "stored no message: " << frame;

    // Every message the phone deleted ("DELETE <store> <index> <pdu>") is whole in the list file.
    QStringList stored;
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (QString c = QString::fromLatin1(line.trimmed());
                ValidateFrame(c) && c.startsWith(u"21"))
                stored << c.mid(10);  // a MESSAGE's TPDU
    const QStringList deleted = phone->lines("deleted");
    for (const QString &line : deleted)
        EXPECT_TRUE(stored.contains(line.section(u' ', 3))) << "deleted but not stored: " << line;
    const QStringList saveErrors = Starting(host->trace, u"Error saving vantelq.dat: ");
    if (disk.isEmpty()) {
        EXPECT_FALSE(deleted.isEmpty() && !settings.pduMode);
        f.seek(0);
        EXPECT_TRUE(f.readAll().startsWith(cut + "\r\n1002"));  // the old line kept its own
    } else {
        EXPECT_TRUE(deleted.isEmpty());
        EXPECT_FALSE(saveErrors.isEmpty());
        EXPECT_EQ(Starting(host->log, u"Error saving vantelq.dat: "), saveErrors);
    }

    // The entry went out once, or is still queued and went out not at all.
    EXPECT_EQ(phone->lines("sent").size(), queued ? 0 : 1) << "queued: " << queued;
    EXPECT_TRUE(mayStayQueued || !queued);

    // Retrieval: entry, per pass a pause and two reply waits (echo) and a delete, the end.
    // Sending: the longest road is Block mode's 3 + 2 + 5 + 5 + 60 + 5 seconds.
    const int passes = int(host->offered.size()) + MaxFruitlessPasses + 1;
    EXPECT_LE(retrieval, scale * 1000 * (8 + 46 * passes) + 2000);
    EXPECT_LE(longestSend, scale * 1000 * 80 + 2000);
    for (const QString &line : checks)
        Step(u"expect"_qs, line.section(u' ', 1));
}

INSTANTIATE_TEST_SUITE_P(Line, Faults, ::testing::ValuesIn(Records("link-faults.txt", u"fault")),
                         Name);

}  // namespace
}  // namespace vantel::test
