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

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The program as a user starts it (offscreen, in a home of its own with 50 groups), timed until it
// logs that its main view is on screen; then its resident set.
void BM_programStartToMainWindow_50groups(benchmark::State &state)
{
    qint64 rssTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        QTemporaryDir home;
        const QString path = home.path();
        if (!writeGroupsFile(path + QStringLiteral("/.local/share/Kestrowan"), 50)) {
            state.SkipWithError("cannot write groups.json");
            return;
        }
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
        while (!output.contains("MainView onAppear") && !deadline.hasExpired() && program.state() != QProcess::NotRunning) {
            program.waitForReadyRead(100);
            output += program.readAll();
        }
        const qint64 elapsed = clock.nsecsElapsed();
        if (!output.contains("MainView onAppear")) {
            program.kill();
            program.waitForFinished();
            state.SkipWithError("the main window never showed");
            return;
        }
        state.SetIterationTime(double(elapsed) / 1e9);
        rssTotal += residentKiB(program.processId());
        ++runs;
        program.terminate();
        if (!program.waitForFinished(10000)) {
            program.kill();
            program.waitForFinished();
        }
    }
    state.counters["rss_MiB"] = runs ? double(rssTotal) / runs / 1024.0 : 0;
}
BENCHMARK(BM_programStartToMainWindow_50groups)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

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
