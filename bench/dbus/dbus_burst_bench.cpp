// 10,000 Execute calls in one burst from another process: the time until every call is
// acknowledged and queued, with the send queue checked to be complete and sorted. With the queue
// file (argument 1), every acknowledgement waits until its entry is in "vantelsq.dat" (a folder
// beside the working directory, on the disk the program would use).
#include "app/dbuslink.h"
#include "app/messagestore.h"
#include "app/sendqueuefile.h"
#include "app/sortedlistmodel.h"
#include "burstentries.h"
#include "privatebus.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QCoroProcess>
#include <QCoroTask>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>

namespace {

constexpr int kBurst = 10000;

QCoro::Task<bool> RunClient(QProcess &client) {
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString program = QString::fromUtf8(VANTEL_BURST_CLIENT);
    const QStringList args{QString::number(kBurst)};
    if (!co_await qCoro(client).start(program, args)) co_return false;
    co_return co_await qCoro(client).waitForFinished(std::chrono::minutes(2));
}

void BM_ExecuteBurst(benchmark::State &state) {
    QStringList expected = vantel::bench::BurstEntries(kBurst);
    std::stable_sort(expected.begin(), expected.end(), vantel::SortedListModel::lessThan);
    for (auto _ : state) {
        state.PauseTiming();
        vantel::SortedListModel queue;
        QStringList traces;
        vantel::SendSmsService service(queue, [&traces](const QString &l) { traces << l; });
        QTemporaryDir dir(QDir::current().filePath(QStringLiteral("burst-XXXXXX")));
        vantel::MessageStore store([&traces](const QString &l) { traces << l; }, QDir(dir.path()));
        vantel::SendQueueFile file(queue, store);
        if (state.range(0) != 0) {
            file.load();
            service.setQueueFile(&file);
        }
        if (!service.start()) {
            state.SkipWithError(qPrintable(traces.join(u'\n')));
            break;
        }
        QProcess client;
        state.ResumeTiming();

        const bool finished = QCoro::waitFor(RunClient(client));

        state.PauseTiming();
        if (!finished || client.exitCode() != 0) {
            state.SkipWithError("burst client did not get every acknowledgement");
            break;
        }
        if (queue.items() != expected ||
            (state.range(0) != 0 && store.ReadListFile(vantel::SendQueueFileName) != expected)) {
            state.SkipWithError("send queue incomplete or out of order");
            break;
        }
        state.counters["acknowledged"] = double(queue.count());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_ExecuteBurst)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("queueFile")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
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
