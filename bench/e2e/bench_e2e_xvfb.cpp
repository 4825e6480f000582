// Speed as the user feels it: the real program and the real stand-in Dock on an X server of this
// benchmark's own, driven with XTest, each repaint seen on the server through XDamage, memory read
// from the running process. Every figure stands beside a floor measured in the same run: what a
// plain Qt window costs on the same server. Each benchmark reports the median and p90 of its samples
// (counters), and its iteration time is the sample itself.
#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/groups/ModelJson.h"
#include "bench/e2e/Session.h"
#include "bench/e2e/XProbe.h"
#include "tests/dock/ProgramWindows.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include <csignal>
#include <sys/stat.h>

using namespace E2E;

namespace {

constexpr quint32 keyControl = 0xffe3, keyEscape = 0xff1b, keyBackSpace = 0xff08;
// Where the main window (620×540, fixed) draws what the benchmarks press.
const QPoint syncAllButton(543, 500);
const QPoint editorNameField(350, 103);

double percentile(QList<double> samples, double fraction)
{
    if (samples.isEmpty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const double at = fraction * double(samples.size() - 1);
    const qsizetype low = qsizetype(at);
    const qsizetype high = std::min(low + 1, samples.size() - 1);
    return samples.at(low) + (samples.at(high) - samples.at(low)) * (at - double(low));
}

namespace E2EReport {
void report(benchmark::State &state, const QString &name, const QList<double> &samples)
{
    state.counters[(name + QStringLiteral("_median")).toStdString()] = percentile(samples, 0.5);
    state.counters[(name + QStringLiteral("_p90")).toStdString()] = percentile(samples, 0.9);
}
} // namespace E2EReport
using E2EReport::report;

// Everything a run shares: the X server, the probe, the sample files, and the one scenario that is
// running now (a benchmark of another scenario ends it).
struct Run {
    QTemporaryDir root;
    XServer server;
    std::unique_ptr<XProbe> probe;
    SampleFiles files;
    QString runtimeDir;
    QString scenarioName;
    std::unique_ptr<Scenario> scenario;
    bool ready = false;

    Run()
    {
        // KESTROWAN_BENCH_KEEP=1 keeps the homes, with the program's and the Dock's logs, for a look.
        root.setAutoRemove(qEnvironmentVariableIntValue("KESTROWAN_BENCH_KEEP") == 0);
        runtimeDir = root.path() + QStringLiteral("/runtime");
        QDir().mkpath(runtimeDir);
        QFile::setPermissions(runtimeDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (!server.start(root.path() + QStringLiteral("/xvfb.log")))
            return;
        // This process reads the Dock's tiles through its socket, which is named by both.
        qputenv("DISPLAY", server.display().toUtf8());
        qputenv("XDG_RUNTIME_DIR", runtimeDir.toUtf8());
        probe = std::make_unique<XProbe>(server.display());
        ready = probe->isValid() && files.make(root.path() + QStringLiteral("/files"));
    }

    ~Run()
    {
        scenario.reset();
        probe.reset();
        server.stop();
    }

    // The scenario `name`, set up by `setUp` the first time it is asked for.
    Scenario *use(const QString &name, const std::function<bool(Scenario &)> &setUp)
    {
        if (scenarioName == name && scenario)
            return scenario.get();
        scenario.reset();
        scenarioName = name;
        scenario = std::make_unique<Scenario>(root.path(), name, server.display(), runtimeDir);
        // The benchmark's own reads (the Dock's tiles) go to this scenario's Dock with its grants.
        qputenv("XDG_CONFIG_HOME", (scenario->home() + QStringLiteral("/.config")).toUtf8());
        if (!setUp(*scenario)) {
            scenario.reset();
            return nullptr;
        }
        return scenario.get();
    }
};

Run &run()
{
    // Ends its processes and its X server when the benchmarks are done.
    static Run instance;
    return instance;
}

// The first window of `pid` at least `minimumWidth` wide, once it is shown and has been drawn.
std::optional<XProbe::Window> shownWindow(pid_t pid, int minimumWidth, int timeoutMs = 60000)
{
    XProbe &probe = *run().probe;
    std::optional<XProbe::Window> found;
    probe.pumpUntil([&] {
        for (const XProbe::Window &window : probe.windows()) {
            if (window.pid == pid && window.viewable && window.geometry.width() >= minimumWidth && window.damageCount > 0)
                found = window;
        }
        return found.has_value();
    }, timeoutMs);
    return found;
}

// Waits until no window of `pid` has been repainted for `quietMs`.
bool settle(pid_t pid, int quietMs, int timeoutMs = 60000)
{
    XProbe &probe = *run().probe;
    return probe.pumpUntil([&] {
        qint64 last = 0;
        for (const XProbe::Window &window : probe.windows()) {
            if (window.pid == pid)
                last = std::max(last, window.lastDamage);
        }
        return XProbe::now() - last > qint64(quietMs) * 1000000;
    }, timeoutMs);
}

void pause(int ms)
{
    run().probe->pumpUntil([] { return false; }, ms);
}

Scenario *startedScenario(benchmark::State &state, const QString &name, const std::function<bool(Scenario &)> &setUp)
{
    if (!run().ready) {
        state.SkipWithError("no X server with XTest and XDamage, or the sample files could not be made");
        return nullptr;
    }
    Scenario *scenario = run().use(name, setUp);
    if (!scenario)
        state.SkipWithError("the scenario could not be set up");
    return scenario;
}

// The program started and its main window drawn and at rest.
std::optional<XProbe::Window> startProgramAndWait(Scenario &scenario)
{
    run().probe->clearDamage();
    if (!scenario.startProgram())
        return std::nullopt;
    std::optional<XProbe::Window> window = shownWindow(scenario.programPid(), 600);
    if (window && !settle(scenario.programPid(), 1000))
        return std::nullopt;
    return window;
}

// ---- Floors ------------------------------------------------------------------------------------

// A plain Qt window: start to painted, and its peak resident memory once at rest.
void BM_floor_plainWindowStartedAndPeakMemory(benchmark::State &state)
{
    Scenario *scenario = startedScenario(state, QStringLiteral("floor"), [](Scenario &) { return true; });
    if (!scenario)
        return;
    QList<double> shown, peak;
    for (auto _ : state) {
        Child floor;
        run().probe->clearDamage();
        const qint64 started = XProbe::now();
        floor.start(QStringLiteral(KESTROWAN_FLOOR), {QStringLiteral("window")}, scenario->environment(), scenario->home() + "/floor.log");
        const std::optional<XProbe::Window> window = shownWindow(floor.pid(), 600);
        if (!window)
            return state.SkipWithError("the plain window never showed");
        const double ms = double(window->lastDamage - started) / 1e6;
        state.SetIterationTime(ms / 1000);
        shown.append(ms);
        settle(floor.pid(), 1000);
        peak.append(double(statusKiB(floor.pid(), "VmHWM")) / 1024);
    }
    report(state, QStringLiteral("shown_ms"), shown);
    report(state, QStringLiteral("peak_MiB"), peak);
}
BENCHMARK(BM_floor_plainWindowStartedAndPeakMemory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(1);

// Key typed into a plain QLineEdit to its repaint on the server.
void BM_floor_lineEditKeystroke(benchmark::State &state)
{
    Scenario *scenario = startedScenario(state, QStringLiteral("floor"), [](Scenario &) { return true; });
    if (!scenario)
        return;
    Child floor;
    XProbe &probe = *run().probe;
    floor.start(QStringLiteral(KESTROWAN_FLOOR), {QStringLiteral("lineedit")}, scenario->environment(), scenario->home() + "/floor.log");
    const std::optional<XProbe::Window> window = shownWindow(floor.pid(), 600);
    if (!window)
        return state.SkipWithError("the line edit never showed");
    probe.click(window->geometry.topLeft() + QPoint(100, 20));
    settle(floor.pid(), 300);
    QList<double> samples;
    int n = 0;
    for (auto _ : state) {
        probe.clearDamage();
        const qint64 sent = probe.tapKey(n++ % 2 ? keyBackSpace : 'a');
        if (!probe.pumpUntil([&] { return probe.damagedWindowOf(floor.pid(), sent).has_value(); }, 10000))
            return state.SkipWithError("no repaint after a key");
        const double ms = double(probe.damagedWindowOf(floor.pid(), sent)->lastDamage - sent) / 1e6;
        state.SetIterationTime(ms / 1000);
        samples.append(ms);
        pause(60);
    }
    report(state, QStringLiteral("key_to_repaint_ms"), samples);
}
BENCHMARK(BM_floor_lineEditKeystroke)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(1);

// A new tool window shown on a key ("t") or when the pointer enters: to its first frame.
void BM_floor_newToolWindow(benchmark::State &state)
{
    const bool byHover = state.range(0) == 1;
    Scenario *scenario = startedScenario(state, QStringLiteral("floor"), [](Scenario &) { return true; });
    if (!scenario)
        return;
    Child floor;
    XProbe &probe = *run().probe;
    floor.start(QStringLiteral(KESTROWAN_FLOOR), {QStringLiteral("toolwindow")}, scenario->environment(), scenario->home() + "/floor.log");
    const std::optional<XProbe::Window> window = shownWindow(floor.pid(), 300);
    if (!window)
        return state.SkipWithError("the window never showed");
    const QPoint inside = window->geometry.center(), outside(1200, 60);
    probe.movePointer(outside);
    if (!byHover) {
        probe.click(inside);
        probe.movePointer(outside);
    }
    settle(floor.pid(), 300);
    QList<double> samples;
    for (auto _ : state) {
        probe.clearDamage();
        const qint64 sent = byHover ? probe.movePointer(inside) : probe.tapKey('t');
        if (!probe.pumpUntil([&] { return probe.damagedWindowOf(floor.pid(), sent, window->id).has_value(); }, 10000))
            return state.SkipWithError("the tool window never showed");
        const double ms = double(probe.damagedWindowOf(floor.pid(), sent, window->id)->lastDamage - sent) / 1e6;
        state.SetIterationTime(ms / 1000);
        samples.append(ms);
        pause(200);
        if (byHover)
            probe.movePointer(outside);
        else
            probe.tapKey(keyEscape);
        probe.pumpUntil([&] { return !probe.anyViewableWindowOf(floor.pid(), window->id); }, 10000);
        pause(100);
    }
    report(state, QStringLiteral("to_painted_ms"), samples);
}
BENCHMARK(BM_floor_newToolWindow)->ArgName("hover")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15)->Repetitions(1);

// ---- Goal: memory ------------------------------------------------------------------------------

// The program started with `range(0)` groups of applications, pictures and documents beside the
// Dock, until its main window is drawn and at rest for a second: its peak and current resident set.
void BM_program_peakMemory(benchmark::State &state)
{
    const int count = int(state.range(0));
    Scenario *scenario = startedScenario(state, QStringLiteral("memory-%1").arg(count), [count](Scenario &s) {
        return s.seed(sampleGroups(run().files, count, 4), run().files, false) && s.startDock();
    });
    if (!scenario)
        return;
    QList<double> peak, resident, firstFrame;
    for (auto _ : state) {
        const qint64 started = XProbe::now();
        const std::optional<XProbe::Window> window = startProgramAndWait(*scenario);
        if (!window)
            return state.SkipWithError("the main window never showed");
        peak.append(double(statusKiB(scenario->programPid(), "VmHWM")) / 1024);
        resident.append(double(statusKiB(scenario->programPid(), "VmRSS")) / 1024);
        const double ms = double(window->lastDamage - started) / 1e6;
        firstFrame.append(ms);
        state.SetIterationTime(ms / 1000);
        scenario->stopProgram();
    }
    report(state, QStringLiteral("peak_MiB"), peak);
    report(state, QStringLiteral("rss_MiB"), resident);
    report(state, QStringLiteral("first_frame_ms"), firstFrame);
}
BENCHMARK(BM_program_peakMemory)->ArgName("groups")->Arg(6)->Arg(200)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(1);

// ---- Goal: Sync All ----------------------------------------------------------------------------

// Processor time of the program and of the Dock themselves, and of the helpers each ran.
struct SyncFigures {
    double ms = 0, cpuMs = 0, programCpuMs = 0, programHelpersCpuMs = 0, dockCpuMs = 0, dockHelpersCpuMs = 0;
    double longestStallMs = 0, longestStallAtMs = 0;
};

struct SyncSamples {
    QList<double> elapsed, cpu, programCpu, programHelpersCpu, dockCpu, dockHelpersCpu, stall, stallAt;
    void add(benchmark::State &state, const SyncFigures &figures)
    {
        state.SetIterationTime(figures.ms / 1000);
        elapsed.append(figures.ms);
        cpu.append(figures.cpuMs);
        stall.append(figures.longestStallMs);
        stallAt.append(figures.longestStallAtMs);
        programCpu.append(figures.programCpuMs);
        programHelpersCpu.append(figures.programHelpersCpuMs);
        dockCpu.append(figures.dockCpuMs);
        dockHelpersCpu.append(figures.dockHelpersCpuMs);
    }
    void report(benchmark::State &state, const QString &elapsedName) const
    {
        E2EReport::report(state, elapsedName, elapsed);
        E2EReport::report(state, QStringLiteral("cpu_ms"), cpu);
        E2EReport::report(state, QStringLiteral("program_cpu_ms"), programCpu);
        E2EReport::report(state, QStringLiteral("program_helpers_cpu_ms"), programHelpersCpu);
        E2EReport::report(state, QStringLiteral("dock_cpu_ms"), dockCpu);
        E2EReport::report(state, QStringLiteral("dock_helpers_cpu_ms"), dockHelpersCpu);
        E2EReport::report(state, QStringLiteral("longest_stall_ms"), stall);
        // When the longest stall ended, after the click: where to look for it.
        E2EReport::report(state, QStringLiteral("longest_stall_end_ms"), stallAt);
    }
};

// From a click on Sync All until `done`, pinging the main window all along: the longest wait for an
// answer is the longest stall of the program's main thread. CPU of the program, of the Dock (the one
// ended and the one started) and of the helpers each ran, apart. The pings go on for `stallTailMs` after
// `done` (not counted in the time): the program takes in the Dock that came back then.
std::optional<SyncFigures> clickSyncAll(Scenario &scenario, const XProbe::Window &window, const std::function<bool(qint64)> &done,
                                        int stallTailMs = 0)
{
    XProbe &probe = *run().probe;
    const pid_t program = scenario.programPid(), keeper = scenario.keeperPid(), dock = scenario.dockPid();
    const ProcessCpu programBefore = ProcessCpu::of(program);
    const qint64 keeperBefore = cpuNanoseconds(keeper, true) - cpuNanoseconds(keeper, false);
    const ProcessCpu dockBefore = ProcessCpu::of(dock);
    qint64 longestStall = 0, longestStallEnd = 0;
    probe.pingAnswered = [&](qint64 delay) {
        if (delay > longestStall) {
            longestStall = delay;
            longestStallEnd = XProbe::now();
        }
    };
    qint64 lastPing = 0;
    probe.clearDamage();
    const qint64 clicked = probe.click(window.geometry.topLeft() + syncAllButton);
    const bool finished = probe.pumpUntil([&] {
        const qint64 now = XProbe::now();
        if (now - lastPing > 5000000) {
            probe.ping(window.id);
            lastPing = now;
        }
        return done(clicked);
    }, 120000);
    const qint64 ended = XProbe::now();
    if (finished && stallTailMs > 0) {
        probe.pumpUntil([&] {
            const qint64 now = XProbe::now();
            if (now - lastPing > 5000000) {
                probe.ping(window.id);
                lastPing = now;
            }
            return now - ended > qint64(stallTailMs) * 1000000;
        }, stallTailMs + 1000);
    }
    // Pings still unanswered at the end count for as long as they have waited.
    probe.pumpUntil([&] { return probe.pingsOutstanding() == 0; }, 5000);
    probe.pingAnswered = nullptr;
    if (!finished)
        return std::nullopt;
    const pid_t newDock = scenario.dockPid();
    const qint64 keeperAfter = cpuNanoseconds(keeper, true) - cpuNanoseconds(keeper, false);
    const ProcessCpu programAfter = ProcessCpu::of(program);
    const ProcessCpu dockAfter = ProcessCpu::of(newDock);
    // A Dock that was ended and started again: the ended one's time is in its keeper's account
    // (with the helpers it waited for), less what it had before; the new one's helpers count whole.
    qint64 dockCpu = 0, dockHelpersCpu = 0;
    if (newDock == dock) {
        dockCpu = dockAfter.own - dockBefore.own;
        dockHelpersCpu = dockAfter.helpersSince(dockBefore);
    } else {
        dockCpu = keeperAfter - keeperBefore - dockBefore.own - dockBefore.reaped + dockAfter.own;
        dockHelpersCpu = dockAfter.helpersSince(ProcessCpu());
    }
    SyncFigures figures;
    figures.ms = double(ended - clicked) / 1e6;
    figures.programCpuMs = double(programAfter.own - programBefore.own) / 1e6;
    figures.programHelpersCpuMs = double(programAfter.helpersSince(programBefore)) / 1e6;
    figures.dockCpuMs = double(dockCpu) / 1e6;
    figures.dockHelpersCpuMs = double(dockHelpersCpu) / 1e6;
    figures.cpuMs = figures.programCpuMs + figures.programHelpersCpuMs + figures.dockCpuMs + figures.dockHelpersCpuMs;
    figures.longestStallMs = double(longestStall) / 1e6;
    figures.longestStallAtMs = longestStallEnd > 0 ? double(longestStallEnd - clicked) / 1e6 : 0;
    return figures;
}

// The Dock is back: a new Dock under the keeper has drawn its window.
bool dockBack(Scenario &scenario, pid_t oldDock, qint64 since)
{
    const pid_t dock = scenario.dockPid();
    return dock > 0 && dock != oldDock && run().probe->damagedWindowOf(dock, since).has_value();
}

bool resetSyncScenario(Scenario &scenario, const QList<AppGroup> &groups)
{
    scenario.stopProgram();
    scenario.stopDock();
    // Moved aside, not deleted: the file system would otherwise spend the next sync's time looking
    // past a thousand inodes freed a moment ago, which a user's first sync never meets.
    static int moved = 0;
    QDir().rename(scenario.groupsFolder(), scenario.home() + QStringLiteral("/set-aside-%1").arg(++moved));
    return scenario.seed(groups, run().files, false) && scenario.startDock();
}

// The scenario of Sync All over `count` groups.
QString syncScenarioName(qint64 count)
{
    return QStringLiteral("syncall-%1").arg(count);
}

// Sync All over `range(0)` groups (six items each, five of them applications: 200 groups draw on
// all 900 sample applications; none synced yet), clicked in the main window, until the Dock is back
// with the new tiles; each sample on a fresh start of the program and the Dock. The longest stall
// covers two seconds more, while the program takes in the new Dock.
void BM_syncAll_firstTime(benchmark::State &state)
{
    static QList<AppGroup> groups;
    const int count = int(state.range(0));
    Scenario *scenario = startedScenario(state, syncScenarioName(count), [count](Scenario &) {
        groups = applicationGroups(run().files, count, 6);
        return true;
    });
    if (!scenario)
        return;
    SyncSamples samples;
    for (auto _ : state) {
        state.PauseTiming();
        if (!resetSyncScenario(*scenario, groups))
            return state.SkipWithError("the Dock did not start");
        const std::optional<XProbe::Window> window = startProgramAndWait(*scenario);
        state.ResumeTiming();
        if (!window)
            return state.SkipWithError("the main window never showed");
        const pid_t oldDock = scenario->dockPid();
        const std::optional<SyncFigures> figures =
            clickSyncAll(*scenario, *window, [&](qint64 since) { return dockBack(*scenario, oldDock, since); }, 2000);
        if (!figures)
            return state.SkipWithError("the Dock never came back");
        samples.add(state, *figures);
    }
    samples.report(state, QStringLiteral("click_to_dock_back_ms"));
}
BENCHMARK(BM_syncAll_firstTime)->ArgName("groups")->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(1);

// Sync All again with nothing changed: until the Dock's tile list has been written (no restart is due).
void BM_syncAll_200groups_again(benchmark::State &state)
{
    Scenario *scenario = startedScenario(state, syncScenarioName(200), [](Scenario &) { return false; });
    if (!scenario)
        return;
    const std::optional<XProbe::Window> window = run().probe->largestViewableWindowOf(scenario->programPid(), 600);
    if (!window)
        return state.SkipWithError("run after BM_syncAll_firstTime/groups:200");
    SyncSamples samples;
    for (auto _ : state) {
        settle(scenario->programPid(), 1000);
        struct stat before {};
        ::stat(QFile::encodeName(scenario->dockPreferences()).constData(), &before);
        const auto written = [&](qint64) {
            struct stat now {};
            return ::stat(QFile::encodeName(scenario->dockPreferences()).constData(), &now) == 0
                   && (now.st_ino != before.st_ino || now.st_mtim.tv_nsec != before.st_mtim.tv_nsec
                       || now.st_mtim.tv_sec != before.st_mtim.tv_sec);
        };
        const std::optional<SyncFigures> figures = clickSyncAll(*scenario, *window, written);
        if (!figures)
            return state.SkipWithError("the Dock's tile list was never written");
        samples.add(state, *figures);
    }
    samples.report(state, QStringLiteral("click_to_written_ms"));
}
BENCHMARK(BM_syncAll_200groups_again)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(1);

// From a Dock's end (`since`, the old one `old`) until the new one's bar has settled, what the bottom
// of the screen shows, read again and again. The new Dock's first repaint on the server is its bar
// showing; the changes of the screen after it, its tiles' pictures being drawn. How long until the
// bar, and after it until the first picture and until the last (nothing changing for a second tells
// the end); changes within a few milliseconds of the bar are its own drawing.
struct RestartFigures {
    double barMs = 0, firstPictureMs = 0, lastPictureMs = 0;
};
std::optional<RestartFigures> restartSeen(Scenario &scenario, pid_t old, qint64 since)
{
    XProbe &probe = *run().probe;
    const QRect bottom(0, probe.screenSize().height() - 160, probe.screenSize().width(), 160);
    QByteArray shown = probe.screenPixels(bottom);
    QList<qint64> changes;
    qint64 bar = 0;
    constexpr qint64 quiet = 1000000000, sameDrawing = 5000000;
    while (!shown.isEmpty() && (!bar || XProbe::now() - std::max(bar, changes.isEmpty() ? bar : changes.last()) < quiet)) {
        if (XProbe::now() - since > 60 * quiet)
            return std::nullopt;
        probe.pump();
        if (!bar) {
            const pid_t dock = scenario.dockPid();
            if (dock > 0 && dock != old) {
                if (const std::optional<XProbe::Window> window = probe.damagedWindowOf(dock, since))
                    bar = window->damages.value(0, window->lastDamage);
            }
        }
        const QByteArray now = probe.screenPixels(bottom);
        if (now != shown) {
            changes.append(XProbe::now());
            shown = now;
        }
    }
    if (!bar)
        return std::nullopt;
    RestartFigures figures;
    figures.barMs = double(bar - since) / 1e6;
    const auto picture = std::find_if(changes.cbegin(), changes.cend(), [bar](qint64 at) { return at - bar > sameDrawing; });
    if (picture != changes.cend()) {
        figures.firstPictureMs = double(*picture - bar) / 1e6;
        figures.lastPictureMs = double(changes.last() - bar) / 1e6;
    }
    return figures;
}

// The floor of Sync All: the Dock of `range(0)` group tiles ended and started again by its keeper,
// until it has drawn; and after its bar shows, until its first and its last tile pictures are drawn.
void BM_floor_dockRestart(benchmark::State &state)
{
    const int count = int(state.range(0));
    // Run alone, it sets up a Dock of as many group tiles as Sync All leaves.
    Scenario *scenario = startedScenario(state, syncScenarioName(count), [count](Scenario &s) {
        return s.seed(applicationGroups(run().files, count, 6), run().files, true) && s.startDock();
    });
    if (!scenario)
        return;
    QList<double> samples, firstPicture, lastPicture;
    for (auto _ : state) {
        pause(500);
        const pid_t old = scenario->dockPid();
        run().probe->clearDamage();
        const qint64 sent = XProbe::now();
        ::kill(old, SIGTERM);
        const std::optional<RestartFigures> figures = restartSeen(*scenario, old, sent);
        if (!figures)
            return state.SkipWithError("the Dock never came back");
        state.SetIterationTime(figures->barMs / 1000);
        samples.append(figures->barMs);
        firstPicture.append(figures->firstPictureMs);
        lastPicture.append(figures->lastPictureMs);
    }
    report(state, QStringLiteral("restart_ms"), samples);
    report(state, QStringLiteral("first_picture_after_bar_ms"), firstPicture);
    report(state, QStringLiteral("last_picture_after_bar_ms"), lastPicture);
}
BENCHMARK(BM_floor_dockRestart)->ArgName("groups")->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(1);
// The same at a thousand groups, each figure beside its floor.
BENCHMARK(BM_syncAll_firstTime)->ArgName("groups")->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(1);
BENCHMARK(BM_floor_dockRestart)->ArgName("groups")->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(1);

// ---- Goal: typing beside a full Dock -------------------------------------------------------------

// A key typed into the editor's name field, in hover mode, beside a Dock of 200 group tiles: to the
// repaint on the server. "alternate": letters and Backspace in turn, so the name goes back to the
// one in the Dock on every other key and the sync bar changes its state each time. "word": ten
// letters typed, then taken back with Backspace, as a name is typed and mended.
void BM_typing_editorNameBeside200DockTiles(benchmark::State &state)
{
    const bool word = state.range(0) == 1;
    static QList<AppGroup> groups;
    Scenario *scenario = startedScenario(state, QStringLiteral("typing-200"), [](Scenario &s) {
        groups = sampleGroups(run().files, 200, 4);
        return s.seed(groups, run().files, true) && s.startDock();
    });
    if (!scenario)
        return;
    XProbe &probe = *run().probe;
    const std::optional<XProbe::Window> window = startProgramAndWait(*scenario);
    if (!window)
        return state.SkipWithError("the main window never showed");
    if (!scenario->secondStart({QStringLiteral("kestrowan://open/group/") + ModelJson::uuidText(groups.first().id)}))
        return state.SkipWithError("the second start did not hand the link over");
    pause(500);
    settle(scenario->programPid(), 800);
    probe.click(window->geometry.topLeft() + editorNameField);
    settle(scenario->programPid(), 800);
    QList<double> samples;
    int n = 0;
    for (auto _ : state) {
        probe.clearDamage();
        const bool erase = word ? (n++ / 10) % 2 == 1 : n++ % 2 == 1;
        const qint64 sent = probe.tapKey(erase ? keyBackSpace : 'a');
        if (!probe.pumpUntil([&] { return probe.damagedWindowOf(scenario->programPid(), sent).has_value(); }, 10000))
            return state.SkipWithError("no repaint after a key");
        const double ms = double(probe.damagedWindowOf(scenario->programPid(), sent)->lastDamage - sent) / 1e6;
        state.SetIterationTime(ms / 1000);
        samples.append(ms);
        pause(60);
    }
    report(state, QStringLiteral("key_to_repaint_ms"), samples);
    scenario->stopProgram();
}
BENCHMARK(BM_typing_editorNameBeside200DockTiles)->ArgName("word")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(1);

// ---- Goal: opening a popup -----------------------------------------------------------------------

// The popups the benchmarks open, each its group's hot key Ctrl+1… in this order: small files, and
// applications of the sample home (half of them with a PNG icon, half with an SVG one).
struct PopupGroup {
    int items;
    bool applications;
};
const PopupGroup popupGroups[] = {{100, false}, {1000, false}, {5000, false}, {100, true}, {1000, true}};

QString popupTitle(const PopupGroup &group)
{
    return (group.applications ? QStringLiteral("Applications %1") : QStringLiteral("Popup %1")).arg(group.items);
}

int popupIndex(int items, bool applications)
{
    const auto found = std::find_if(std::begin(popupGroups), std::end(popupGroups), [&](const PopupGroup &group) {
        return group.items == items && group.applications == applications;
    });
    return int(found - std::begin(popupGroups));
}

// How a benchmark opens a popup: its hot key, resting the pointer on its Dock tile, clicking it.
enum class PopupRoad { hotKey = 0, hover = 1, click = 2 };

// The program in hover mode, or in click mode for `road` click: a user has one or the other.
Scenario *popupScenario(benchmark::State &state, PopupRoad road)
{
    const bool byClick = road == PopupRoad::click;
    return startedScenario(state, byClick ? QStringLiteral("popups-click") : QStringLiteral("popups"), [byClick](Scenario &s) {
        QList<AppGroup> groups;
        for (const PopupGroup &group : popupGroups) {
            groups.append(group.applications ? manyApplicationsGroup(run().files, popupTitle(group), group.items)
                                             : manyFilesGroup(run().files, popupTitle(group), group.items));
        }
        // The program keeps its own Dock tile, so that the tiles stay where they are while its
        // window comes and goes, as a user who shows it in the Dock has it.
        if (!s.seed(groups, run().files, true, int(std::size(popupGroups)), true, byClick) || !s.startDock())
            return false;
        const std::optional<XProbe::Window> window = startProgramAndWait(s);
        if (!window)
            return false;
        // The user has closed the main window; the program stays for its popups.
        run().probe->requestClose(window->id);
        return run().probe->pumpUntil([&] { return !run().probe->anyViewableWindowOf(s.programPid()); }, 20000);
    });
}

// A popup of `range(0)` items opened by the road `range(1)`: its hot key (Ctrl+1, 2, 3) with the
// pointer away from the Dock, resting the pointer on its Dock tile, or clicking the tile in click
// mode: from the key, the pointer's arrival or the button's press to its first frame on the server.
void BM_popup_open(benchmark::State &state)
{
    const int size = int(state.range(0));
    const auto road = PopupRoad(state.range(1));
    const bool applications = state.range(2) == 1;
    const bool onTheDock = road != PopupRoad::hotKey;
    Scenario *scenario = popupScenario(state, road);
    if (!scenario)
        return;
    XProbe &probe = *run().probe;
    const int index = popupIndex(size, applications);
    // Beside the Dock and clear of every panel, which stands above its tile.
    const QPoint away(60, 400);
    // Read afresh each time: the Dock makes room for the program's own tile while its window shows.
    // This process's copy of the Dock's tiles comes in through Qt's event loop, which the probe's
    // waits do not run: wait for the tile with that loop running.
    const QString title = popupTitle(popupGroups[index]);
    const auto tileCenter = [&title]() -> std::optional<QPoint> {
        std::optional<DockItemInfo> tile;
        if (!QTest::qWaitFor([&] { return (tile = ProgramWindows::tileOf(title)).has_value(); }, ProgramWindows::roadTimeout))
            return std::nullopt;
        return tile->frame.center().toPoint();
    };
    const auto open = [&](const QPoint &onTile) {
        switch (road) {
        case PopupRoad::hover:
            // From a point beside the centre, so that the pointer moves onto the tile's centre.
            probe.movePointer(onTile + QPoint(1, 0));
            return probe.movePointer(onTile);
        case PopupRoad::click:
            return probe.click(onTile);
        case PopupRoad::hotKey:
            break;
        }
        return probe.tapKey('1' + index, {keyControl});
    };
    QPoint onTile;
    const pid_t pid = scenario->programPid();
    const auto closed = [&] { return !probe.anyViewableWindowOf(pid); };
    // Closes the popup as the road's user does: the pointer leaves the tile, or Escape.
    const auto close = [&] {
        if (road == PopupRoad::hover) {
            probe.movePointer(away);
            // Moves again now and then until the program has taken the pointer's move.
            for (int tries = 0; tries < 20; ++tries) {
                probe.movePointer(away + QPoint(1, 0));
                probe.movePointer(away);
                if (probe.pumpUntil(closed, 1000))
                    return true;
            }
            return false;
        }
        probe.tapKey(keyEscape);
        return probe.pumpUntil(closed, 20000);
    };
    if (onTheDock) {
        // Again now and then until the program has taken it: it watches the pointer and the Dock's
        // clicks only once its start-up is through.
        bool shown = false;
        for (int tries = 0; tries < 20 && !shown; ++tries) {
            const std::optional<QPoint> centre = tileCenter();
            if (!centre)
                return state.SkipWithError("the Dock never showed the group's tile to this process");
            onTile = *centre;
            const qint64 since = open(onTile);
            shown = probe.pumpUntil([&] { return probe.damagedWindowOf(pid, since).has_value(); }, 1000);
        }
        if (!shown || !close()) {
            static std::string message;
            message = QString::fromLatin1(shown ? "the popup on the tile at %1,%2 never closed" : "no popup showed on the tile at %1,%2")
                          .arg(onTile.x())
                          .arg(onTile.y())
                          .toStdString();
            return state.SkipWithError(message.c_str());
        }
    }
    probe.movePointer(away);
    pause(500);
    QList<double> samples;
    for (auto _ : state) {
        if (onTheDock) {
            const std::optional<QPoint> centre = tileCenter();
            if (!centre)
                return state.SkipWithError("the group's tile went from the Dock");
            onTile = *centre;
        }
        probe.clearDamage();
        const qint64 sent = open(onTile);
        if (!probe.pumpUntil([&] { return probe.damagedWindowOf(pid, sent).has_value(); }, 20000))
            return state.SkipWithError("the popup never showed");
        const double ms = double(probe.damagedWindowOf(pid, sent)->lastDamage - sent) / 1e6;
        state.SetIterationTime(ms / 1000);
        samples.append(ms);
        pause(400);
        if (!close()) {
            QString stillShown;
            for (const XProbe::Window &window : probe.windows()) {
                if (window.pid == pid && window.viewable)
                    stillShown += QStringLiteral(" %1x%2+%3+%4").arg(window.geometry.width()).arg(window.geometry.height()).arg(window.geometry.x()).arg(window.geometry.y());
            }
            static std::string message;
            message = ("the popup never closed; still shown:" + stillShown).toStdString();
            return state.SkipWithError(message.c_str());
        }
        probe.movePointer(away);
        pause(200);
    }
    report(state, QStringLiteral("to_painted_ms"), samples);
}
BENCHMARK(BM_popup_open)
    ->ArgNames({"items", "road", "applications"})
    // Road by road: the click road has a program and a Dock of its own, started once.
    ->Apply([](benchmark::internal::Benchmark *benchmark) {
        for (const PopupRoad road : {PopupRoad::hotKey, PopupRoad::hover, PopupRoad::click}) {
            for (const PopupGroup &group : popupGroups)
                benchmark->Args({group.items, int(road), group.applications ? 1 : 0});
        }
    })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(1);

// Keys typed into the search of a popup of 1,000 applications opened by its hot key: "1", "2", "3"
// and three Backspaces in turn, so the search narrows to a few items and widens to all of them
// again. Each sample is one key: the program's processor time (every thread, to the nanosecond,
// and the helpers it waited for) from the key until its popup was painted and at rest again; and
// the helpers the program started while the keys were typed, which should be none.
void BM_popup_searchKey(benchmark::State &state)
{
    Scenario *scenario = popupScenario(state, PopupRoad::hotKey);
    if (!scenario)
        return;
    XProbe &probe = *run().probe;
    const pid_t pid = scenario->programPid();
    const int index = popupIndex(int(state.range(0)), true);
    probe.movePointer(QPoint(60, 400));
    pause(300);
    probe.clearDamage();
    const qint64 opened = probe.tapKey('1' + index, {keyControl});
    if (!probe.pumpUntil([&] { return probe.damagedWindowOf(pid, opened).has_value(); }, 20000))
        return state.SkipWithError("the popup never showed");
    // Its icons come in before the typing starts, as they have for a user who reads the popup first.
    settle(pid, 1500);
    const auto processorTime = [pid] {
        return threadsCpuNanoseconds(pid) + (cpuNanoseconds(pid, true) - cpuNanoseconds(pid, false));
    };
    QSet<pid_t> helpers;
    for (const pid_t child : childrenOf(pid))
        helpers.insert(child);
    const int helpersBefore = int(helpers.size());
    const quint32 keys[] = {'1', '2', '3', keyBackSpace, keyBackSpace, keyBackSpace};
    QList<double> samples, toPainted;
    int n = 0;
    for (auto _ : state) {
        const qint64 before = processorTime();
        probe.clearDamage();
        const qint64 sent = probe.tapKey(keys[n++ % std::size(keys)]);
        const bool painted = probe.pumpUntil([&] {
            for (const pid_t child : childrenOf(pid))
                helpers.insert(child);
            return probe.damagedWindowOf(pid, sent).has_value();
        }, 10000);
        if (!painted)
            return state.SkipWithError("no repaint after a key");
        toPainted.append(double(probe.damagedWindowOf(pid, sent)->lastDamage - sent) / 1e6);
        settle(pid, 150);
        for (const pid_t child : childrenOf(pid))
            helpers.insert(child);
        const double ms = double(processorTime() - before) / 1e6;
        state.SetIterationTime(ms / 1000);
        samples.append(ms);
    }
    report(state, QStringLiteral("cpu_ms_a_key"), samples);
    report(state, QStringLiteral("key_to_painted_ms"), toPainted);
    state.counters["helpers_started"] = double(helpers.size() - helpersBefore);
    probe.tapKey(keyEscape);
    probe.pumpUntil([&] { return !probe.anyViewableWindowOf(pid); }, 20000);
}
BENCHMARK(BM_popup_searchKey)->ArgName("applications")->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30)->Repetitions(1);

// ---- Goal: memory after a popup of many documents ------------------------------------------------

// A popup of 500 documents (200 of them 6000×500 panoramas, 100 3000×2000 pictures) opened by its hot key, scrolled through
// to its end while its pictures arrive, and closed: its time to painted, and the program's resident
// set before, at once after it closed and a few seconds later. The program starts afresh each time.
void BM_popup_manyDocumentsMemory(benchmark::State &state)
{
    Scenario *scenario = startedScenario(state, QStringLiteral("documents"), [](Scenario &s) {
        const AppGroup group = manyDocumentsGroup(run().files, s.home() + QStringLiteral("/Documents"), QStringLiteral("Documents"), 500);
        return group.apps.size() == 500 && s.seed({group}, run().files, false, 1) && s.startDock();
    });
    if (!scenario)
        return;
    XProbe &probe = *run().probe;
    QList<double> before, closed, later, peak, painted;
    for (auto _ : state) {
        const std::optional<XProbe::Window> window = startProgramAndWait(*scenario);
        if (!window)
            return state.SkipWithError("the main window never showed");
        const pid_t pid = scenario->programPid();
        probe.requestClose(window->id);
        if (!probe.pumpUntil([&] { return !probe.anyViewableWindowOf(pid); }, 20000))
            return state.SkipWithError("the main window never closed");
        probe.movePointer(QPoint(60, 400));
        pause(500);
        before.append(double(statusKiB(pid, "VmRSS")) / 1024);
        probe.clearDamage();
        const qint64 sent = probe.tapKey('1', {keyControl});
        if (!probe.pumpUntil([&] { return probe.damagedWindowOf(pid, sent).has_value(); }, 20000))
            return state.SkipWithError("the popup never showed");
        const double ms = double(probe.damagedWindowOf(pid, sent)->lastDamage - sent) / 1e6;
        painted.append(ms);
        state.SetIterationTime(ms / 1000);
        const std::optional<XProbe::Window> popup = probe.largestViewableWindowOf(pid, 400);
        if (!popup)
            return state.SkipWithError("no popup window");
        // Down to the end a few rows at a time, each time until the pictures that came into view
        // have been drawn.
        for (int step = 0; step < 40; ++step) {
            probe.scroll(popup->geometry.center(), 4);
            settle(pid, 400, 30000);
        }
        probe.tapKey(keyEscape);
        if (!probe.pumpUntil([&] { return !probe.anyViewableWindowOf(pid); }, 20000))
            return state.SkipWithError("the popup never closed");
        pause(300);
        closed.append(double(statusKiB(pid, "VmRSS")) / 1024);
        pause(5000);
        later.append(double(statusKiB(pid, "VmRSS")) / 1024);
        peak.append(double(statusKiB(pid, "VmHWM")) / 1024);
        scenario->stopProgram();
    }
    report(state, QStringLiteral("to_painted_ms"), painted);
    report(state, QStringLiteral("rss_before_MiB"), before);
    report(state, QStringLiteral("rss_closed_MiB"), closed);
    report(state, QStringLiteral("rss_5s_later_MiB"), later);
    report(state, QStringLiteral("peak_MiB"), peak);
}
BENCHMARK(BM_popup_manyDocumentsMemory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(1);

} // namespace
