// The cost of waiting for the phone: a silent 10-second SendAndWait must leave the processor
// alone (target: under 2% of one core), and a wait must end promptly once the awaited octets
// arrive (target: within 5 ms).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/settingsfile.h"
#include "link/host.h"
#include "link/link.h"

namespace {

using namespace vantel;
using Clock = std::chrono::steady_clock;

class QuietHost : public LinkHost {
public:
    void WriteTrace(const QString &, bool) override {}
    void DisableButtons() override {}
    void EnableButtons() override {}
    bool busy() const override { return false; }
    bool AppendListFile(const QString &) override { return true; }
    bool AddMessage(const QString &) override { return true; }
    QCoro::Task<> PlayAlert() override { co_return; }
};

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// A Link on the slave side of a pseudo-terminal; the benchmark plays the phone on the master.
struct Bench {
    Bench() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QFile::link(QString::fromLocal8Bit(ptsname(master)), dir.filePath(QStringLiteral("com1")));
        link.serial().setCommPort(1);
        ok = link.OpenPort();
    }
    ~Bench() {
        link.ClosePort();
        ::close(master);
        QDir::setCurrent(previous);
    }
    QTemporaryDir dir;
    QString previous;
    int master = -1;
    Settings settings;
    QuietHost host;
    Link link{host, settings};
    bool ok = false;
};

void BM_SilentWait(benchmark::State &state) {
    Bench b;
    if (!b.ok) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int seconds = int(state.range(0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = CpuSeconds();
        const auto w0 = Clock::now();
        const bool got = QCoro::waitFor(b.link.SendAndWait({}, QByteArrayLiteral("OK"), seconds));
        const double w = std::chrono::duration<double>(Clock::now() - w0).count();
        cpu += CpuSeconds() - c0;
        wall += w;
        state.SetIterationTime(w);
        if (got) state.SkipWithError("a silent line matched");
    }
    state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
    state.counters["cpu_ms"] = 1000.0 * cpu / double(state.iterations());
}
BENCHMARK(BM_SilentWait)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ArrivalLatency(benchmark::State &state) {
    Bench b;
    if (!b.ok) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        std::atomic<Clock::rep> written{0};
        std::thread phone([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const char answer[] = "\r\nOK\r\n";
            if (::write(b.master, answer, sizeof answer - 1) > 0)
                written = Clock::now().time_since_epoch().count();
        });
        Clock::time_point returned;
        auto wait = [&]() -> QCoro::Task<bool> {
            const bool got = co_await b.link.SendAndWait({}, QByteArrayLiteral("OK"), 10);
            returned = Clock::now();
            co_return got;
        };
        const bool got = QCoro::waitFor(wait());
        phone.join();
        if (!got) {
            state.SkipWithError("the answer was not found");
            break;
        }
        const double ms = std::chrono::duration<double, std::milli>(
                              returned - Clock::time_point(Clock::duration(written.load())))
                              .count();
        latencies.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
        b.link.clearBuffer();
    }
    if (latencies.empty()) return;
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (double l : latencies)
        sum += l;
    state.counters["latency_mean_ms"] = sum / double(latencies.size());
    state.counters["latency_median_ms"] = latencies[latencies.size() / 2];
    state.counters["latency_max_ms"] = latencies.back();
}
BENCHMARK(BM_ArrivalLatency)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
