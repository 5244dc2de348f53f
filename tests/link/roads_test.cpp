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

class Roads : public LinkFixture, public ::testing::WithParamInterface<Record> {
protected:
    void Retrieve() { run(RetrieveMessages(*link, *host, settings)); }
    TransmitOutcome Transmit(const QString &entry) {
        return run(TransmitQueueEntry(*link, *host, settings, entry));
    }
    void Set(const QStringList &flags) {
        for (const QString &f : flags) {
            bool *flag = f == u"pduMode"          ? &settings.pduMode
                         : f == u"deleteOld"      ? &settings.deleteOld
                         : f == u"keepErr"        ? &settings.keepErr
                         : f == u"echoSet"        ? &settings.echoSet
                         : f == u"getOldMessages" ? &settings.getOldMessages
                         : f == u"getSIMMessages" ? &settings.getSIMMessages
                         : f == u"skipPDUSCA"     ? &settings.skipPDUSCA
                                                  : nullptr;
            ASSERT_TRUE(flag) << f.toStdString();
            *flag = true;
        }
    }
    void Expect(const QString &what, const QString &value);

    std::unique_ptr<Script> script;
    TransmitOutcome outcome{};
    qint64 took = 0;
};

bool Matches(qsizetype got, const QString &want) {
    return want.startsWith(u">=") ? got >= want.mid(2).toInt() : got == want.toInt();
}

void Roads::Expect(const QString &what, const QString &value) {
    const QString first = value.section(u' ', 0, 0), rest = value.section(u' ', 1);
    const QString text = QString::fromLatin1(Octets(value));
    const QStringList list = text.isEmpty() ? QStringList() : text.split(u'|');
    const QString wrote = phone ? phone->received() : QString();
    const QString octets = BytesToHex(Octets(value));
    const QStringList &trace = host->trace;
    if (what == u"trace")
        EXPECT_EQ(trace, list);
    else if (what == u"head")
        EXPECT_EQ(trace.mid(0, list.size()), list);
    else if (what == u"tail")
        EXPECT_EQ(trace.mid(trace.size() - list.size()), list);
    else if (what == u"log")
        EXPECT_EQ(host->log, list);
    else if (what == u"sent")
        EXPECT_EQ(phone->lines("sent"), list);
    else if (what == u"count") {
        qsizetype n = 0;
        for (const QString &line : QString::fromLatin1(Octets(rest)).split(u'|'))
            n += trace.count(line);
        EXPECT_EQ(n, first.toInt());
    } else if (what == u"lines")
        EXPECT_TRUE(Matches(Starting(trace, QString::fromLatin1(Octets(rest))).size(), first));
    else if (what == u"logged" || what == u"unlogged")
        EXPECT_EQ(std::any_of(host->log.begin(), host->log.end(),
                              [&](const QString &l) { return l.contains(text); }),
                  what == u"logged");
    else if (what == u"framed") {
        QStringList frames;
        for (const QString &pdu : rest.split(u'|'))
            frames << BytesToHex(BuildFrame(
                HexToBytes((first == u"1" ? u"21067E020100"_qs : u"21067E0201"_qs) + pdu)));
        EXPECT_EQ(host->offered, frames);
    } else if (what == u"outcome")
        EXPECT_EQ(outcome, value == u"Sent"     ? TransmitOutcome::Sent
                           : value == u"Failed" ? TransmitOutcome::Failed
                                                : TransmitOutcome::Dropped);
    else if (what == u"wrote")
        EXPECT_TRUE(wrote.contains(octets));
    else if (what == u"wrote!")
        EXPECT_FALSE(wrote.contains(octets));
    else if (what == u"wrote^")
        EXPECT_TRUE(wrote.startsWith(octets));
    else if (what == u"wrote$")
        EXPECT_TRUE(wrote.endsWith(octets));
    else if (what == u"wrote=")
        EXPECT_EQ(wrote, octets);
    else if (what == u"wrote#")
        EXPECT_EQ(wrote.count(BytesToHex(Octets(rest))), first.toInt());
    else if (what == u"took<")
        EXPECT_LT(took, value.toInt());
    else if (what == u"took>=")
        EXPECT_GE(took, value.toInt());
    else {
        const std::map<QString, qsizetype> counters{
            {u"#offered"_qs, host->offered.size()},
            {u"#appended"_qs, host->appended.size()},
            {u"#stored"_qs, host->store.model().count()},
            {u"#alerts"_qs, host->alerts},
            {u"#disables"_qs, host->disables},
            {u"#enables"_qs, host->enables},
            {u"#sent"_qs, phone ? phone->lines("sent").size() : 0},
            {u"#log"_qs, host->log.size()}};
        ASSERT_TRUE(counters.count(what)) << what.toStdString();
        EXPECT_TRUE(Matches(counters.at(what), value)) << counters.at(what);
    }
}

TEST_P(Roads, Run) {
    double scale = GetParam().name.section(u' ', 1, 1).toDouble();
    link->setTimeScale(scale > 0 ? scale : scale = 0.1);
    bool held = false;
    for (const QString &line : GetParam().lines) {
        SCOPED_TRACE(line.toStdString());
        const QString verb = line.section(u' ', 0, 0), rest = line.section(u' ', 1);
        QElapsedTimer t;
        t.start();
        if (verb == u"set")
            Set(Words(rest));
        else if (verb == u"phone")
            ASSERT_TRUE(StartPhone(Words(rest), scale));
        else if (verb == u"answer") {
            if (!script) script = std::make_unique<Script>(pty);
            script->answers.append(
                {rest.section(u' ', 0, 0).toLatin1(), Octets(rest.section(u' ', 1))});
        } else if (verb == u"later") {
            QTimer::singleShot(rest.section(u' ', 0, 0).toInt(), link.get(),
                               [&, o = Octets(rest.section(u' ', 1))] { pty.write(o); });
        } else if (verb == u"retrieve")
            Retrieve();
        else if (verb == u"send")
            outcome = Transmit(QString::fromLatin1(Octets(rest)));
        else if (verb == u"hold") {
            host->DisableButtons();
            ASSERT_TRUE(held = link->OpenPort());
        } else if (verb == u"noport") {
            ASSERT_TRUE(QFile::link(u"/nonexistent"_qs, dir.filePath(u"com9"_qs)));
            ASSERT_TRUE(link->serial().setCommPort(9));
        } else if (verb == u"forget")
            host->trace.clear();
        else if (verb == u"expect")
            Expect(rest.section(u' ', 0, 0), rest.section(u' ', 1));
        else
            FAIL() << "unknown step";
        if (verb == u"retrieve" || verb == u"send") {
            took = t.elapsed();
            if (!held) ExpectIdle();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, Roads, ::testing::ValuesIn(Records("link-roads.txt", u"road")),
                         Name);

// ---- Fault runs: a misbehaving phone or disk, in each link mode ---------------------------
//
// Each run retrieves (with DeleteOld) and then sends one entry tick by tick as the send timer
// does, and checks outcomes, not steps: every message the phone deleted is whole in
// vantelq.dat; the entry went out exactly once or is still queued; every exchange ended within
// its time-outs with the buttons enabled and the port closed.

class Faults : public Roads {};

TEST_P(Faults, NothingLostNothingSentTwiceNoExchangeOutlivesItsTimeOuts) {
    QString disk, traced;
    QStringList phoneArgs;
    QByteArray written;
    bool mustSend = true;
    settings.pduMode = GetParam().name.endsWith(u" pdu");
    for (const QString &line : GetParam().lines) {
        const QString key = line.section(u' ', 0, 0), rest = line.section(u' ', 1);
        if (key == u"phone")
            phoneArgs = Words(rest);
        else if (key == u"disk")
            disk = rest;
        else if (key == u"echoset")
            settings.echoSet = true;
        else if (key == u"unsent")
            mustSend = false;
        else if (key == u"traced")
            traced = rest;
        else if (key == u"wrote")
            written = Octets(rest);
        else
            FAIL() << line.toStdString();
    }
    settings.deleteOld = true;
    constexpr double Scale = 0.1;
    const QString list = dir.filePath(u"vantelq.dat"_qs);
    // A last line without its line end, as a full disk or an editor leaves it.
    const QByteArray cut = "10020310" + QByteArray(248, '0');
    {
        QFile f(list);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(cut) == cut.size());
    }
    // Tests run as root, who may write into any folder: a store folder that is gone refuses
    // every write the same way.
    if (disk == u"gone") Rehost(dir.filePath(u"gone"_qs));
    ASSERT_TRUE(StartPhone(phoneArgs, Scale));

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

    QElapsedTimer t;
    t.start();
    Retrieve();
    const qint64 retrieval = t.elapsed();
    ExpectIdle();

    const QString entry = u"14,12345,0123,"_qs +
                          (settings.pduMode ? u""_qs : u"070204914421F3"_qs) +
                          u"110005912143F50000A70361F118"_qs;
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

    // Every message the phone deleted ("DELETE <store> <index> <pdu>") is whole in the list file.
    QStringList stored;
    QFile f(list);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (QString frame = QString::fromLatin1(line.trimmed()); ValidateFrame(frame))
                stored << frame;
    const QStringList deleted = phone->lines("deleted");
    for (const QString &line : deleted) {
        const QString pdu = line.section(u' ', 3);
        EXPECT_TRUE(
            std::any_of(stored.begin(), stored.end(),
                        [&](const QString &c) { return c.startsWith(u"21") && c.mid(10) == pdu; }))
            << "deleted but not stored: " << pdu.toStdString();
    }
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
    EXPECT_TRUE(!mustSend || !queued);
    EXPECT_TRUE(traced.isEmpty() || host->trace.contains(traced)) << traced.toStdString();
    EXPECT_TRUE(phone->received().contains(BytesToHex(written)));

    // Retrieval: entry, per pass a pause and two reply waits (echo) and a delete, the end.
    // Sending: the longest road is Block mode's 3 + 2 + 5 + 5 + 60 + 5 seconds.
    const int passes = int(host->offered.size()) + MaxFruitlessPasses + 1;
    EXPECT_LE(retrieval, Scale * 1000 * (8 + 46 * passes) + 2000);
    EXPECT_LE(longestSend, Scale * 1000 * 80 + 2000);
}

INSTANTIATE_TEST_SUITE_P(Line, Faults, ::testing::ValuesIn(Records("link-faults.txt", u"fault")),
                         Name);

}  // namespace
}  // namespace vantel::test
