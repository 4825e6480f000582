// How often the stand-in Dock's pointer thread wakes while nobody touches the pointer. Needs an X
// display (bench.sh runs it under xvfb-run when there is none).
#include "Platform/dockstandin/PointerWatcher.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QThread>
#include <benchmark/benchmark.h>

namespace {

// Voluntary context switches (a thread going to sleep and being woken again) of each thread.
QMap<QString, qint64> switchesByThread()
{
    QMap<QString, qint64> switches;
    const QStringList threads = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(thread));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                switches.insert(thread, line.mid(line.indexOf(':') + 1).trimmed().toLongLong());
        }
    }
    return switches;
}

void BM_standInPointerIdle(benchmark::State &state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return state.SkipWithError("needs an X display");
    const QMap<QString, qint64> existing = switchesByThread();
    const QSet<QString> before(existing.keyBegin(), existing.keyEnd());
    PointerWatcher watcher;
    if (!watcher.start())
        return state.SkipWithError("cannot follow the pointer");
    // Let it settle after its first reading.
    QThread::msleep(200);
    double wakeups = 0;
    double seconds = 0;
    for (auto _ : state) {
        const QMap<QString, qint64> start = switchesByThread();
        QThread::sleep(2);
        const QMap<QString, qint64> end = switchesByThread();
        for (auto it = end.cbegin(); it != end.cend(); ++it) {
            if (!before.contains(it.key()))
                wakeups += double(it.value() - start.value(it.key(), it.value()));
        }
        seconds += 2;
    }
    watcher.stop();
    state.counters["wakeups_per_second"] = wakeups / seconds;
}

} // namespace

BENCHMARK(BM_standInPointerIdle)->Unit(benchmark::kMillisecond)->Iterations(1);
