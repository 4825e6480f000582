// Drawing the editor's whole icon-style row (three styles and the three shipped skins) for a group
// of five items, after the items changed, as the page redraws it.
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/IconStyleChoice.h"
#include "Kestrowan/editor/IconStyleSection.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "bench/support/BenchIcons.h"
#include "Platform/Workspace.h"
#include "Platform/fake/FakeWorkspace.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void BM_IconStyleRowGroupOf5(benchmark::State &state)
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    QTemporaryDir dir;
    auto workspace = std::make_unique<FakeWorkspace>();
    QList<AppItem> items;
    for (int i = 0; i < 3; ++i) {
        const QString app = QStringLiteral("/Applications/App%1.app").arg(i);
        workspace->fileIcons.insert(app, benchApplicationIcon());
        items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + app, QStringLiteral("App"), app});
    }
    Workspace::install(std::move(workspace));
    QDir().mkpath(dir.filePath(QStringLiteral("Folder")));
    QFile(dir.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
    for (const QString &name : {QStringLiteral("Folder"), QStringLiteral("notes.txt")})
        items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + dir.filePath(name), name, dir.filePath(name)});

    SkinManager skins(dir.filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = QStringLiteral("Bench");
    group.apps = items;
    EditorDraft draft(group);
    IconStyleChoice choice(&draft, &skins, {});
    IconStyleSection section(&choice);
    section.resize(700, 160);
    section.show();
    section.grab();

    QList<AppItem> reversed = items;
    std::reverse(reversed.begin(), reversed.end());
    bool flip = false;
    for (auto _ : state) {
        AppGroup changed = draft.draft();
        changed.apps = flip ? items : reversed;
        flip = !flip;
        draft.setDraft(changed);
        const QPixmap frame = section.grab();
        benchmark::DoNotOptimize(frame.cacheKey());
    }
}
BENCHMARK(BM_IconStyleRowGroupOf5)->Unit(benchmark::kMillisecond);

} // namespace
