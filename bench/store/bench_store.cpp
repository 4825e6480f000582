// The store's file with 1,000 groups (loaded once at start, saved after every change), and the
// synced-state check that every group card asks on each redraw.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Platform/fake/FakeProcessRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QList<AppGroup> sampleGroups(int count)
{
    QList<AppGroup> groups;
    for (int i = 0; i < count; ++i) {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Group %1").arg(i);
        for (int j = 0; j < 6; ++j)
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("com.example.app%1").arg(j),
                                      QStringLiteral("App %1").arg(j), QStringLiteral("/Applications/App %1.app").arg(j)});
        if (i % 3 == 0)
            group.openerRules = OpenerRules{{{QStringLiteral("pdf"), QStringLiteral("/Applications/Preview.app")}}, {}, std::nullopt};
        groups.append(group);
    }
    return groups;
}

void BM_saveGroups_1000(benchmark::State &state)
{
    QTemporaryDir dir;
    GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    manager.setGroups(sampleGroups(1000));
    for (auto _ : state)
        manager.saveGroups();
}

void BM_loadGroups_1000(benchmark::State &state)
{
    QTemporaryDir dir;
    {
        GroupManager writer(dir.path(), dir.path() + QStringLiteral("/Groups"));
        writer.setGroups(sampleGroups(1000));
        writer.saveGroups();
    }
    for (auto _ : state) {
        GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
        manager.loadGroups();
        benchmark::DoNotOptimize(manager.groups().size());
    }
}

// 50 groups synced into the Dock (through the real preferences file), then each checked in turn.
void BM_isGroupSyncedToDock_50(benchmark::State &state)
{
    auto runner = std::make_unique<FakeProcessRunner>();
    runner->results.insert(QStringLiteral("/bin/launchctl"), ProcessResult{0, std::nullopt});
    ProcessRunner::install(std::move(runner));
    QTemporaryDir dir;
    GroupManager manager(dir.path(), dir.path() + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    manager.setGroups(sampleGroups(50));
    bool done = false;
    manager.syncAllGroupsToDock(nullptr, [&done] { done = true; });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (const AppGroup &group : manager.groups()) {
        if (!manager.isGroupSyncedToDock(group))
            return state.SkipWithError("a group did not sync");
    }
    for (auto _ : state) {
        for (const AppGroup &group : manager.groups())
            benchmark::DoNotOptimize(manager.isGroupSyncedToDock(group));
    }
    state.SetItemsProcessed(state.iterations() * 50);
    ProcessRunner::install(nullptr);
}

} // namespace

BENCHMARK(BM_saveGroups_1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_loadGroups_1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_isGroupSyncedToDock_50)->Unit(benchmark::kMillisecond);
