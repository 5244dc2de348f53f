// Ten programs reading the message list at once while it holds 100,000 messages: the longest
// time the window did not get to handle its events (a 1 ms timer on its thread records the
// largest gap; goal under 50 ms) beside the longest one while nobody calls, the time until every
// caller has the whole list, and the process's peak memory.
#include "app/mainwindow.h"
#include "messagefile.h"
#include "privatebus.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr int kCallers = 10;

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// The longest gap between two turns of a 1 ms timer on the window's thread, split into the time
// the thread ran (its own work) and the time it waited for a processor (the machine's load), as
// the kernel counts them in /proc/thread-self/schedstat.
struct Stall {
    double wallMs = 0, ownMs = 0, queuedMs = 0;
};
class StallProbe {
public:
    Stall longest;

    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { turn(); });
    }
    void run(std::chrono::milliseconds quiet) {
        QEventLoop loop;
        QTimer::singleShot(quiet, &loop, &QEventLoop::quit);
        run(loop);
    }
    void run(QEventLoop &loop) {
        start();
        timer_.start(1);
        loop.exec();
        timer_.stop();
    }

private:
    static std::pair<double, double> scheduled() {
        QFile f(QStringLiteral("/proc/thread-self/schedstat"));
        if (!f.open(QIODevice::ReadOnly)) return {0, 0};
        const QList<QByteArray> fields = f.readAll().split(' ');
        return {fields.value(0).toDouble() / 1e6, fields.value(1).toDouble() / 1e6};
    }
    void start() {
        clock_.start();
        last_ = scheduled();
    }
    void turn() {
        const double wall = double(clock_.nsecsElapsed()) / 1e6;
        const auto now = scheduled();
        if (wall > longest.wallMs)
            longest = {wall, now.first - last_.first, now.second - last_.second};
        start();
    }

    QTimer timer_;
    QElapsedTimer clock_;
    std::pair<double, double> last_;
};

void BM_ListWhileWindowRuns(benchmark::State &state) {
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    vantel::bench::WriteWindowFiles(count);
    vantel::Vantel window;
    QCoro::waitFor(window.Form_Load());
    if (window.store().model().count() != count) {
        state.SkipWithError("the message list did not load");
        QDir::setCurrent(oldDir);
        return;
    }

    // The window's thread with nothing to do, for comparison: what the machine's other work
    // alone costs it.
    StallProbe probe;
    probe.run(std::chrono::seconds(3));
    const Stall quiet = probe.longest;

    Stall worst;
    QString said;
    for (auto _ : state) {
        QElapsedTimer clock;
        probe.longest = {};
        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QEventLoop loop;
        QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::chrono::minutes(5), &loop, &QEventLoop::quit);
        clock.start();
        client.start(QString::fromUtf8(VANTEL_LIST_CLIENT), {QString::number(kCallers)});
        probe.run(loop);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        said = QString::fromUtf8(client.readAllStandardOutput()).trimmed();
        if (client.state() != QProcess::NotRunning || client.exitCode() != 0 ||
            !said.endsWith(QStringLiteral(" entries %1").arg(count))) {
            client.kill();
            client.waitForFinished();
            state.SkipWithError(
                qPrintable(QStringLiteral("not every caller got the whole list: ") + said));
            break;
        }
        if (probe.longest.wallMs > worst.wallMs) worst = probe.longest;
    }
    QDir::setCurrent(oldDir);
    state.SetLabel(said.toStdString());
    state.counters["longest_stall_ms"] = worst.wallMs;
    state.counters["stall_own_cpu_ms"] = worst.ownMs;
    state.counters["stall_cpu_wait_ms"] = worst.queuedMs;
    state.counters["idle_stall_ms"] = quiet.wallMs;
    state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_ListWhileWindowRuns)
    ->Arg(100000)
    ->ArgName("messages")
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    vantel::testing::PrivateBus bus;
    if (!bus.start()) {
        std::fprintf(stderr, "cannot start a private dbus-daemon\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
