// Dock interaction: from a pointer move to the hover report, the hit test over a long Dock, and
// from a hover report to the popup on screen.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/dock/HoverService.h"
#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/dock/MouseTracker.h"
#include "Kestrowan/dock/PermissionManager.h"
#include "Kestrowan/dock/ShortcutStateStore.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupControllerPresenter.h"
#include "Platform/fake/FakeDockPlatform.h"
#include "bench/support/BenchGroups.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A Dock of `count` folder tiles, 20 points wide, along the bottom of the screen.
struct FakeDock : FakeDockPlatform {
    QList<QRectF> frames;

    explicit FakeDock(int count)
    {
        QList<FakeDockTile> tiles;
        for (int i = 0; i < count; ++i) {
            frames.append(QRectF(20 + i * 22, 840, 20, 56));
            tiles.append({QStringLiteral("Group %1").arg(i), QStringLiteral("AXFolderDockItem"),
                          QUrl::fromLocalFile(QStringLiteral("/groups/%1").arg(i)), frames.last()});
        }
        accessibility->setDockTiles(tiles);
    }
};

void BM_PointerMoveToHoverReport(benchmark::State &state)
{
    FakeDock dock(12);
    MouseTracker tracker;
    int hovers = 0;
    tracker.onHoverDockItem = [&](const DockItemInfo &) { ++hovers; };
    QSet<QString> paths;
    for (int i = 0; i < 12; ++i)
        paths.insert(QStringLiteral("/groups/%1").arg(i));
    tracker.startTracking({}, paths);
    int tile = 0;
    for (auto _ : state) {
        const int before = hovers;
        tile = (tile + 5) % 12;
        dock.movePointer(dock.frames.at(tile).center());
        while (hovers == before)
            QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_PointerMoveToHoverReport)->Unit(benchmark::kMicrosecond);

void BM_HitTestSixtyTiles(benchmark::State &state)
{
    FakeDock dock(60);
    const QList<DockItemInfo> items = DockPositionResolver::readDockItems();
    int i = 0;
    for (auto _ : state) {
        const QPointF point = dock.frames.at(i++ % 60).center() + QPointF(3, 2);
        benchmark::DoNotOptimize(DockPositionResolver::hitTestDockItem(items, DockPosition::Bottom, point));
    }
}
BENCHMARK(BM_HitTestSixtyTiles)->Unit(benchmark::kNanosecond);

void BM_ReadAndHitTestSixtyTiles(benchmark::State &state)
{
    FakeDock dock(60);
    int i = 0;
    for (auto _ : state) {
        const QPointF point = dock.frames.at(i++ % 60).center();
        benchmark::DoNotOptimize(
            DockPositionResolver::hitTestDockItem(DockPositionResolver::readDockItems(), DockPosition::Bottom, point));
    }
}
BENCHMARK(BM_ReadAndHitTestSixtyTiles)->Unit(benchmark::kMicrosecond);

// Two groups of 100 documents each, their folders in the Dock; a hover report alternates between
// their tiles, so every report builds and shows a new popup.
void BM_HoverReportToPopupShown(benchmark::State &state)
{
    FakeDockPlatform fakes;
    QTemporaryDir storage;
    GroupManager manager(storage.path(), storage.path() + QStringLiteral("/Groups"));
    QList<AppGroup> groups;
    QVariantList others;
    QList<FakeDockTile> tiles;
    for (int g = 0; g < 2; ++g) {
        AppGroup group = benchGroupWithMirrorFolder(manager, QStringLiteral("Group %1").arg(g));
        const QString folder = manager.groupsDirectory() + u'/' + group.name;
        for (int i = 0; i < 100; ++i) {
            const QString path = storage.path() + QStringLiteral("/doc-%1-%2.txt").arg(g).arg(i);
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Document %1").arg(i), path});
        }
        groups.append(group);
        others.append(DockService::folderTile(QUrl::fromLocalFile(folder + u'/'), group.name, AppGroup::DisplayStyle::Grid));
        tiles.append({group.name, QStringLiteral("AXFolderDockItem"), QUrl::fromLocalFile(folder), FakeDockPlatform::bottomTile(g)});
    }
    manager.setGroups(groups);
    fakes.preferences->values.insert(QStringLiteral("persistent-others"), others);
    fakes.accessibility->setDockTiles(tiles);
    PermissionManager permission;
    ShortcutStateStore store;
    KeyboardShortcutService shortcuts;
    auto presenter = std::make_unique<PopupControllerPresenter>();
    PopupWindowController &controller = presenter->controller();
    controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
    HoverService service(&manager, &permission, &store, &shortcuts, std::move(presenter));
    service.setMode(InteractionMode::Click); // hovers are reported by hand here; no pointer tap
    const DockItemInfo items[] = {
        {tiles[0].title, tiles[0].frame, tiles[0].subrole, tiles[0].url},
        {tiles[1].title, tiles[1].frame, tiles[1].subrole, tiles[1].url},
    };
    int next = 0;
    for (auto _ : state) {
        service.handleHoverDockItem(items[next]);
        next = 1 - next;
        // On screen: shown and drawn once.
        QCoreApplication::processEvents();
        if (!controller.panel() || !controller.panel()->isVisible())
            state.SkipWithError("the popup did not show");
    }
}
BENCHMARK(BM_HoverReportToPopupShown)->Unit(benchmark::kMillisecond);

} // namespace
