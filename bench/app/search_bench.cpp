// A search typed over a message list of 100,000 lines shown in a list view: the first keystroke,
// which reads every line once, then each keystroke after it, typed on or changed to a word found
// anywhere in the list, each timed until the view has laid out and painted the lines it shows
// (slowest_ms; slowest_cpu_ms counts this thread's processor time only, for a busy machine), and
// until the shown lines are known (slowest_filter_ms).
// Target: under 50 ms a keystroke once the lines are read.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>

#include "app/listfilter.h"
#include "app/listline.h"
#include "app/sortedlistmodel.h"
#include "messagefile.h"

namespace {

// This thread's processor time: what a keystroke costs whatever else the machine runs.
double CpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

vantel::SortedListModel &List(int count) {
    static vantel::SortedListModel list;
    if (list.count() != count) {
        list.clear();
        QStringList lines;
        for (const QString &frame : QString::fromLatin1(vantel::bench::MessageFile(count))
                                        .split(u"\r\n"_qs, Qt::SkipEmptyParts))
            lines << vantel::MakeListLine(frame).line;
        list.addMany(lines);
    }
    return list;
}

// The first keystroke of the first search: every line decoded and folded once.
void BM_FirstSearch(benchmark::State &state) {
    vantel::SortedListModel &list = List(int(state.range(0)));
    for (auto _ : state) {
        vantel::ListFilterModel shown(list);
        shown.setQuery(u"m");
        benchmark::DoNotOptimize(shown.rowCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FirstSearch)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

// Keystrokes once the lines are read: each a whole pass (a new word, a word deleted) or a
// narrowing one (a letter typed on); the slowest is the figure that counts.
void BM_Keystroke(benchmark::State &state) {
    vantel::SortedListModel &list = List(int(state.range(0)));
    vantel::ListFilterModel shown(list);
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&shown);
    view.resize(760, 300);
    view.show();
    shown.setQuery(u"x");
    const QString typed[] = {u"4"_qs,         u"44"_qs,         u"447"_qs,     u"4477"_qs,
                             u"44770009"_qs,  u"m"_qs,          u"me"_qs,      u"message"_qs,
                             u"message 9"_qs, u"message 99"_qs, u"load"_qs,    u"99999"_qs,
                             u"zzz"_qs,       u"02/01"_qs,      u"03/04/05"_qs};
    double slowest = 0, slowestModel = 0, slowestCpu = 0;
    for (auto _ : state) {
        for (const QString &query : typed) {
            QElapsedTimer clock;
            clock.start();
            const double cpu = CpuMilliseconds();
            shown.setQuery(query);
            slowestModel = std::max(slowestModel, double(clock.nsecsElapsed()) / 1e6);
            QCoreApplication::processEvents();
            view.viewport()->repaint();
            slowest = std::max(slowest, double(clock.nsecsElapsed()) / 1e6);
            slowestCpu = std::max(slowestCpu, CpuMilliseconds() - cpu);
            benchmark::DoNotOptimize(shown.rowCount());
        }
        shown.setQuery(u"x");
    }
    state.counters["slowest_ms"] = slowest;
    state.counters["slowest_filter_ms"] = slowestModel;
    state.counters["slowest_cpu_ms"] = slowestCpu;
    state.counters["keystrokes"] = benchmark::Counter(double(state.iterations()) * std::size(typed),
                                                      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Keystroke)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
}
