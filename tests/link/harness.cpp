#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace vantel::test {

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        closeMaster();
        return;
    }
    slave_ = QString::fromLocal8Bit(ptsname(master_));
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

void Pty::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool Pty::write(const QByteArray &octets) {
    for (qsizetype done = 0, n; done < octets.size(); done += n)
        if ((n = ::write(master_, octets.constData() + done, octets.size() - done)) < 0)
            return false;
    return true;
}

QByteArray Pty::read(int ms) {
    QByteArray out;
    pollfd p{master_, POLLIN, 0};
    if (ms > 0 && ::poll(&p, 1, ms) <= 0) return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    return out;
}

TestHost::TestHost(QDir dir) : store([this](const QString &text) { trace << text; }, dir) {}

void TestHost::WriteTrace(const QString &text, bool toLog) {
    trace << text;
    if (toLog) log << text;
}

bool TestHost::AppendListFile(const QString &frame) {
    QString error;
    if (store.AppendListFile(frame, &error)) {
        appended << frame;
        return true;
    }
    WriteTrace(SaveErrorText(MessageListFile, error), true);
    return false;
}

bool TestHost::AddMessage(const QString &frame) {
    offered << frame;
    return store.AddMessage(frame);
}

QCoro::Task<> TestHost::PlayAlert() {
    ++alerts;
    co_return;
}

PhoneSim::PhoneSim(const QString &dir, const QStringList &args) : dir_(dir) {
    QDir d(dir);
    d.remove(QStringLiteral("com7"));
    const QStringList files{u"--link"_qs,       d.filePath(u"com7"_qs),
                            u"--transcript"_qs, d.filePath(u"phone.log"_qs),
                            u"--sent"_qs,       d.filePath(u"sent.txt"_qs),
                            u"--deleted"_qs,    d.filePath(u"deleted.txt"_qs)};
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VANTEL_PHONESIM), files + args);
    QByteArray out;
    while (!ready_ && process_.waitForReadyRead(5000))
        ready_ = (out += process_.readAllStandardOutput()).contains("ready ");
}

PhoneSim::~PhoneSim() {
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(1000);
}

QString PhoneSim::received() const {
    QString hex;
    for (const QString &line : lines(u"phone.log"))
        if (const QStringList w = line.split(u' '); w.size() == 3 && w[1] == u"RX") hex += w[2];
    return hex;
}

QStringList PhoneSim::lines(QStringView file) const {
    QFile f(QDir(dir_).filePath(file.toString()));
    QStringList lines;
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.trimmed().isEmpty()) lines << QString::fromLatin1(line.trimmed());
    return lines;
}

QStringList Starting(const QStringList &lines, QStringView prefix) {
    QStringList out;
    for (const QString &l : lines)
        if (l.startsWith(prefix)) out << l;
    return out;
}

void LinkFixture::SetUp() {
    ASSERT_TRUE(dir.isValid() && pty.ok());
    previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    ASSERT_TRUE(QFile::link(pty.slavePath(), dir.filePath(u"com7"_qs)));
    Rehost(dir.path());
}

void LinkFixture::Rehost(const QString &storeDir) {
    link.reset();
    host = std::make_unique<TestHost>(QDir(storeDir));
    link = std::make_unique<Link>(*host, settings);
    ASSERT_TRUE(link->serial().setCommPort(7));
}

void LinkFixture::TearDown() {
    link.reset();
    phone.reset();
    QDir::setCurrent(previous);
}

bool LinkFixture::StartPhone(const QStringList &args, double scale) {
    phone = std::make_unique<PhoneSim>(dir.path(), args);
    link->setTimeScale(scale);
    return phone->ready();
}

void LinkFixture::ExpectIdle() {
    EXPECT_EQ(host->disables, host->enables);
    EXPECT_FALSE(host->busy());
    EXPECT_FALSE(link->serial().isOpen());
}

}  // namespace vantel::test
