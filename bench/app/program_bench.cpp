// The whole program on a folder of 100,000 messages, beside vantel-pdu on the same file: the real
// vantel started offscreen (run it under a D-Bus session of its own, dbus-run-session), the time
// until it is usable (its list loaded and all its threads asleep, the window's in the event loop,
// ready for Alt+Q), the time until it has ended after a SIGTERM sent then (the same save as Quit),
// its peak memory; vantel-pdu summary and summary --csv over vantelq.dat; and the CSV read back by
// Python's csv module when python3 is there. Best of RUNS runs (default 3).
//   build/bench/app/app_program_bench [COUNT] [RUNS]
// VANTEL_PROGRAM and VANTEL_PDU_PROGRAM in the environment replace the programs measured.
#include <signal.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "app/listline.h"
#include "app/messagestore.h"
#include "messagefile.h"

namespace {

QString Program(const char *variable, const char *built) {
    const QString set = qEnvironmentVariable(variable);
    return set.isEmpty() ? QString::fromUtf8(built) : set;
}

double Best(double a, double b) {
    return a < 0 || b < a ? b : a;
}

// Megabytes of the peak resident set of a running process.
double PeakMegabytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').at(0).toDouble() / 1024;
    return -1;
}

// Whether every thread of a process sleeps, and the nanoseconds they have run together.
std::pair<char, qint64> ThreadState(qint64 pid) {
    bool sleeping = true;
    qint64 ran = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/stat")));
        QFile sched(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!stat.open(QIODevice::ReadOnly) || !sched.open(QIODevice::ReadOnly)) continue;
        const QByteArray s = stat.readAll();
        const qsizetype close = s.lastIndexOf(')');
        sleeping = sleeping && close >= 0 && close + 2 < s.size() && s.at(close + 2) == 'S';
        ran += sched.readAll().split(' ').at(0).toLongLong();
    }
    return {sleeping ? 'S' : 'R', ran};
}

// Processor seconds (user and system) of the ended children so far.
double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds a command takes with `input` as standard input and `output` as standard output.
double Run(const QString &program, const QStringList &args, const QString &input,
           const QString &output) {
    QProcess p;
    p.setStandardInputFile(input);
    p.setStandardOutputFile(output);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    p.waitForFinished(-1);
    return p.exitCode() == 0 ? double(clock.nsecsElapsed()) / 1e9 : -1;
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const QString vantel = Program("VANTEL_PROGRAM", VANTEL_PROGRAM);
    const QString pdu = Program("VANTEL_PDU_PROGRAM", VANTEL_PDU);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fputs("app_program_bench: no D-Bus session (run it under dbus-run-session)\n", stderr);
        return 2;
    }
    QTemporaryDir temporary;
    // VANTEL_BENCH_FOLDER keeps the folder (and its files) for a profiler.
    const QDir dir(qEnvironmentVariable("VANTEL_BENCH_FOLDER", temporary.path()));
    QDir().mkpath(dir.path());
    QDir::setCurrent(dir.path());
    vantel::bench::WriteWindowFiles(count);
    // The file as Vantel leaves it at its end: in the list's order.
    {
        QFile file(QStringLiteral("vantelq.dat"));
        file.open(QIODevice::ReadOnly);
        QList<std::pair<QString, QString>> lines;
        for (const QString &frame : vantel::SplitListFile(file.readAll()))
            lines.append({vantel::MakeListLine(frame).line, frame});
        std::stable_sort(lines.begin(), lines.end(), [](const auto &a, const auto &b) {
            return vantel::SortedListModel::lessThan(a.first, b.first);
        });
        QStringList frames;
        for (const auto &line : lines)
            frames << line.second;
        file.close();
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(vantel::JoinListFile(frames));
    }
    QFile::remove(QStringLiteral("list.dat"));
    QFile::copy(QStringLiteral("vantelq.dat"), QStringLiteral("list.dat"));

    double listed = -1, ended = -1, peak = -1, cpu = -1;
    for (int r = 0; r < runs; ++r) {
        QFile::remove(QStringLiteral("vantelq.dat"));
        QFile::copy(QStringLiteral("list.dat"), QStringLiteral("vantelq.dat"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        const double cpuBefore = ChildrenCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        p.start(vantel, {QStringLiteral("--folder"), dir.path()});
        while (!bus.interface()->isServiceRegistered(QStringLiteral("org.vantel.Vantel")) &&
               p.state() != QProcess::NotRunning && clock.elapsed() < 60000)
            QThread::usleep(500);
        // Usable: the list loaded, every thread of the program asleep (the window's in its
        // event loop), none of them on a processor for 30 ms in a row. Then a SIGTERM, which ends
        // it as Quit does.
        double atList = -1, since = 0;
        qint64 ran = -1;
        while (p.state() != QProcess::NotRunning && clock.elapsed() < 60000) {
            const double now = double(clock.nsecsElapsed()) / 1e9;
            const auto [state, runtime] = ThreadState(p.processId());
            if (runtime != ran || state != 'S') {
                ran = runtime;
                since = now;
            } else if (now - since > 0.030) {
                atList = since;
                break;
            }
            QThread::usleep(1000);
        }
        peak = std::max(peak, PeakMegabytes(p.processId()));
        ::kill(pid_t(p.processId()), SIGTERM);
        p.waitForFinished(60000);
        const double atEnd = double(clock.nsecsElapsed()) / 1e9;
        if (atList < 0) {
            std::fputs("app_program_bench: vantel never became idle\n", stderr);
            return 1;
        }
        cpu = Best(cpu, ChildrenCpuSeconds() - cpuBefore);
        listed = Best(listed, atList);
        ended = Best(ended, atEnd);
    }

    double summary = -1, csv = -1;
    for (int r = 0; r < runs; ++r) {
        summary = Best(summary, Run(pdu, {QStringLiteral("summary")}, QStringLiteral("list.dat"),
                                    QProcess::nullDevice()));
        csv = Best(csv, Run(pdu, {QStringLiteral("summary"), QStringLiteral("--csv")},
                            QStringLiteral("list.dat"), QStringLiteral("list.csv")));
    }
    std::printf("%d messages, best of %d runs\n", count, runs);
    std::printf("vantel: start to usable (list loaded, idle)     %6.3f s\n", listed);
    std::printf("vantel: start to exit (SIGTERM at that point)   %6.3f s\n", ended);
    std::printf("vantel: processor time, start to exit           %6.3f s\n", cpu);
    std::printf("vantel: peak memory                             %6.1f MB\n", peak);
    std::printf("vantel-pdu summary                              %6.3f s\n", summary);
    std::printf("vantel-pdu summary --csv                        %6.3f s\n", csv);
    std::printf("ratios to vantel-pdu summary: usable %.1f, exit %.1f, csv %.1f\n",
                listed / summary, ended / summary, csv / summary);

    // The CSV as Python's csv module reads it: a header and one record per line of the list,
    // eight fields each, the frame of each record the line it came from.
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        std::printf("python3 not found: CSV not read back\n");
        return 0;
    }
    QProcess py;
    py.start(python, {QStringLiteral("-c"), QStringLiteral(R"(
import csv, datetime, sys
frames = [l.rstrip('\r\n') for l in open('list.dat', encoding='cp1252', newline='')]
rows = list(csv.reader(open('list.csv', encoding='utf-8', newline=''), strict=True))
assert rows[0] == ['time', 'kind', 'number', 'name', 'text', 'part', 'status', 'frame'], rows[0]
assert len(rows) == len(frames) + 1, (len(rows), len(frames))
assert all(len(r) == 8 for r in rows)
assert sorted(r[7] for r in rows[1:]) == sorted(frames)
for r in rows[1:]:
    datetime.datetime.fromisoformat(r[0])
    assert r[1] == 'deliver' and r[2].startswith('+44') and r[4].startswith('Message number')
print('python3 csv module: %d records read back, every field whole' % (len(rows) - 1))
)")});
    py.waitForFinished(-1);
    std::printf("%s%s", py.readAllStandardOutput().constData(),
                py.readAllStandardError().constData());
    return py.exitCode() == 0 ? 0 : 1;
}
