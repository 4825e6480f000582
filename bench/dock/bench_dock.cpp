// Dock interaction: from a pointer move to the hover report, and the hit test over a long Dock.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/dock/MouseTracker.h"
#include "Platform/fake/FakeDockPlatform.h"

#include <QCoreApplication>

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
        benchmark::DoNotOptimize(DockPositionResolver::hitTestDockItem(items, DockPosition::bottom, point));
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
            DockPositionResolver::hitTestDockItem(DockPositionResolver::readDockItems(), DockPosition::bottom, point));
    }
}
BENCHMARK(BM_ReadAndHitTestSixtyTiles)->Unit(benchmark::kMicrosecond);

} // namespace
