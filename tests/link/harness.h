// The test bench of the link and of the phone simulator: raw terminals, vantel-phonesim as a child
// process, a LinkHost without a screen, the small vector files under tests/data, and a step
// interpreter for the runs they hold (tests/data/link-roads.txt explains the steps and checks).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/messagestore.h"
#include "app/settingsfile.h"
#include "atmode/transmit.h"
#include "blockmode/exchange.h"
#include "blockmode/frame.h"
#include "link/host.h"
#include "link/link.h"
#include "pdu/primitives.h"
#include "table.h"

namespace vantel::test {

// A raw terminal: the master of a new pseudo-terminal (whose slave is slavePath), or a device.
class Tty {
public:
    Tty();
    explicit Tty(const QString &device, bool flush = true);
    ~Tty() { close(); }
    bool ok() const { return fd >= 0; }
    bool write(const QByteArray &octets);
    // What arrives until `done` holds for it, `ms` have passed or the line hangs up.
    QByteArray readUntil(const std::function<bool(const QByteArray &)> &done, int ms);
    QByteArray read(int ms = 0) {  // waits up to ms for the first octets
        return readUntil([](const QByteArray &b) { return !b.isEmpty(); }, ms);
    }
    QByteArray readFor(int ms) {
        return readUntil([](const QByteArray &) { return false; }, ms);
    }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int fd = -1;
    QString slavePath;
    bool hungUp = false;
};

class TestHost : public LinkHost {
public:
    explicit TestHost(QDir folder)
        : dir(folder.absolutePath()),
          store([this](const QString &text) { trace << text; }, folder) {}
    // The pseudo-terminal's name and the test's folder change from run to run: lines show
    // them as <device> and <dir>.
    void WriteTrace(const QString &line, bool toLog) override {
        static const QRegularExpression pts(QStringLiteral("/dev/pts/[0-9]+"));
        QString text = line;
        text.replace(pts, QStringLiteral("<device>"));
        if (!dir.isEmpty()) text.replace(dir, QStringLiteral("<dir>"));
        trace << text;
        if (toLog) log << text;
    }
    void DisableButtons() override { busy_ = true, ++disables; }
    void EnableButtons() override { busy_ = false, ++enables; }
    bool busy() const override { return busy_; }
    bool AppendListFile(const QString &frame) override;
    bool AddMessage(const QString &frame) override {
        return offered << frame, store.AddMessage(frame);
    }
    QCoro::Task<> PlayAlert() override { co_return void(++alerts); }
    // The PIN box: answered by the "pin" steps in order ("-" cancels it).
    QCoro::Task<std::optional<QString>> AskPin(QString why) override {
        asked << why;
        if (pins.isEmpty()) {
            ADD_FAILURE() << "the PIN was asked without a pin step: " << why;
            co_return std::nullopt;
        }
        const QString pin = pins.takeFirst();
        if (pin == u"-") co_return std::nullopt;
        co_return pin;
    }

    QString dir;
    QStringList trace, log, appended, offered;  // log: the lines written with toLog
    QStringList pins, asked;                    // PIN answers still to give; the questions
    int disables = 0, enables = 0, alerts = 0;
    MessageStore store;

private:
    bool busy_ = false;
};

// vantel-phonesim linked as <dir>/com7, with its files "transcript", "sent" and "deleted".
class PhoneSim {
public:
    PhoneSim(const QString &dir, const QStringList &args);
    ~PhoneSim() {
        process.terminate();
        if (!process.waitForFinished(3000)) process.kill();
    }
    QString path(const char *file) const { return QDir(dir_).filePath(QLatin1String(file)); }
    QStringList lines(const char *file) const {
        QFile f(path(file));
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromLatin1(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    }
    struct Chunk {
        qint64 ms = -1;
        bool tx = false;  // the phone's answer, else what it received
        QByteArray octets;
    };
    // The transcript, once it holds `txOctets` of answers (it is written just after them) or
    // after two seconds.
    QList<Chunk> transcript(qsizetype txOctets = 0) const;
    QString received() const;  // everything written to the phone, as hex
    bool ready = false;        // it said "ready <link>"
    QProcess process;

private:
    QString dir_;
};

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid() && pty.ok() && QDir::setCurrent(dir.path()));
        ASSERT_TRUE(QFile::link(pty.slavePath, dir.filePath(u"com7"_qs)));
        Rehost(dir.path());
    }
    void TearDown() override { link.reset(), phone.reset(), QDir::setCurrent(previous); }
    // Replaces the pseudo-terminal by the simulated phone; scale < 1 runs the waits faster.
    bool StartPhone(const QStringList &args, double scale = 0.1) {
        phone = std::make_unique<PhoneSim>(dir.path(), args);
        link->setTimeScale(scale);
        return phone->ready;
    }
    void Rehost(const QString &storeDir) {  // a new host and link storing into storeDir
        link.reset();
        host = std::make_unique<TestHost>(QDir(storeDir));
        link = std::make_unique<Link>(*host, settings);
        ASSERT_TRUE(link->serial().setCommPort(7));
    }
    void ExpectIdle() {  // after an exchange: buttons enabled, port closed
        EXPECT_EQ(host->disables, host->enables);
        EXPECT_FALSE(host->busy() || link->serial().isOpen());
    }
    // Runs a task to its end (a test may nest the event loop; the program never does).
    template <typename T>
    auto run(QCoro::Task<T> task) {
        return QCoro::waitFor(std::move(task));
    }

    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    Tty pty;
    Settings settings;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<Link> link;
    std::unique_ptr<PhoneSim> phone;
};

inline QStringList Starting(const QStringList &lines, QStringView prefix) {
    return lines.filter(
        QRegularExpression(u"^"_qs + QRegularExpression::escape(prefix.toString())));
}

using table::Record;
// The rows of one kind in tests/data/link-vectors.txt, split at blanks; "-" is an empty field.
QList<QStringList> Rows(QStringView kind);
using table::Octets;
QStringList Words(QStringView text);  // blank-separated, each read as Octets

// A phone on the pseudo-terminal that answers each command line starting with a key.
class Script : public QObject {
public:
    explicit Script(Tty &pty) : notifier_(pty.fd, QSocketNotifier::Read) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this, &pty] {
            line_ += pty.read();
            for (qsizetype end; (end = line_.indexOf('\r')) >= 0; line_.remove(0, end + 1))
                for (const auto &[key, answer] : answers)
                    if (line_.left(end).startsWith(key)) {
                        pty.write(answer);
                        break;
                    }
        });
    }
    QList<QPair<QByteArray, QByteArray>> answers;

private:
    QSocketNotifier notifier_;
    QByteArray line_;
};

inline QString Hex(const QString &latin1) {
    return BytesToHex(latin1.toLatin1());
}
inline std::string Name(const ::testing::TestParamInfo<Record> &info) {
    return info.param.name.section(u' ', 0, 0).toStdString();
}

inline bool Matches(qsizetype got, const QString &want) {
    return want.startsWith(u">=") ? got >= want.mid(2).toInt() : got == want.toInt();
}

// Runs the lines of a record in order; a step that fails ends the record.
class Roads : public LinkFixture, public ::testing::WithParamInterface<Record> {
protected:
    void TearDown() override {
        if (host) {
            EXPECT_EQ(host->pins, QStringList()) << "a pin step had no effect";
        }
        LinkFixture::TearDown();
    }
    // Runs lines [from, to) of the record; false when one failed.
    bool Play(qsizetype from = 0, qsizetype to = -1) {
        const Record &r = GetParam();
        EXPECT_TRUE(r.error.isEmpty()) << r.error;
        for (qsizetype i = from; i < (to < 0 ? r.lines.size() : to) && r.error.isEmpty(); ++i) {
            SCOPED_TRACE(r.lines[i].where + ": " + r.lines[i].text.toStdString() + " (record at " +
                         r.where + ")");
            Step(r.lines[i].text.section(u' ', 0, 0), r.lines[i].text.section(u' ', 1));
            if (HasFatalFailure()) return false;
        }
        return r.error.isEmpty();
    }
    void Step(const QString &verb, const QString &rest) {
        const QString a = rest.section(u' ', 0, 0), b = rest.section(u' ', 1);
        const QByteArray octets = Octets(rest);
        bool ok = true;  // the step worked, where it can fail
        QElapsedTimer t;
        t.start();
        if (verb == u"set")
            ReadSettings(QByteArray("DebugMode=0 " + rest.toLatin1()).replace(' ', '\n'), settings);
        if (verb == u"phone") ok = StartPhone(Words(rest) + configArgs, scale);
        if (verb == u"config") ok = Configure(rest);
        if (verb == u">" && lastVerb == u">") usleep(20000);  // writes in a row go 20 ms apart
        if (verb == u">") ok = Client().write(octets), written += octets;
        if (verb == u"<") Read(0, octets);
        if (verb == u"<?") Read(a.toInt(), Octets(b));
        if (verb == u"terminate") phone->process.terminate();
        if (verb == u"gone") Gone();
        if (verb == u"refused") ok = Refused(Words(rest));
        if (verb == u"answer") Script().answers.append({a.toLatin1(), Octets(b)});
        if (verb == u"later")
            QTimer::singleShot(a.toInt(), link.get(), [this, o = Octets(b)] { pty.write(o); });
        if (verb == u"retrieve") run(RetrieveMessages(*link, *host, settings));
        if (verb == u"send")
            outcome = run(TransmitQueueEntry(*link, *host, settings, QString::fromLatin1(octets),
                                             &reference));
        if (verb == u"hold") host->DisableButtons(), ok = held = link->OpenPort();
        if (verb == u"port" && !b.isEmpty()) ok = QFile::link(b, dir.filePath(u"com"_qs + a));
        if (verb == u"port") ok = ok && link->serial().setCommPort(a.toInt());
        if (verb == u"open") ok = link->OpenPort() == (a == u"1");
        if (verb == u"close") ok = link->ClosePort();
        if (verb == u"feed") link->ReceiveData(octets);
        if (verb == u"trickle") Trickle(a.toInt(), Octets(b));
        if (verb == u"hangup") QTimer::singleShot(a.toInt(), link.get(), [this] { pty.close(); });
        if (verb == u"wait")
            found = run(link->SendAndWait(Field(b.section(u' ', 0, 0)), Field(b.section(u' ', 1)),
                                          a.toInt()));
        if (verb == u"frame") found = run(link->SendAndWaitFrame({}, a.toInt()));
        if (verb == u"pause") run(link->Pause(a.toInt()));
        if (verb == u"forget") host->trace.clear();
        if (verb == u"unsent") mayStayQueued = true;
        if (verb == u"kept") kept = true;
        if (verb == u"disk") ok = u"full part folder gone"_qs.split(u' ').contains(disk = rest);
        if (verb == u"expect") Expect(a, b);
        if (verb == u"pin") host->pins << rest;
        if (u"retrieve send wait frame pause"_qs.split(u' ').contains(verb)) took = t.elapsed();
        if ((verb == u"retrieve" || verb == u"send") && !held) ExpectIdle();
        ASSERT_TRUE(ok) << "the step failed";
        lastVerb = verb;
    }
    void Expect(const QString &what, const QString &value) {
        const QString a = value.section(u' ', 0, 0), text = QString::fromLatin1(Octets(value));
        const QString rest = QString::fromLatin1(Octets(value.section(u' ', 1)));
        const QStringList list = text.isEmpty() ? QStringList() : text.split(u'|');
        const QString wrote = phone ? phone->received() : QString(),
                      octets = BytesToHex(Octets(value));
        const QStringList &trace = host->trace, &log = host->log;
        qsizetype times = 0;  // octets (of rest) found at whole octets in what the phone got
        for (qsizetype at = 0; (at = table::OctetIndex(wrote, Hex(rest), at)) >= 0; ++at)
            ++times;

        qsizetype count = 0;  // of these lines in the trace, or the counter asked for
        for (const QString &line : rest.split(u'|'))
            count += trace.count(line);
        QStringList frames;  // MESSAGE frames of these PDUs (1: with SkipPDUSCA)
        for (const QString &pdu : rest.split(u'|'))
            frames << BytesToHex(
                BuildFrame(HexToBytes(u"21067E0201"_qs + (a == u"1" ? u"00"_qs : u""_qs) + pdu)));
        const QStringList names =
            u"#offered #appended #stored #alerts #disables #enables #sent "
            u"#log #trace #found #lost #open #asked"_qs.split(u' ');
        QList<qsizetype> counts;
        counts << host->offered.size() << host->appended.size() << host->store.model().count()
               << host->alerts << host->disables << host->enables
               << (phone ? phone->lines("sent").size() : 0) << log.size() << trace.size() << found
               << link->portLost() << link->serial().isOpen() << host->asked.size();
        if (names.contains(what)) count = counts[names.indexOf(what)];
        const std::map<QString, std::function<void()>> checks{
            {u"trace"_qs, [&] { EXPECT_EQ(trace, list); }},
            {u"head"_qs, [&] { EXPECT_EQ(trace.mid(0, list.size()), list); }},
            {u"tail"_qs, [&] { EXPECT_EQ(trace.mid(trace.size() - list.size()), list); }},
            {u"log"_qs, [&] { EXPECT_EQ(log, list); }},
            {u"sent"_qs, [&] { EXPECT_EQ(phone->lines("sent"), list); }},
            {u"count"_qs, [&] { EXPECT_EQ(count, a.toInt()); }},
            {u"lines"_qs, [&] { EXPECT_TRUE(Matches(Starting(trace, rest).size(), a)); }},
            {u"logged"_qs, [&] { EXPECT_TRUE(log.join(u'\n').contains(text)); }},
            {u"unlogged"_qs, [&] { EXPECT_FALSE(log.join(u'\n').contains(text)); }},
            {u"untraced"_qs, [&] { EXPECT_FALSE(trace.join(u'\n').contains(text)); }},
            {u"framed"_qs, [&] { EXPECT_EQ(host->offered, frames); }},
            {u"outcome"_qs, [&] { EXPECT_EQ(int(outcome), Outcomes.indexOf(value)); }},
            {u"reference"_qs, [&] { EXPECT_EQ(reference, value.toInt()); }},
            {u"wrote"_qs, [&] { EXPECT_GE(table::OctetIndex(wrote, octets), 0) << wrote; }},
            {u"wrote!"_qs, [&] { EXPECT_EQ(table::OctetIndex(wrote, octets), -1) << wrote; }},
            {u"wrote^"_qs, [&] { EXPECT_TRUE(wrote.startsWith(octets)); }},
            {u"wrote$"_qs, [&] { EXPECT_TRUE(wrote.endsWith(octets)); }},
            {u"wrote="_qs, [&] { EXPECT_EQ(wrote, octets); }},
            {u"wrote#"_qs, [&] { EXPECT_EQ(times, a.toInt()) << wrote; }},
            {u"captured"_qs, [&] { EXPECT_EQ(link->captured(), octets); }},
            {u"captured^"_qs, [&] { EXPECT_TRUE(link->captured().startsWith(octets)); }},
            {u"buffer"_qs, [&] { EXPECT_EQ(link->buffer(), octets); }},
            {u"read"_qs, [&] { EXPECT_EQ(BytesToHex(pty.read(1000)), octets); }},
            {u"took<"_qs, [&] { EXPECT_LT(took, value.toInt()); }},
            {u"took>="_qs, [&] { EXPECT_GE(took, value.toInt()); }},
            {u"#"_qs, [&] { EXPECT_TRUE(Matches(count, value)) << count; }}};
        const QString kind = names.contains(what) ? u"#"_qs : what;
        ASSERT_TRUE(checks.count(kind)) << "unknown check";
        checks.at(kind)();
    }
    static QByteArray Field(const QString &f) { return f == u"-" ? QByteArray() : Octets(f); }
    struct Script &Script() {
        if (!script) script = std::make_unique<struct Script>(pty);
        return *script;
    }
    bool Configure(const QString &line) {  // a line of a --config file for the phone
        QFile f(dir.filePath(u"phone.conf"_qs));
        configArgs = {u"--config"_qs, f.fileName()};
        return f.open(QIODevice::Append) && f.write(line.toUtf8() + '\n');
    }
    Tty &Client() {  // a client on the simulated phone's line, which starts if need be
        if (!phone) StartPhone(configArgs, scale);
        if (!client) client = std::make_unique<Tty>(phone->path("com7"));
        return *client;
    }
    // Exactly `octets` after `any` octets of any value; no octets: 300 ms of silence.
    void Read(int any, const QByteArray &octets) {
        const qsizetype size = any + octets.size();
        const QByteArray got = Client().readUntil(
            [&](const QByteArray &b) { return size && b.size() >= size; }, size ? 3000 : 300);
        EXPECT_EQ(got.size(), size);
        EXPECT_EQ(BytesToHex(got.mid(any)), BytesToHex(octets));
        read += got;
    }
    void Gone() {  // the phone ended, hung up and took its link with it
        EXPECT_TRUE(phone->process.waitForFinished(3000));
        EXPECT_EQ(phone->process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(phone->process.exitCode(), 0);
        client->readFor(100);
        EXPECT_TRUE(client->hungUp);
        EXPECT_FALSE(QFileInfo(phone->path("com7")).isSymLink());
    }
    static bool Refused(const QStringList &args) {  // with exit code 2
        QProcess p;
        p.start(QStringLiteral(VANTEL_PHONESIM), args);
        return p.waitForFinished(5000) && p.exitCode() == 2;
    }
    void Trickle(int ms, const QByteArray &octets) {  // one octet every ms
        auto *timer = new QTimer(link.get());
        QObject::connect(timer, &QTimer::timeout, [this, octets, i = 0]() mutable {
            if (i < octets.size()) pty.write(octets.mid(i++, 1));
        });
        timer->start(ms);
    }

    const QStringList Outcomes{u"Sent"_qs, u"Failed"_qs, u"Dropped"_qs};  // TransmitOutcome's order
    std::unique_ptr<struct Script> script;
    std::unique_ptr<Tty> client;
    QStringList configArgs;
    QString lastVerb, disk;
    QByteArray written, read;  // by and to the client
    TransmitOutcome outcome{};
    int reference = -2;  // the message reference the last send gave
    double scale = 0.1;
    qint64 took = 0;
    bool held = false, mayStayQueued = false, kept = false, found = false;
};

}  // namespace vantel::test
