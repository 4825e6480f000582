// The main window's first paint with up to 200 groups (and then every card), the scan of 500
// desktop entries that the installed-applications picker waits for, and the picker's rows of
// hundreds of applications with icons of their own: to the first frame, and until the rows in
// view show their own icons.
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/AppPickerList.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/InstalledAppsScanner.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Platform/UserDefaults.h"
#include "bench/support/BenchApplications.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

class NoApps final : public InstalledAppsServiceInterface {
public:
    QList<AppItem> installedApps() const override { return {}; }
    bool isScanning() const override { return false; }
    QString cacheURL() const override { return {}; }
    void refreshInstalledApps() override {}
};

// An entry as installed applications have them; `icon` an icon file of its own when given.
void writeEntry(const QString &path, int index, const QString &icon = QString())
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Application %1\nName[ja]=アプリ %1\n"
                                  "Exec=app%1 %U\nIcon=%2\nCategories=Utility;\n")
                       .arg(index)
                       .arg(icon.isEmpty() ? QStringLiteral("app%1").arg(index) : icon)
                       .toUtf8());
}

// A 256-pixel application icon in a colour of its own.
QString writeIcon(const QString &folder, int index)
{
    QImage image(256, 256, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor::fromHsv((index * 37) % 360, 160, 230));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(16, 16, 224, 224), 50, 50);
    painter.end();
    const QString path = folder + QStringLiteral("/app%1.png").arg(index);
    image.save(path);
    return path;
}

// `count` groups of 1 to 12 items, applications (desktop entries), folders and documents.
QList<AppGroup> sampleGroups(const QString &folder, int count = 50)
{
    QDir().mkpath(folder + QStringLiteral("/applications"));
    QList<AppItem> items;
    for (int i = 0; i < 12; ++i) {
        const QString entry = folder + QStringLiteral("/applications/app%1.desktop").arg(i);
        writeEntry(entry, i, writeIcon(folder + QStringLiteral("/applications"), i));
        items.append({QUuid::createUuid(), QStringLiteral("app%1").arg(i), QStringLiteral("Application %1").arg(i), entry});
    }
    QDir().mkpath(folder + QStringLiteral("/Projects"));
    items.append({QUuid::createUuid(), QStringLiteral("file:") + folder + QStringLiteral("/Projects"), QStringLiteral("Projects"),
                  folder + QStringLiteral("/Projects")});
    QList<AppGroup> groups;
    for (int i = 0; i < count; ++i) {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Group %1").arg(i);
        group.iconStyle = AppGroup::IconStyle(i % 2 == 0 ? 0 : 4);
        for (int j = 0; j <= i % 12; ++j)
            group.apps.append(items[(i + j) % items.size()]);
        groups.append(group);
    }
    return groups;
}

void BM_gridFirstPaint(benchmark::State &state)
{
    QTemporaryDir dir;
    GroupManager store(dir.path(), dir.path() + QStringLiteral("/Groups"));
    store.ensureStorageDirectories();
    store.setGroups(sampleGroups(dir.path(), std::max<int>(50, int(state.range(0)))).first(state.range(0)));
    UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
    AppNavigation navigation;
    NoApps apps;
    for (auto _ : state) {
        MainView view(store, apps, navigation, nullptr);
        view.resize(620, 540);
        if (state.range(1)) {
            const QPixmap frame = view.grab();
            benchmark::DoNotOptimize(frame.cacheKey());
        }
        // Then the cards out of sight, as the grid builds them after its first frame.
        if (state.range(2))
            benchmark::DoNotOptimize(view.gridPage()->grid()->cards().size());
    }
}
BENCHMARK(BM_gridFirstPaint)
    ->Args({0, 1, 0})
    ->Args({6, 1, 0})
    ->Args({50, 0, 0})
    ->Args({50, 1, 0})
    ->Args({200, 0, 0})
    ->Args({200, 1, 0})
    ->Args({200, 1, 1})
    ->Unit(benchmark::kMillisecond);

void BM_scan_500DesktopEntries(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString applications = dir.path() + QStringLiteral("/applications");
    for (int i = 0; i < 500; ++i) {
        // A few vendor subfolders, as real data folders have.
        const QString folder = applications + (i % 5 == 0 ? QStringLiteral("/vendor%1").arg(i % 3) : QString());
        QDir().mkpath(folder);
        writeEntry(folder + QStringLiteral("/org.example.App%1.desktop").arg(i), i);
    }
    const InstalledAppsRoots roots{{dir.path() + QStringLiteral("/Applications")}, {applications}};
    for (auto _ : state) {
        const QList<AppItem> apps = InstalledAppsScanner::scanApplications(roots);
        if (apps.size() != 500)
            state.SkipWithError("the scan did not find every entry");
        benchmark::DoNotOptimize(apps.constData());
    }
}
BENCHMARK(BM_scan_500DesktopEntries)->Unit(benchmark::kMillisecond);

double medianOf(QList<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples.isEmpty() ? 0 : samples.at(samples.size() / 2);
}

// Whether every row in view shows its application's own icon colour at the icon's middle.
bool rowsShowTheirIcons(const AppPickerList &list, const QImage &frame, const QList<int> &indexes)
{
    for (qsizetype row = 0; row < indexes.size(); ++row) {
        const QRect rect = list.rowRect(int(row));
        if (rect.top() >= list.viewport()->height())
            break;
        // The icon: 32 points at the row's padding of 8; its middle is white, the colour is below it.
        const QPoint probe = list.viewport()->mapTo(&list, rect.topLeft() + QPoint(8 + 16, 8 + 28));
        const QColor seen = frame.pixelColor(probe * frame.devicePixelRatio());
        const QColor wanted = benchApplicationColor(indexes.at(row));
        if (std::abs(seen.hue() - wanted.hue()) > 12 && std::abs(seen.hue() - wanted.hue()) < 348)
            return false;
    }
    return true;
}

// The installed-applications picker listing `range(0)` applications never seen before, each with an
// icon file of its own: its first frame, and the time until the rows in view show their own icons.
void BM_picker_applicationsToPainted(benchmark::State &state)
{
    const int count = int(state.range(0));
    static int home = 0;
    QList<double> painted, icons;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QStringList entries = writeBenchApplications(dir.path() + QStringLiteral("/home-%1").arg(++home), count);
        QList<AppItem> rows;
        QList<int> indexes;
        for (int i = 0; i < entries.size(); ++i) {
            rows.append({QUuid::createUuid(), QStringLiteral("org.example.App%1").arg(i), QStringLiteral("Application %1").arg(i), entries.at(i)});
            indexes.append(i);
        }
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        AppPickerList list([](const QString &) { return false; });
        list.resize(420, 480);
        list.setRows(rows);
        QImage frame = list.grab().toImage();
        painted.append(double(clock.nsecsElapsed()) / 1e6);
        while (!rowsShowTheirIcons(list, frame, indexes) && clock.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            frame = list.grab().toImage();
        }
        if (!rowsShowTheirIcons(list, frame, indexes))
            return state.SkipWithError("the rows never showed their icons");
        icons.append(double(clock.nsecsElapsed()) / 1e6);
    }
    state.counters["painted_ms_median"] = medianOf(painted);
    state.counters["icons_ms_median"] = medianOf(icons);
}
BENCHMARK(BM_picker_applicationsToPainted)->Arg(300)->Arg(900)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
