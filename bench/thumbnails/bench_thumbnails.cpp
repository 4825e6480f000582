// The thumbnail cache answering from memory and from its disk files, and the first paint of a
// group of 20 items in item thumbnail views.
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "bench/support/BenchIcons.h"
#include "Platform/Workspace.h"
#include "Platform/fake/CountingThumbnailRenderer.h"
#include "Platform/fake/FakeWorkspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes = "contents")
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

// Asks and waits for the answer, as a view would get it on the main thread.
void fetch(ThumbnailCache &cache, const QString &path)
{
    bool done = false;
    cache.thumbnail(QUrl::fromLocalFile(path), QSizeF(128, 128), 2, nullptr, [&](const QImage &image) {
        benchmark::DoNotOptimize(image.constBits());
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BM_ThumbnailMemoryHit(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString deck = writeFile(dir, QStringLiteral("Deck.key"));
    ThumbnailCache cache(dir.filePath(QStringLiteral("cache")), std::make_shared<CountingThumbnailRenderer>());
    fetch(cache, deck);
    for (auto _ : state)
        fetch(cache, deck);
}
BENCHMARK(BM_ThumbnailMemoryHit)->Unit(benchmark::kMicrosecond);

void BM_ThumbnailDiskHit(benchmark::State &state)
{
    // More files than the memory cache holds, visited in a cycle: every request misses memory.
    constexpr int files = ThumbnailCache::memoryCountLimit + 44;
    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < files; ++i)
        paths.append(writeFile(dir, QStringLiteral("Deck%1.key").arg(i), QByteArray::number(i)));
    const QString folder = dir.filePath(QStringLiteral("cache"));
    {
        ThumbnailCache warm(folder, std::make_shared<CountingThumbnailRenderer>());
        for (const QString &path : std::as_const(paths))
            fetch(warm, path);
    }
    auto renderer = std::make_shared<CountingThumbnailRenderer>();
    ThumbnailCache cache(folder, renderer);
    int next = 0;
    for (auto _ : state) {
        fetch(cache, paths[next]);
        next = (next + 1) % files;
    }
    if (renderer->count() != 0)
        state.SkipWithError("rendered instead of reading the disk");
}
BENCHMARK(BM_ThumbnailDiskHit)->Unit(benchmark::kMicrosecond);

struct GroupOf20 {
    QTemporaryDir dir;
    QList<AppItem> items;

    GroupOf20()
    {
        ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
        auto workspace = std::make_unique<FakeWorkspace>();
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            const QString app = QStringLiteral("/Applications/App%1.app").arg(i);
            workspace->fileIcons.insert(app, benchApplicationIcon());
            paths.append(app);
        }
        Workspace::install(std::move(workspace));
        for (int i = 0; i < 4; ++i) {
            QDir().mkpath(dir.filePath(QStringLiteral("Folder%1").arg(i)));
            paths.append(dir.filePath(QStringLiteral("Folder%1").arg(i)));
            QImage photo(1600, 1000, QImage::Format_RGB32);
            photo.fill(QColor(240, 160, 90 + i * 30));
            photo.save(dir.filePath(QStringLiteral("photo%1.jpg").arg(i)), "jpg");
            paths.append(dir.filePath(QStringLiteral("photo%1.jpg").arg(i)));
        }
        for (int i = 0; i < 2; ++i) {
            writeBenchPaper(dir.filePath(QStringLiteral("paper%1.pdf").arg(i)));
            paths.append(dir.filePath(QStringLiteral("paper%1.pdf").arg(i)));
            paths.append(writeFile(dir, QStringLiteral("Slides%1.key").arg(i)));
        }
        for (const QString &path : std::as_const(paths))
            items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Item"), path});
        for (int i = 0; i < 2; ++i)
            items.append(AppItem{QUuid::createUuid(), QStringLiteral("url:https://example.com/%1").arg(i), QStringLiteral("Link"),
                                 QStringLiteral("https://example.com/%1").arg(i)});
    }
};

void BM_ItemViewsFirstPaintGroupOf20(benchmark::State &state)
{
    GroupOf20 group;
    ThumbnailCache::setShared(std::make_unique<ThumbnailCache>(group.dir.filePath(QStringLiteral("cache")),
                                                               std::make_shared<CountingThumbnailRenderer>()));
    for (auto _ : state) {
        QWidget window;
        auto *layout = new QGridLayout(&window);
        for (int i = 0; i < group.items.size(); ++i) {
            auto *view = new ItemThumbnail(group.items[i]);
            view->setFixedSize(50, 50);
            view->setCornerRadius(10);
            layout->addWidget(view, i / 5, i % 5);
        }
        const QPixmap frame = window.grab();
        benchmark::DoNotOptimize(frame.cacheKey());
    }
    ThumbnailCache::setShared(nullptr);
}
BENCHMARK(BM_ItemViewsFirstPaintGroupOf20)->Unit(benchmark::kMillisecond);

} // namespace
