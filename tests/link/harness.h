// The test bench of the link and of the phone simulator: raw terminals, vantel-phonesim as a child
// process, a LinkHost without a screen, and the small vector files under tests/data.
#pragma once

#include <gtest/gtest.h>

#include <QCoroTask>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/messagestore.h"
#include "app/settingsfile.h"
#include "link/host.h"
#include "link/link.h"

// Test messages and failed comparisons show text as text.
inline std::ostream &operator<<(std::ostream &os, const QString &text) {
    return os << text.toStdString();
}

namespace vantel::test {

// A raw terminal: the master of a new pseudo-terminal (whose slave is slavePath), or a device.
class Tty {
public:
    Tty();
    explicit Tty(const QString &device, bool flush = true);
    ~Tty() { close(); }
    Tty(const Tty &) = delete;
    Tty &operator=(const Tty &) = delete;
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
    void close();
    int fd = -1;
    QString slavePath;
    bool hungUp = false;
};

class TestHost : public LinkHost {
public:
    explicit TestHost(QDir dir) : store([this](const QString &text) { trace << text; }, dir) {}
    void WriteTrace(const QString &text, bool toLog) override {
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

    QStringList trace, log, appended, offered;  // log: the lines written with toLog
    int disables = 0, enables = 0, alerts = 0;
    MessageStore store;

private:
    bool busy_ = false;
};

// vantel-phonesim linked as <dir>/com7, with its files "transcript", "sent" and "deleted".
class PhoneSim {
public:
    PhoneSim(const QString &dir, const QStringList &args);
    ~PhoneSim();
    QString path(const char *file) const { return QDir(dir_).filePath(QLatin1String(file)); }
    QStringList lines(const char *file) const;
    QString received() const;  // everything written to the phone, as hex
    bool ready = false;        // it said "ready <link>"
    QProcess process;

private:
    QString dir_;
};

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the pseudo-terminal by the simulated phone; scale < 1 runs the waits faster.
    bool StartPhone(const QStringList &args, double scale = 0.1);
    void Rehost(const QString &storeDir);  // a new host and link storing into storeDir
    void ExpectIdle();                     // after an exchange: buttons enabled, port closed
    // Runs a task to its end (a test may nest the event loop; the program never does).
    template <typename T>
    auto run(QCoro::Task<T> task) {
        return QCoro::waitFor(std::move(task));
    }

    QTemporaryDir dir;
    QString previous;
    Tty pty;
    Settings settings;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<Link> link;
    std::unique_ptr<PhoneSim> phone;
};

QStringList Starting(const QStringList &lines, QStringView prefix);

// A record of a vector file: a line "<kind> <name>" and the lines up to the next record.
struct Record {
    QString name;
    QStringList lines;
};
inline void PrintTo(const Record &r, std::ostream *os) {
    *os << r.name.toStdString();
}
// The records of one kind in tests/data/<file>; blank lines and lines starting with # are skipped.
QList<Record> Records(const char *file, QStringView kind);
// The rows of one kind in tests/data/link-vectors.txt, split at blanks; "-" is an empty field.
QList<QStringList> Rows(QStringView kind);
// "0x" and hex digits, or text in which \r \n \s \xHH stand for CR, LF, a blank and any octet.
QByteArray Octets(QStringView text);
QStringList Words(QStringView text);  // blank-separated, each read as Octets
inline QString Hex(const QByteArray &octets) {
    return QString::fromLatin1(octets.toHex().toUpper());
}

}  // namespace vantel::test
