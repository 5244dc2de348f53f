// vantel-phonesim: a GSM phone on a pseudo-terminal, for trying the program without a phone.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <deque>

#include "options.h"
#include "phone.h"

using namespace vantel::phonesim;

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

constexpr qint64 kChunkGapUs = 5000;  // between pieces of an answer, without --baud
constexpr qint64 kIdleUs = 100000;    // quiet line: a frame may end on a checksum octet 0x10
constexpr qint64 kBabbleEveryUs = 10000;
constexpr int kBabbleOctets = 8;

struct Scheduled {
    qint64 due;  // microseconds since start
    QByteArray octets;
    bool first;  // the first piece of an output: babble may come before it, not inside
};

struct Held {
    qint64 release;
    Output output;
};

class Line {
public:
    explicit Line(const SimOptions &o) : options_(o), phone_(o), random_(o.seed ? o.seed : 1) {}
    ~Line() { Close(); }

    bool Open(QString *error);
    int Run();

private:
    void Close();
    void WatchClients();
    qint64 Now() const { return clock_.nsecsElapsed() / 1000; }
    void Log(const char *direction, QByteArrayView octets);
    void Schedule(const QList<Output> &outputs);
    void Enqueue(QByteArray octets, qint64 due, int step);
    void ReleaseHeld();
    void BabbleIfQuiet();
    qint64 NextWake() const;
    void WriteDue();
    void AppendFiles();
    quint8 Random();
    QByteArray Garbage(int n);

    SimOptions options_;
    Phone phone_;
    QElapsedTimer clock_;
    int master_ = -1;
    int watch_ = -1;   // inotify on the device: who has it open
    int clients_ = 0;  // opens minus closes seen; meaningful only with watch_
    int slave_ = -1;
    QString device_;
    bool linked_ = false;
    QFile transcript_;
    std::deque<Scheduled> queue_;
    QList<Held> held_;
    qint64 lineFree_ = 0;  // when the last queued piece has left (without --baud: its due time)
    qint64 lastInput_ = 0;
    qint64 nextBabble_ = 0;
    char lastWritten_ = 0;
    quint32 random_;
};

bool Line::Open(QString *error) {
    clock_.start();
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(strerror(errno));
        return false;
    }
    device_ = QString::fromLocal8Bit(ptsname(master_));
    // Our own slave descriptor keeps the line up while clients open and close the device.
    slave_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(device_, strerror(errno));
        return false;
    }
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tcsetattr(slave_, TCSANOW, &tio);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    const QByteArray link = QFile::encodeName(options_.link);
    struct stat st {};
    if (lstat(link.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(options_.link);
            return false;
        }
        ::unlink(link.constData());
    }
    if (symlink(ptsname(master_), link.constData()) != 0) {
        *error = QStringLiteral("cannot link %1: %2").arg(options_.link, strerror(errno));
        return false;
    }
    linked_ = true;

    // A real port drops what arrives while nobody has it open; our own descriptor would keep
    // it for the next client instead, so clients' opens and closes are watched.
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, ptsname(master_), IN_OPEN | IN_CLOSE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }

    if (!options_.transcript.isEmpty()) {
        transcript_.setFileName(options_.transcript);
        if (!transcript_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *error = QStringLiteral("cannot write %1").arg(options_.transcript);
            return false;
        }
    }
    return true;
}

void Line::Close() {
    if (linked_) {
        // Only our own link goes: another copy may have taken the name meanwhile.
        const QByteArray link = QFile::encodeName(options_.link);
        char target[4096];
        const ssize_t n = readlink(link.constData(), target, sizeof target - 1);
        if (n > 0 && QByteArray(target, n) == QFile::encodeName(device_))
            ::unlink(link.constData());
        linked_ = false;
    }
    if (watch_ >= 0) ::close(std::exchange(watch_, -1));
    if (slave_ >= 0) ::close(std::exchange(slave_, -1));
    if (master_ >= 0) ::close(std::exchange(master_, -1));
}

void Line::Log(const char *direction, QByteArrayView octets) {
    if (!transcript_.isOpen()) return;
    transcript_.write(QByteArray::number(Now() / 1000) + ' ' + direction + ' ' +
                      octets.toByteArray().toHex().toUpper() + '\n');
    transcript_.flush();
}

quint8 Line::Random() {
    random_ ^= random_ << 13;  // xorshift32
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return quint8(random_ & 0xFF);
}

QByteArray Line::Garbage(int n) {
    QByteArray g;
    for (int i = 0; i < n; ++i)
        g.append(char(Random()));
    return g;
}

// Pieces of `step` octets; with --baud each leaves when the line has carried the one before.
void Line::Enqueue(QByteArray octets, qint64 due, int step) {
    if (options_.baud > 0 && options_.chunk > 0) step = options_.chunk;
    if (options_.baud > 0 && options_.chunk == 0) step = 1;
    if (step <= 0) step = int(std::max<qsizetype>(1, octets.size()));
    due = std::max(due, lineFree_);
    for (qsizetype i = 0; i < octets.size(); i += step) {
        const QByteArray piece = octets.mid(i, step);
        queue_.push_back({due, piece, i == 0});
        // 10 bits an octet: start, 8 data, stop.
        const qint64 lineTime = options_.baud > 0 ? piece.size() * 10'000'000LL / options_.baud : 0;
        lineFree_ = due + lineTime;
        due += options_.baud > 0 ? lineTime : kChunkGapUs;
    }
}

void Line::Schedule(const QList<Output> &outputs) {
    if (options_.silent) return;
    const qint64 now = Now();
    for (const Output &o : outputs) {
        if (!o.answer) {
            Enqueue(o.octets, now, 0);
            continue;
        }
        if (o.lateMs > 0) {
            // Held apart: answers to later commands go out in their own time meanwhile.
            Output late = o;
            late.lateMs = 0;
            held_.append({now + qint64(o.lateMs) * 1000, late});
            continue;
        }
        Enqueue(Garbage(options_.garbage) + o.octets,
                now + qint64(options_.delayMs + o.extraDelayMs) * 1000, options_.chunk);
    }
}

void Line::ReleaseHeld() {
    const qint64 now = Now();
    for (qsizetype i = 0; i < held_.size();) {
        if (held_[i].release > now) {
            ++i;
            continue;
        }
        Enqueue(Garbage(options_.garbage) + held_[i].output.octets, now, options_.chunk);
        held_.removeAt(i);
    }
}

// Fills the quiet line after the first command; never inside an answer, and never an octet
// pair DLE ETX or "OK", even with the octet sent before it.
void Line::BabbleIfQuiet() {
    const qint64 now = Now();
    if (options_.babble == Babble::Off || phone_.CommandCount() == 0 || now < nextBabble_) return;
    if (!queue_.empty() && (!queue_.front().first || queue_.front().due <= now)) return;
    nextBabble_ = now + kBabbleEveryUs;
    QByteArray octets;
    char last = lastWritten_;
    while (octets.size() < kBabbleOctets) {
        const char c = options_.babble == Babble::Nul ? char(0) : char(Random());
        if ((last == 0x10 && c == 0x03) || (last == 'O' && c == 'K')) continue;
        if (octets.size() == kBabbleOctets - 1 && (c == 0x10 || c == 'O')) continue;
        octets.append(c);
        last = c;
    }
    const qint64 lineTime = options_.baud > 0 ? octets.size() * 10'000'000LL / options_.baud : 0;
    queue_.push_front({now, octets, true});
    lineFree_ = std::max(lineFree_, now + lineTime);
}

qint64 Line::NextWake() const {
    const qint64 now = Now();
    qint64 wake = now + 250000;
    if (!queue_.empty()) wake = std::min(wake, queue_.front().due);
    for (const Held &h : held_)
        wake = std::min(wake, h.release);
    if (phone_.WaitingForIdle()) wake = std::min(wake, lastInput_ + kIdleUs);
    const bool betweenAnswers = queue_.empty() || queue_.front().first;
    if (options_.babble != Babble::Off && phone_.CommandCount() > 0 && betweenAnswers)
        wake = std::min(wake, nextBabble_);
    return std::max(wake, now);
}

void Line::WatchClients() {
    alignas(inotify_event) char events[4096];
    ssize_t n;
    while (watch_ >= 0 && (n = ::read(watch_, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(events + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                ::close(std::exchange(watch_, -1));  // lost count: treat the port as open
                return;
            }
            if (e->mask & IN_OPEN) ++clients_;
            if ((e->mask & IN_CLOSE) && clients_ > 0 && --clients_ == 0) tcflush(slave_, TCIFLUSH);
        }
    }
}

void Line::WriteDue() {
    const qint64 now = Now();
    while (!queue_.empty() && queue_.front().due <= now) {
        Scheduled &s = queue_.front();
        if (watch_ >= 0 && clients_ == 0) {
            Log("TX", s.octets);  // sent into a port nobody has open: lost
            queue_.pop_front();
            continue;
        }
        const ssize_t n = ::write(master_, s.octets.constData(), size_t(s.octets.size()));
        if (n <= 0) return;  // line full: poll for POLLOUT
        Log("TX", QByteArrayView(s.octets).first(n));
        lastWritten_ = s.octets[n - 1];
        if (n < s.octets.size()) {
            s.octets.remove(0, n);
            return;
        }
        queue_.pop_front();
    }
}

void AppendLines(const QString &path, const QStringList &lines) {
    if (lines.isEmpty() || path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    for (const QString &l : lines)
        file.write(l.toLatin1() + '\n');
}

// Written before the answer leaves, so a client that has the answer finds the line.
void Line::AppendFiles() {
    AppendLines(options_.sent, phone_.TakeSentLines());
    AppendLines(options_.deleted, phone_.TakeDeletedLines());
}

int Line::Run() {
    std::printf("ready %s\n", qPrintable(options_.link));
    std::fflush(stdout);
    char buffer[4096];
    while (!g_stop) {
        const qint64 now = Now();
        const qint64 wait = NextWake() - now;
        const timespec timeout{time_t(wait / 1000000), long(wait % 1000000) * 1000};
        pollfd fds[2] = {{master_, POLLIN, 0}, {watch_, POLLIN, 0}};
        pollfd &p = fds[0];
        if (!queue_.empty() && queue_.front().due <= now) p.events |= POLLOUT;
        const int ready = ppoll(fds, watch_ >= 0 ? 2 : 1, &timeout, nullptr);
        if (ready < 0 && errno != EINTR) break;
        WatchClients();  // an open comes before the data written after it
        if (ready > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                lastInput_ = Now();
                Log("RX", QByteArrayView(buffer, n));
                Schedule(phone_.Receive(QByteArrayView(buffer, n)));
                AppendFiles();
            }
        }
        if (phone_.WaitingForIdle() && Now() - lastInput_ >= kIdleUs) {
            Schedule(phone_.Idle());
            AppendFiles();
        }
        ReleaseHeld();
        BabbleIfQuiet();
        if (phone_.Vanished()) {
            // Cable pulled: what was about to go out still leaves, then the line is gone.
            for (Scheduled &s : queue_)
                s.due = 0;
            WriteDue();
            Close();
            return 0;
        }
        WriteDue();
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.contains(u"--help") || args.contains(u"-h")) {
        std::fputs(qPrintable(UsageText()), stdout);
        return 0;
    }
    if (args.contains(u"--version")) {
        std::fputs("vantel-phonesim " VANTEL_VERSION "\n", stdout);
        return 0;
    }
    SimOptions options;
    QString error;
    if (!ParseArguments(args, options, &error)) {
        std::fprintf(stderr, "vantel-phonesim: %s\n%s", qPrintable(error), qPrintable(UsageText()));
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Line line(options);
    if (!line.Open(&error)) {
        std::fprintf(stderr, "vantel-phonesim: %s\n", qPrintable(error));
        return 1;
    }
    return line.Run();
}
