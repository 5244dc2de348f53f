// Start-up of the main window with a "vantelq.dat" of 100,000 messages: the time until the
// list is loaded, the longest time the window did not get to handle its events meanwhile, and
// the process's peak memory. Targets: under 2 s, no stall a user would notice, under 300 MB.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "app/mainwindow.h"
#include "messagefile.h"

namespace {

using vantel::bench::MessageFile;

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_LoadMessageList(benchmark::State &state) {
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    vantel::bench::WriteWindowFiles(count);

    double worstStall = 0;
    double loadSeconds = 0;
    int loaded = 0;
    for (auto _ : state) {
        vantel::Vantel window;
        QElapsedTimer sinceLastTurn;
        double stall = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            stall = std::max(stall, double(sinceLastTurn.nsecsElapsed()) / 1e6);
            sinceLastTurn.start();
        });
        QElapsedTimer clock;
        clock.start();
        sinceLastTurn.start();
        probe.start(0);
        auto startup = window.Form_Load();
        while (!startup.isReady())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        loadSeconds = seconds;
        worstStall = std::max(worstStall, stall);
        loaded = int(window.store().model().count());
        benchmark::DoNotOptimize(loaded);
    }
    QDir::setCurrent(oldDir);
    state.counters["load_s"] = loadSeconds;
    state.counters["messages"] = loaded;
    state.counters["longest_stall_ms"] = worstStall;
    state.counters["peak_MB"] = PeakMegabytes();
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_LoadMessageList)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
