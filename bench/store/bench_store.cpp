// The store's file with 1,000 groups (loaded once at start, saved after every change), and the
// synced-state check that every group card asks on each redraw.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/icons/ComposedFolderIcons.h"
#include "Platform/FileStamp.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/QtProcessRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <simdjson.h>

namespace {

QList<AppGroup> sampleGroups(int count, int itemsPerGroup = 6)
{
    QList<AppGroup> groups;
    for (int i = 0; i < count; ++i) {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Group %1").arg(i);
        for (int j = 0; j < itemsPerGroup; ++j)
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("com.example.app%1").arg(j),
                                      QStringLiteral("App %1").arg(j), QStringLiteral("/Applications/App %1.app").arg(j)});
        if (i % 3 == 0)
            group.openerRules = OpenerRules{{{QStringLiteral("pdf"), QStringLiteral("/Applications/Preview.app")}}, {}, std::nullopt};
        groups.append(group);
    }
    return groups;
}

// Saves of `range(0)` groups of `range(1)` items, each waited for until the file is replaced.
void BM_saveGroups_untilWritten(benchmark::State &state)
{
    QTemporaryDir dir;
    GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    manager.setGroups(sampleGroups(int(state.range(0)), int(state.range(1))));
    for (auto _ : state) {
        manager.saveGroups();
        manager.waitUntilSaved();
    }
}

void BM_loadGroups(benchmark::State &state)
{
    QTemporaryDir dir;
    {
        GroupManager writer(dir.path(), dir.path() + QStringLiteral("/Groups"));
        writer.setGroups(sampleGroups(int(state.range(0)), int(state.range(1))));
        writer.saveGroups();
    }
    for (auto _ : state) {
        GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
        manager.loadGroups();
        benchmark::DoNotOptimize(manager.groups().size());
    }
}

// 1,000 groups of 20 items: what the caller of a save waits for (a snapshot), beside the whole save
// above and the floors: encoding alone, and writing, syncing and renaming the bytes alone.
void BM_saveGroups_1000x20_caller(benchmark::State &state)
{
    QTemporaryDir dir;
    GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    manager.setGroups(sampleGroups(1000, 20));
    for (auto _ : state) {
        manager.saveGroups();
        state.PauseTiming();
        manager.waitUntilSaved();
        state.ResumeTiming();
    }
}

void BM_floor_encode_1000x20(benchmark::State &state)
{
    const QList<AppGroup> groups = sampleGroups(1000, 20);
    for (auto _ : state)
        benchmark::DoNotOptimize(GroupsJson::encode(groups));
    state.counters["bytes"] = double(GroupsJson::encode(groups).size());
}

void BM_floor_writeSyncRename_1000x20(benchmark::State &state)
{
    QTemporaryDir dir;
    const QByteArray bytes = GroupsJson::encode(sampleGroups(1000, 20));
    for (auto _ : state) {
        QSaveFile file(dir.filePath(QStringLiteral("groups.json")));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return state.SkipWithError("write failed");
    }
}

void BM_floor_readFile_1000x20(benchmark::State &state)
{
    QTemporaryDir dir;
    QFile out(dir.filePath(QStringLiteral("groups.json")));
    if (!out.open(QIODevice::WriteOnly))
        return state.SkipWithError("cannot write");
    out.write(GroupsJson::encode(sampleGroups(1000, 20)));
    out.close();
    for (auto _ : state) {
        QFile file(out.fileName());
        if (!file.open(QIODevice::ReadOnly))
            return state.SkipWithError("cannot read");
        benchmark::DoNotOptimize(file.readAll());
    }
}

void BM_floor_simdjsonParse_1000x20(benchmark::State &state)
{
    const simdjson::padded_string bytes(GroupsJson::encode(sampleGroups(1000, 20)).toStdString());
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(bytes).get(root) != simdjson::SUCCESS)
            return state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(root);
    }
}

// `range(0)` groups synced into the Dock (through the real preferences file), then each checked in
// turn, as the cards of the main window do on every redraw.
void BM_isGroupSyncedToDock(benchmark::State &state)
{
    ProcessRunner::install(std::make_unique<FakeProcessRunner>());
    DockRestarter::install(std::make_unique<FakeDockRestarter>());
    QTemporaryDir dir;
    GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    manager.setGroups(sampleGroups(int(state.range(0))));
    bool done = false;
    manager.syncAllGroupsToDock(nullptr, [&done] { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // What the checks keep is trusted once the folders' times have settled, as they have in use.
    while (!FileStamp::of(manager.groupsDirectory()).settledAt(FileStamp::nowNanoseconds()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (const AppGroup &group : manager.groups()) {
        if (!manager.isGroupSyncedToDock(group))
            return state.SkipWithError("a group did not sync");
    }
    for (auto _ : state) {
        for (const AppGroup &group : manager.groups())
            benchmark::DoNotOptimize(manager.isGroupSyncedToDock(group));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    ProcessRunner::install(nullptr);
}

// The floor beside it: one stat and one map lookup per group.
void BM_floor_statAndLookup(benchmark::State &state)
{
    QTemporaryDir dir;
    QHash<QString, QString> map;
    for (int i = 0; i < 200; ++i)
        map.insert(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), dir.path());
    const QString key = map.keys().constFirst();
    for (auto _ : state) {
        benchmark::DoNotOptimize(FileStamp::of(map.value(key)));
        benchmark::DoNotOptimize(map.value(key));
    }
}


// This machine's tools, but a Dock restart that succeeds at once (and is counted).
class RealToolsFakeDock final : public ProcessRunner {
public:
    int restarts = 0;
    void run(const QString &executable, const QStringList &arguments, bool captureOutput, Completion completion) override
    {
        if (executable != QLatin1String("/bin/launchctl"))
            return m_real.run(executable, arguments, captureOutput, std::move(completion));
        ++restarts;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [completion = std::move(completion)] { completion(ProcessResult{0, std::nullopt}); },
                                  Qt::QueuedConnection);
    }

private:
    QtProcessRunner m_real;
};

// Sync All over `range(0)` groups of six real documents each, from a fresh groups folder: every
// mirror folder built with its composed icon (and this machine's tools run for it), then every
// tile written and the Dock restarted.
void BM_syncAllGroupsToDock(benchmark::State &state)
{
    // Every folder gets its composed icon, as in the program.
    FolderIconPainter::install(std::make_unique<ComposedFolderIcons>());
    auto runner = std::make_unique<RealToolsFakeDock>();
    RealToolsFakeDock *installed = runner.get();
    ProcessRunner::install(std::move(runner));
    // The Dock is restarted through its socket here: a Dock that answers at once stands in for it,
    // or the run would time the wait for one that never starts.
    auto dock = std::make_unique<FakeDockRestarter>();
    FakeDockRestarter *restarter = dock.get();
    DockRestarter::install(std::move(dock));
    QTemporaryDir documents;
    const QStringList suffixes{QStringLiteral("txt"), QStringLiteral("md"), QStringLiteral("csv"), QStringLiteral("json"),
                               QStringLiteral("log"), QStringLiteral("ini")};
    QList<AppGroup> groups;
    for (int i = 0; i < int(state.range(0)); ++i) {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Group %1").arg(i);
        for (int j = 0; j < 6; ++j) {
            const QString path = documents.filePath(QStringLiteral("doc-%1-%2.%3").arg(i).arg(j).arg(suffixes.at(j)));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray("line of text\n").repeated(20)) <= 0)
                return state.SkipWithError("cannot write a document");
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path});
        }
        groups.append(group);
    }
    int restarts = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
        manager.ensureStorageDirectories();
        manager.setGroups(groups);
        const int before = installed->restarts + restarter->restarts;
        state.ResumeTiming();
        bool done = false;
        manager.syncAllGroupsToDockWithResult(nullptr, [&done](bool) { done = true; });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.PauseTiming();
        restarts = installed->restarts + restarter->restarts - before;
        state.ResumeTiming();
    }
    state.counters["dock_restarts"] = restarts;
    DockRestarter::install(nullptr);
    ProcessRunner::install(nullptr);
}

} // namespace

BENCHMARK(BM_saveGroups_untilWritten)->Args({1000, 6})->Args({1000, 20})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_loadGroups)->Args({1000, 6})->Args({1000, 20})->Unit(benchmark::kMillisecond);
// The timed part is tiny beside the wait for each write, so the count is fixed.
BENCHMARK(BM_saveGroups_1000x20_caller)->Unit(benchmark::kMillisecond)->Iterations(60);
BENCHMARK(BM_floor_encode_1000x20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_floor_writeSyncRename_1000x20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_floor_readFile_1000x20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_floor_simdjsonParse_1000x20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_isGroupSyncedToDock)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_floor_statAndLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_syncAllGroupsToDock)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
