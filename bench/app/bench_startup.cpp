// Start-up: the program's own process until its main window is on screen, and its resident memory
// once started, with 50 groups; and the application object alone, from construction to the shown
// window, in this process.
#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/app/MainWindowFrame.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/StatusItem.h"
#include "Platform/fake/FakeStatusItem.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <csignal>

namespace {

QList<AppGroup> sampleGroups(int count)
{
    QList<AppGroup> groups;
    for (int i = 0; i < count; ++i) {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Group %1").arg(i + 1);
        for (int j = 0; j < 6; ++j)
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:/tmp/item-%1-%2").arg(i).arg(j),
                                      QStringLiteral("Item %1").arg(j), QStringLiteral("/tmp/item-%1-%2").arg(i).arg(j)});
        groups.append(group);
    }
    return groups;
}

bool writeGroupsFile(const QString &folder, int count)
{
    QDir().mkpath(folder);
    QSaveFile file(folder + QStringLiteral("/groups.json"));
    return file.open(QIODevice::WriteOnly) && file.write(GroupsJson::encode(sampleGroups(count))) > 0 && file.commit();
}

// The user's defaults of one who went through the onboarding, so a start shows the grid.
bool writeFinishedOnboarding(const QString &folder)
{
    QDir().mkpath(folder);
    QSaveFile file(folder + QStringLiteral("/Kestrowan.plist"));
    return file.open(QIODevice::WriteOnly)
           && file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                         "\t<key>didCompleteOnboarding</key>\n\t<true/>\n</dict>\n</plist>\n")
                  > 0
           && file.commit();
}

// A figure of /proc/<pid>/status in KiB: "VmRSS" now, "VmHWM" the peak so far.
qint64 statusKiB(qint64 pid, const QByteArray &field = "VmRSS")
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// One start of the program as a user starts it (offscreen, in a home of its own with `groups`
// groups), timed until it logs `line`; then its resident set now and at its peak, and it is ended.
struct TimedStart {
    bool reached = false;
    qint64 nanoseconds = 0;
    qint64 residentKiB = 0;
    qint64 peakKiB = 0;
};

TimedStart startUntil(const QByteArray &line, int groups, bool finishedOnboarding)
{
    TimedStart result;
    QTemporaryDir home;
    const QString path = home.path();
    if (!writeGroupsFile(path + QStringLiteral("/.local/share/Kestrowan"), groups)
        || (finishedOnboarding && !writeFinishedOnboarding(path + QStringLiteral("/.config/Kestrowan"))))
        return result;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), path);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), path + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.kestrowan.app.app=true"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(KESTROWAN_PROGRAM), {});
    QByteArray output;
    const QDeadlineTimer deadline(30000);
    while (!output.contains(line) && !deadline.hasExpired() && program.state() != QProcess::NotRunning) {
        program.waitForReadyRead(100);
        output += program.readAll();
    }
    result.nanoseconds = clock.nsecsElapsed();
    result.reached = output.contains(line);
    if (result.reached) {
        result.residentKiB = statusKiB(program.processId());
        result.peakKiB = statusKiB(program.processId(), "VmHWM");
        program.terminate();
    } else {
        program.kill();
    }
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
    }
    return result;
}

// Until the program logs that its main view is on screen, with 50 groups; then its resident set.
void BM_programStartToMainWindow_50groups(benchmark::State &state)
{
    qint64 rssTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        const TimedStart start = startUntil("MainView onAppear", 50, false);
        if (!start.reached)
            return state.SkipWithError("the main window never showed");
        state.SetIterationTime(double(start.nanoseconds) / 1e9);
        rssTotal += start.residentKiB;
        ++runs;
    }
    state.counters["rss_MiB"] = runs ? double(rssTotal) / runs / 1024.0 : 0;
}
BENCHMARK(BM_programStartToMainWindow_50groups)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Until the main window has been drawn once with `range(0)` groups (the grid logs its first
// frame); the counter is the peak resident set at that moment.
void BM_programStartToFirstFrame(benchmark::State &state)
{
    qint64 peakTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        const TimedStart start = startUntil("Group grid first frame", int(state.range(0)), true);
        if (!start.reached)
            return state.SkipWithError("the main window was never drawn");
        state.SetIterationTime(double(start.nanoseconds) / 1e9);
        peakTotal += start.peakKiB;
        ++runs;
    }
    state.counters["peak_rss_MiB"] = runs ? double(peakTotal) / runs / 1024.0 : 0;
}
BENCHMARK(BM_programStartToFirstFrame)->Arg(6)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The application object alone: services built in order, the launch, the window shown.
void BM_appLaunchToShownWindow_50groups(benchmark::State &state)
{
    writeGroupsFile(appSupportDirectoryURL(), 50);
    StatusItem::installFactory([] { return std::make_unique<FakeStatusItem>(); });
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto app = std::make_unique<KestrowanApp>();
        app->launch();
        QCoreApplication::processEvents();
        const bool shown = app->mainWindow() && app->mainWindow()->isVisible() && app->isMainWindowVisible();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!shown) {
            state.SkipWithError("the main window did not show");
            return;
        }
        app.reset();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_appLaunchToShownWindow_50groups)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
