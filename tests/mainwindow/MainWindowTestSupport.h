#pragma once

#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"

#include <QWidget>

// An installed-applications list the test sets by hand; refreshes are only counted.
class FakeInstalledApps final : public InstalledAppsServiceInterface {
public:
    QList<AppItem> apps;
    bool scanning = false;
    int refreshes = 0;

    QList<AppItem> installedApps() const override { return apps; }
    bool isScanning() const override { return scanning; }
    QString cacheURL() const override { return QString(); }
    void refreshInstalledApps() override { ++refreshes; }

    void publish(const QList<AppItem> &list, bool isScanning)
    {
        apps = list;
        scanning = isScanning;
        emit installedAppsChanged();
        emit isScanningChanged();
    }
};

// Clicks the middle of a widget (or a point in it) with the left button.
void clickWidget(QWidget *widget, QPoint at = QPoint(-1, -1));

// The light or dark palette and the interface font, as the program sets them.
void applyLook(bool dark, const QString &language = QStringLiteral("en"));
