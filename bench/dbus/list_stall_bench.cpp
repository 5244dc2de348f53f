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

void BM_ListWhileWindowRuns(benchmark::State &state) {
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        QFile ini(QStringLiteral("vantel.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("Speed=19200\r\nPort=1\r\n");
        QFile list(QStringLiteral("vantelq.dat"));
        list.open(QIODevice::WriteOnly);
        list.write(vantel::bench::MessageFile(count));
    }
    vantel::Vantel window;
    QCoro::waitFor(window.Form_Load());
    if (window.store().model().count() != count) {
        state.SkipWithError("the message list did not load");
        QDir::setCurrent(oldDir);
        return;
    }

    // The window's thread with nothing to do, for comparison: what the machine's other work
    // alone costs it.
    QElapsedTimer sinceLastTurn;
    double stall = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        stall = std::max(stall, double(sinceLastTurn.nsecsElapsed()) / 1e6);
        sinceLastTurn.start();
    });
    {
        QEventLoop quiet;
        QTimer::singleShot(std::chrono::seconds(3), &quiet, &QEventLoop::quit);
        sinceLastTurn.start();
        probe.start(1);
        quiet.exec();
        probe.stop();
    }
    const double quietStall = stall;

    double worstStall = 0;
    QString said;
    for (auto _ : state) {
        QElapsedTimer clock;
        stall = 0;
        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QEventLoop loop;
        QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::chrono::minutes(5), &loop, &QEventLoop::quit);
        clock.start();
        sinceLastTurn.start();
        probe.start(1);
        client.start(QString::fromUtf8(VANTEL_LIST_CLIENT), {QString::number(kCallers)});
        loop.exec();
        probe.stop();
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
        worstStall = std::max(worstStall, stall);
    }
    QDir::setCurrent(oldDir);
    state.SetLabel(said.toStdString());
    state.counters["longest_stall_ms"] = worstStall;
    state.counters["idle_stall_ms"] = quietStall;
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
