// Whole exchanges against the simulated phone, or a phone scripted line by line, over a
// pseudo-terminal: what the program sent, what it stored, and every trace and log line. The runs
// are in tests/data/link-roads.txt and link-faults.txt.
#include <sys/resource.h>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <csignal>

#include "atmode/transmit.h"
#include "blockmode/exchange.h"
#include "blockmode/frame.h"
#include "harness.h"
#include "pdu/primitives.h"

namespace vantel::test {
namespace {

// Answers each command line that starts with a key; unknown lines get nothing.
class Script : public QObject {
public:
    explicit Script(Tty &pty) : pty_(pty), notifier_(pty.fd, QSocketNotifier::Read) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] {
            line_ += pty_.read();
            for (qsizetype end; (end = line_.indexOf('\r')) >= 0; line_.remove(0, end + 1)) {
                const auto a = std::find_if(answers.begin(), answers.end(), [&](const auto &a) {
                    return line_.left(end).startsWith(a.first);
                });
                if (a != answers.end()) pty_.write(a->second);
            }
        });
    }
    QList<QPair<QByteArray, QByteArray>> answers;

private:
    Tty &pty_;
    QSocketNotifier notifier_;
    QByteArray line_;
};

std::string Name(const ::testing::TestParamInfo<Record> &info) {
    return info.param.name.section(u' ', 0, 0).toStdString();
}

qsizetype Count(const QStringList &lines, const QString &alternatives) {
    qsizetype n = 0;
    for (const QString &line : alternatives.split(u'|'))
        n += lines.count(line);
    return n;
}

bool Matches(qsizetype got, const QString &want) {
    return want.startsWith(u">=") ? got >= want.mid(2).toInt() : got == want.toInt();
}

// Runs the lines of a record (see tests/data/link-roads.txt) in order.
class Roads : public LinkFixture, public ::testing::WithParamInterface<Record> {
protected:
    void Play() {
        for (const QString &line : GetParam().lines) {
            SCOPED_TRACE(line.toStdString());
            Step(line.section(u' ', 0, 0), line.section(u' ', 1));
        }
    }
    void Step(const QString &verb, const QString &rest) {
        const QString first = rest.section(u' ', 0, 0), second = rest.section(u' ', 1);
        QElapsedTimer t;
        t.start();
        const std::map<QString, std::function<void()>> steps{
            {u"set"_qs,
             [&] {
                 ReadSettings(QByteArray("DebugMode=0 " + rest.toLatin1()).replace(' ', '\n'),
                              settings);
             }},
            {u"phone"_qs, [&] { ASSERT_TRUE(StartPhone(Words(rest), scale)); }},
            {u"answer"_qs,
             [&] {
                 Script().answers.append({first.toLatin1(), Octets(second)});
             }},
            {u"later"_qs,
             [&] {
                 QTimer::singleShot(first.toInt(), link.get(),
                                    [this, o = Octets(second)] { pty.write(o); });
             }},
            {u"retrieve"_qs, [&] { run(RetrieveMessages(*link, *host, settings)); }},
            {u"send"_qs,
             [&] {
                 outcome = run(
                     TransmitQueueEntry(*link, *host, settings, QString::fromLatin1(Octets(rest))));
             }},
            {u"hold"_qs, [&] { host->DisableButtons(), held = link->OpenPort(); }},
            {u"port"_qs,
             [&] {
                 if (!second.isEmpty()) QFile::link(second, dir.filePath(u"com"_qs + first));
                 link->serial().setCommPort(first.toInt());
             }},
            {u"open"_qs, [&] { EXPECT_EQ(link->OpenPort(), first == u"1"); }},
            {u"close"_qs, [&] { EXPECT_TRUE(link->ClosePort()); }},
            {u"feed"_qs, [&] { link->ReceiveData(Octets(rest)); }},
            {u"trickle"_qs, [&] { Trickle(first.toInt(), Octets(second)); }},
            {u"hangup"_qs,
             [&] { QTimer::singleShot(first.toInt(), link.get(), [&] { pty.close(); }); }},
            {u"wait"_qs,
             [&] {
                 const QString cmd = second.section(u' ', 0, 0), awaited = second.section(u' ', 1);
                 found = run(link->SendAndWait(cmd == u"-" ? QByteArray() : Octets(cmd),
                                               awaited == u"-" ? QByteArray() : Octets(awaited),
                                               first.toInt()));
             }},
            {u"pause"_qs, [&] { run(link->Pause(first.toInt())); }},
            {u"forget"_qs, [&] { host->trace.clear(); }},
            {u"unsent"_qs, [&] { mayStayQueued = true; }},
            {u"disk"_qs, [&] { disk = rest; }},
            {u"expect"_qs, [&] { Expect(first, second); }},
        };
        ASSERT_TRUE(steps.count(verb)) << "unknown step";
        steps.at(verb)();
        if (QStringList{u"retrieve"_qs, u"send"_qs, u"wait"_qs, u"pause"_qs}.contains(verb))
            took = t.elapsed();
        if ((verb == u"retrieve" || verb == u"send") && !held) ExpectIdle();
    }
    void Expect(const QString &what, const QString &value) {
        const QString first = value.section(u' ', 0, 0);
        const QString text = QString::fromLatin1(Octets(value));
        const QString rest = QString::fromLatin1(Octets(value.section(u' ', 1)));
        const QStringList list = text.isEmpty() ? QStringList() : text.split(u'|');
        const QString wrote = phone ? phone->received() : QString(), octets = Hex(Octets(value));
        const QStringList &trace = host->trace;
        QStringList frames;
        for (const QString &pdu : rest.split(u'|'))
            frames << Hex(BuildFrame(
                HexToBytes(u"21067E0201"_qs + (first == u"1" ? u"00"_qs : QString()) + pdu)));
        const std::map<QString, std::function<void()>> checks{
            {u"trace"_qs, [&] { EXPECT_EQ(trace, list); }},
            {u"head"_qs, [&] { EXPECT_EQ(trace.mid(0, list.size()), list); }},
            {u"tail"_qs, [&] { EXPECT_EQ(trace.mid(trace.size() - list.size()), list); }},
            {u"log"_qs, [&] { EXPECT_EQ(host->log, list); }},
            {u"sent"_qs, [&] { EXPECT_EQ(phone->lines("sent"), list); }},
            {u"count"_qs, [&] { EXPECT_EQ(Count(trace, rest), first.toInt()); }},
            {u"lines"_qs, [&] { EXPECT_TRUE(Matches(Starting(trace, rest).size(), first)); }},
            {u"logged"_qs, [&] { EXPECT_TRUE(host->log.join(u'\n').contains(text)); }},
            {u"unlogged"_qs, [&] { EXPECT_FALSE(host->log.join(u'\n').contains(text)); }},
            {u"framed"_qs, [&] { EXPECT_EQ(host->offered, frames); }},
            {u"outcome"_qs, [&] { EXPECT_EQ(int(outcome), Outcomes.indexOf(value)); }},
            {u"wrote"_qs, [&] { EXPECT_TRUE(wrote.contains(octets)); }},
            {u"wrote!"_qs, [&] { EXPECT_FALSE(wrote.contains(octets)); }},
            {u"wrote^"_qs, [&] { EXPECT_TRUE(wrote.startsWith(octets)); }},
            {u"wrote$"_qs, [&] { EXPECT_TRUE(wrote.endsWith(octets)); }},
            {u"wrote="_qs, [&] { EXPECT_EQ(wrote, octets); }},
            {u"wrote#"_qs,
             [&] { EXPECT_EQ(wrote.count(Hex(Octets(value.section(u' ', 1)))), first.toInt()); }},
            {u"captured"_qs, [&] { EXPECT_EQ(link->captured(), octets); }},
            {u"captured^"_qs, [&] { EXPECT_TRUE(link->captured().startsWith(octets)); }},
            {u"buffer"_qs, [&] { EXPECT_EQ(link->buffer(), octets); }},
            {u"read"_qs, [&] { EXPECT_EQ(Hex(pty.read(1000)), octets); }},
            {u"took<"_qs, [&] { EXPECT_LT(took, value.toInt()); }},
            {u"took>="_qs, [&] { EXPECT_GE(took, value.toInt()); }},
        };
        const std::map<QString, qsizetype> counters{
            {u"#offered"_qs, host->offered.size()},
            {u"#appended"_qs, host->appended.size()},
            {u"#stored"_qs, host->store.model().count()},
            {u"#alerts"_qs, host->alerts},
            {u"#disables"_qs, host->disables},
            {u"#enables"_qs, host->enables},
            {u"#sent"_qs, phone ? phone->lines("sent").size() : 0},
            {u"#log"_qs, host->log.size()},
            {u"#trace"_qs, trace.size()},
            {u"#found"_qs, found},
            {u"#lost"_qs, link->portLost()},
            {u"#open"_qs, link->serial().isOpen()}};
        if (checks.count(what))
            checks.at(what)();
        else if (counters.count(what))
            EXPECT_TRUE(Matches(counters.at(what), value)) << counters.at(what);
        else
            ADD_FAILURE() << "unknown check " << what;
    }
    struct Script &Script();
    // The phone writes octets one at a time, one every ms.
    void Trickle(int ms, const QByteArray &octets) {
        auto *timer = new QTimer(link.get());
        QObject::connect(timer, &QTimer::timeout, [this, octets, i = 0]() mutable {
            if (i < octets.size()) pty.write(octets.mid(i++, 1));
        });
        timer->start(ms);
    }

    const QStringList Outcomes{u"Sent"_qs, u"Failed"_qs, u"Dropped"_qs};  // TransmitOutcome's order
    std::unique_ptr<struct Script> script;
    TransmitOutcome outcome{};
    double scale = 0.1;
    qint64 took = 0;
    bool held = false, mayStayQueued = false, found = false;
    QString disk;
};

Script &Roads::Script() {
    if (!script) script = std::make_unique<struct Script>(pty);
    return *script;
}

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
