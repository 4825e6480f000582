// Composing a group's 512-point icon with five items (two applications, a photo, a PDF and a
// folder; four are drawn), in every style. The photo's and the PDF's pictures come from the helper
// process: the warm benchmarks start once they are in; the cold ones measure the first icon (with
// the badges standing in) and the whole way to the icon that shows the pictures.
#include "Kestrowan/groups/MirrorFolders.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/Workspace.h"
#include "Platform/fake/FakeWorkspace.h"
#include "bench/support/BenchApplications.h"
#include "bench/support/BenchIcons.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

struct Fixture {
    QTemporaryDir dir;
    QList<AppItem> items;
    std::unique_ptr<SkinManager> skins;
    FakeWorkspace *workspace = nullptr;

    Fixture()
    {
        ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
        auto installed = std::make_unique<FakeWorkspace>();
        workspace = installed.get();
        const QIcon icon = benchApplicationIcon();
        for (const char *app : {"/Applications/One.app", "/Applications/Two.app"})
            workspace->fileIcons.insert(QString::fromLatin1(app), icon);
        Workspace::install(std::move(installed));

        QImage photo(1600, 1000, QImage::Format_RGB32);
        photo.fill(QColor(240, 160, 90));
        photo.save(dir.filePath("photo.jpg"), "jpg");
        writeBenchPaper(dir.filePath("paper.pdf"));
        QDir().mkpath(dir.filePath("Folder"));
        const QStringList paths{"/Applications/One.app", "/Applications/Two.app", dir.filePath("photo.jpg"), dir.filePath("paper.pdf"),
                                dir.filePath("Folder")};
        for (const QString &path : paths)
            items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Item"), path});
        skins = std::make_unique<SkinManager>(dir.filePath("Skins"), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
    }
};

// Turns the event loop until the helper has answered for the items' pictures.
void waitForPictures(const QList<AppItem> &items)
{
    bool drawn = false;
    PreviewPictures::shared()->whenDrawn(items, 60000, nullptr, [&drawn] { drawn = true; });
    while (!drawn)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

Fixture &fixture()
{
    static Fixture f;
    static const bool pictures = (waitForPictures(f.items), true);
    Q_UNUSED(pictures);
    return f;
}

void composeStyle(benchmark::State &state, AppGroup::IconStyle style)
{
    Fixture &f = fixture();
    const auto skin = f.skins->skinWithID(QStringLiteral("aurora"));
    for (auto _ : state) {
        QImage icon = IconComposer::composeGroupIcon(f.items, style, skin, f.skins.get());
        benchmark::DoNotOptimize(icon);
    }
}

// Only the style changes from one icon to the next, as when a user tries the styles in turn.
void BM_compose_styleChanges(benchmark::State &state)
{
    Fixture &f = fixture();
    const AppGroup::IconStyle styles[] = {AppGroup::IconStyle::Shelf, AppGroup::IconStyle::Gradient, AppGroup::IconStyle::Pelko};
    size_t next = 0;
    for (auto _ : state) {
        QImage icon = IconComposer::composeGroupIcon(f.items, styles[next++ % 3]);
        benchmark::DoNotOptimize(icon);
    }
}

// The fixture's items with the photo and the PDF (the third and fourth) replaced by new copies,
// whose pictures were never decoded nor their previews drawn.
QList<AppItem> freshItems(Fixture &f, const QString &prefix)
{
    static int round = 0;
    ++round;
    QList<AppItem> items = f.items;
    for (qsizetype index : {2, 3}) {
        const QString fresh = f.dir.filePath(QStringLiteral("%1-%2-%3").arg(prefix).arg(round).arg(QFileInfo(items[index].path).fileName()));
        QFile::copy(items[index].path, fresh);
        items[index].path = fresh;
    }
    return items;
}

// The first icon of items never drawn before: a new photo and a new PDF each time, whose pictures
// are asked of the helper while their badges stand in.
void BM_compose_cold(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        const QList<AppItem> items = freshItems(f, QStringLiteral("fresh"));
        state.ResumeTiming();
        QImage icon = IconComposer::composeGroupIcon(items, AppGroup::IconStyle::Shelf);
        benchmark::DoNotOptimize(icon);
        state.PauseTiming();
        waitForPictures(items);
        state.ResumeTiming();
    }
}

// The whole way for new items: the first icon, the helper's round trip for the photo and the PDF
// (two helpers side by side), and the icon drawn again with their pictures.
void BM_compose_coldUntilPictures(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        const QList<AppItem> items = freshItems(f, QStringLiteral("trip"));
        state.ResumeTiming();
        QImage first = IconComposer::composeGroupIcon(items, AppGroup::IconStyle::Shelf);
        benchmark::DoNotOptimize(first);
        waitForPictures(items);
        QImage icon = IconComposer::composeGroupIcon(items, AppGroup::IconStyle::Shelf);
        benchmark::DoNotOptimize(icon);
    }
}

// The same for the skin style: new items on a skin whose layers were drawn before.
void BM_compose_coldSkin(benchmark::State &state)
{
    Fixture &f = fixture();
    const auto skin = f.skins->skinWithID(QStringLiteral("aurora"));
    for (auto _ : state) {
        state.PauseTiming();
        const QList<AppItem> items = freshItems(f, QStringLiteral("skin"));
        state.ResumeTiming();
        QImage icon = IconComposer::composeGroupIcon(items, AppGroup::IconStyle::Skin, skin, f.skins.get());
        benchmark::DoNotOptimize(icon);
        state.PauseTiming();
        waitForPictures(items);
        state.ResumeTiming();
    }
}

// Trying the skins in turn on the same items, as the editor's skin picker does.
void BM_compose_skinSwitch(benchmark::State &state)
{
    Fixture &f = fixture();
    const auto aurora = f.skins->skinWithID(QStringLiteral("aurora"));
    const auto ember = f.skins->skinWithID(QStringLiteral("ember"));
    size_t next = 0;
    for (auto _ : state) {
        QImage icon = IconComposer::composeGroupIcon(f.items, AppGroup::IconStyle::Skin, next++ % 2 ? ember : aurora, f.skins.get());
        benchmark::DoNotOptimize(icon);
    }
}

// The floor beside them: copying the 512-point canvas once.
void BM_floor_canvasCopy(benchmark::State &state)
{
    QImage canvas(512, 512, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    for (auto _ : state) {
        QImage copy = canvas.copy();
        benchmark::DoNotOptimize(copy.bits());
    }
}

// One group of a first Sync All: four applications whose icons were never drawn before, composed
// in the shelf style and encoded as the folder's icon file. The time is the whole process's, on
// every thread.
void BM_compose_newApplications(benchmark::State &state)
{
    Fixture &f = fixture();
    const int pixels = IconComposer::appIconPixels(4);
    // Drawn before, so that no drawing of the bitmaps themselves lands in the process's time; each
    // is copied as it is used, which makes it new to every cache.
    static const QList<QImage> bitmaps = [pixels] {
        QList<QImage> drawn;
        for (int i = 0; i < 64; ++i)
            drawn.append(benchApplicationBitmap(i, pixels));
        return drawn;
    }();
    int next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QList<AppItem> items;
        for (int i = 0; i < 4; ++i, ++next) {
            const QString path = QStringLiteral("/Applications/New%1.app").arg(next);
            f.workspace->fileIcons.insert(path, QIcon(QPixmap::fromImage(bitmaps.at(next % bitmaps.size()).copy())));
            items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Item"), path});
        }
        state.ResumeTiming();
        const QImage icon = IconComposer::composeGroupIcon(items, AppGroup::IconStyle::Shelf);
        const QByteArray bytes = MirrorFolders::iconFileBytes(icon);
        benchmark::DoNotOptimize(bytes.constData());
        state.PauseTiming();
        for (const AppItem &item : std::as_const(items))
            f.workspace->fileIcons.remove(item.path);
        state.ResumeTiming();
    }
}

// Writing a composed icon as the folder's icon file, at `range(0)` pixels a side (512, and 1024 for a
// display of twice the density): the counters are the file's size and the memory its bytes hold.
void BM_encode_folderIcon(benchmark::State &state)
{
    Fixture &f = fixture();
    const int side = int(state.range(0));
    QImage icon = IconComposer::composeGroupIcon(f.items, AppGroup::IconStyle::Shelf);
    if (icon.width() != side)
        icon = icon.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    qsizetype used = 0, held = 0;
    for (auto _ : state) {
        const QByteArray bytes = MirrorFolders::iconFileBytes(icon);
        used = bytes.size();
        held = bytes.capacity();
        benchmark::DoNotOptimize(bytes.constData());
    }
    state.counters["file_bytes"] = double(used);
    state.counters["held_bytes"] = double(held);
}

} // namespace

BENCHMARK(BM_encode_folderIcon)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_compose_newApplications)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_compose_styleChanges)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_compose_cold)->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_compose_coldUntilPictures)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_compose_coldSkin)->Unit(benchmark::kMillisecond)->Iterations(40)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_compose_skinSwitch)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_floor_canvasCopy)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

#define KESTROWAN_STYLE_BENCH(name, style)                                                                   \
    BENCHMARK_CAPTURE(composeStyle, name, style)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)

KESTROWAN_STYLE_BENCH(shelf, AppGroup::IconStyle::Shelf);
KESTROWAN_STYLE_BENCH(glass, AppGroup::IconStyle::Glass);
KESTROWAN_STYLE_BENCH(gradient, AppGroup::IconStyle::Gradient);
KESTROWAN_STYLE_BENCH(minimal, AppGroup::IconStyle::Minimal);
KESTROWAN_STYLE_BENCH(pelko, AppGroup::IconStyle::Pelko);
KESTROWAN_STYLE_BENCH(skin_aurora, AppGroup::IconStyle::Skin);
