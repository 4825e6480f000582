// How long `isFolderInDock` takes against a Dock of realistic size: 60 folder tiles and 30
// application tiles in the preferences file. Cards ask it on every redraw.
#include "Kestrowan/groups/DockService.h"
#include "Platform/FileStamp.h"
#include "Platform/PropertyList.h"
#include "Platform/linux/DockPreferencesFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <benchmark/benchmark.h>

namespace {

QString folderPath(int index)
{
    return qEnvironmentVariable("HOME") + QStringLiteral("/.local/share/Kestrowan/Groups/Group %1").arg(index);
}

void writePreferences()
{
    QVariantList others;
    for (int i = 0; i < 60; ++i) {
        DockService::Tile tile = DockService::folderTile(QUrl::fromLocalFile(folderPath(i)), QStringLiteral("Group %1").arg(i),
                                                         AppGroup::DisplayStyle::Grid);
        tile.insert(QStringLiteral("GUID"), qint64(1000 + i));
        others.append(tile);
    }
    QVariantList apps;
    for (int i = 0; i < 30; ++i) {
        apps.append(QVariantMap{
            {QStringLiteral("tile-type"), QStringLiteral("file-tile")},
            {QStringLiteral("tile-data"),
             QVariantMap{{QStringLiteral("bundle-identifier"), QStringLiteral("com.example.app%1").arg(i)},
                         {QStringLiteral("file-label"), QStringLiteral("App %1").arg(i)},
                         {QStringLiteral("book"), QByteArray(600, 'b')},
                         {QStringLiteral("file-data"),
                          QVariantMap{{QStringLiteral("_CFURLString"), QStringLiteral("file:///Applications/App%20%1.app/").arg(i)},
                                      {QStringLiteral("_CFURLStringType"), qint64(15)}}}}}});
    }
    const QString path = DockPreferencesFile::filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(PropertyList::toBinary(QVariantMap{{QStringLiteral("persistent-others"), others},
                                                  {QStringLiteral("persistent-apps"), apps},
                                                  {QStringLiteral("orientation"), QStringLiteral("bottom")}}));
}

void BM_isFolderInDock_lastTile(benchmark::State &state)
{
    writePreferences();
    const QUrl folder = QUrl::fromLocalFile(folderPath(59));
    for (auto _ : state)
        benchmark::DoNotOptimize(DockService::isFolderInDock(folder));
    if (!DockService::isFolderInDock(folder))
        state.SkipWithError("the last tile was not found");
}

void BM_isFolderInDock_absent(benchmark::State &state)
{
    writePreferences();
    const QUrl folder = QUrl::fromLocalFile(folderPath(999));
    for (auto _ : state)
        benchmark::DoNotOptimize(DockService::isFolderInDock(folder));
}

// The floor beside them: the one stat of the preferences file that tells whether it changed.
void BM_floor_statPreferences(benchmark::State &state)
{
    writePreferences();
    const QString path = DockPreferencesFile::filePath();
    for (auto _ : state)
        benchmark::DoNotOptimize(FileStamp::of(path));
}

} // namespace

BENCHMARK(BM_floor_statPreferences)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_isFolderInDock_lastTile)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_isFolderInDock_absent)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
