// The main window's first paint with 50 groups, and the scan of 500 desktop entries that the
// installed-applications picker waits for.
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/InstalledAppsScanner.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Platform/UserDefaults.h"

#include <QDir>
#include <QFile>
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

void writeEntry(const QString &path, int index)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Application %1\nName[ja]=アプリ %1\n"
                                  "Exec=app%1 %U\nIcon=app%1\nCategories=Utility;\n").arg(index).toUtf8());
}

// 50 groups of 1 to 12 items, applications (desktop entries), folders and documents.
QList<AppGroup> sampleGroups(const QString &folder)
{
    QDir().mkpath(folder + QStringLiteral("/applications"));
    QList<AppItem> items;
    for (int i = 0; i < 12; ++i) {
        const QString entry = folder + QStringLiteral("/applications/app%1.desktop").arg(i);
        writeEntry(entry, i);
        items.append({QUuid::createUuid(), QStringLiteral("app%1").arg(i), QStringLiteral("Application %1").arg(i), entry});
    }
    QDir().mkpath(folder + QStringLiteral("/Projects"));
    items.append({QUuid::createUuid(), QStringLiteral("file:") + folder + QStringLiteral("/Projects"), QStringLiteral("Projects"),
                  folder + QStringLiteral("/Projects")});
    QList<AppGroup> groups;
    for (int i = 0; i < 50; ++i) {
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

void BM_gridFirstPaint_50Groups(benchmark::State &state)
{
    QTemporaryDir dir;
    GroupManager store(dir.path(), dir.path() + QStringLiteral("/Groups"));
    store.ensureStorageDirectories();
    store.setGroups(sampleGroups(dir.path()));
    UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
    AppNavigation navigation;
    NoApps apps;
    for (auto _ : state) {
        MainView view(store, apps, navigation, nullptr);
        view.resize(620, 540);
        const QPixmap frame = view.grab();
        benchmark::DoNotOptimize(frame.cacheKey());
    }
}
BENCHMARK(BM_gridFirstPaint_50Groups)->Unit(benchmark::kMillisecond);

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

} // namespace
