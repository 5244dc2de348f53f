// The link's test bench: a pseudo-terminal or the simulated phone reached as "com7" in a scratch
// working directory, and a LinkHost without a screen that records everything it is told.
#pragma once

#include <gtest/gtest.h>

#include <QCoroTask>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "app/messagestore.h"
#include "app/settingsfile.h"
#include "link/host.h"
#include "link/link.h"

namespace vantel::test {

// The master side of a pseudo-terminal plays the phone; the slave side is the program's device.
class Pty {
public:
    Pty();
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slave_; }
    int masterFd() const { return master_; }
    bool write(const QByteArray &octets);
    QByteArray read(int ms = 0);  // what the program wrote, waiting up to ms for the first octet
    void closeMaster();

private:
    int master_ = -1;
    QString slave_;
};

class TestHost : public LinkHost {
public:
    explicit TestHost(QDir dir);
    void WriteTrace(const QString &text, bool toLog) override;
    void DisableButtons() override { busy_ = true, ++disables; }
    void EnableButtons() override { busy_ = false, ++enables; }
    bool busy() const override { return busy_; }
    bool AppendListFile(const QString &frame) override;
    bool AddMessage(const QString &frame) override;
    QCoro::Task<> PlayAlert() override;

    QStringList trace, log, appended, offered;  // log: the lines written with toLog
    int disables = 0, enables = 0, alerts = 0;
    MessageStore store;

private:
    bool busy_ = false;
};

// vantel-phonesim as a child process, with its transcript, --sent and --deleted files.
class PhoneSim {
public:
    PhoneSim(const QString &dir, const QStringList &args);
    ~PhoneSim();
    bool ready() const { return ready_; }
    QString received() const;  // everything the program wrote to the phone, as hex
    QStringList sent() const { return lines(u"sent.txt"); }
    QStringList deleted() const { return lines(u"deleted.txt"); }

private:
    QStringList lines(QStringView file) const;
    QString dir_;
    QProcess process_;
    bool ready_ = false;
};

QStringList Starting(const QStringList &lines, QStringView prefix);

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the pseudo-terminal by the simulated phone; scale < 1 runs the waits faster.
    bool StartPhone(const QStringList &args, double scale = 0.1);
    // A new host and link whose message store lives in `storeDir`.
    void Rehost(const QString &storeDir);
    // Every exchange leaves the buttons enabled and the port closed.
    void ExpectIdle();
    // Runs a task to its end (a test may nest the event loop; the program never does).
    template <typename T>
    auto run(QCoro::Task<T> task) {
        return QCoro::waitFor(std::move(task));
    }

    QTemporaryDir dir;
    QString previous;
    Pty pty;
    Settings settings;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<Link> link;
    std::unique_ptr<PhoneSim> phone;
};

}  // namespace vantel::test
