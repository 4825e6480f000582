#include "Kestrowan/groups/DockReader.h"

#include "Kestrowan/groups/DockService.h"
#include "Platform/DockPreferences.h"
#include "Platform/RunningApplications.h"

#include <QFileInfo>
#include <QSet>
#include <QUrl>

namespace {

QVariantMap mapIn(const QVariantMap &map, const QString &key)
{
    const QVariant value = map.value(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

std::optional<QString> stringIn(const QVariantMap &map, const QString &key)
{
    const QVariant value = map.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

// "persistent-apps" when it is a list of dictionaries; anything else gives no Dock entries at all.
QList<QVariantMap> persistentApps()
{
    const QVariant stored = DockPreferences::shared().value(QStringLiteral("persistent-apps"));
    if (stored.typeId() != QMetaType::QVariantList)
        return {};
    QList<QVariantMap> entries;
    for (const QVariant &element : stored.toList()) {
        if (element.typeId() != QMetaType::QVariantMap)
            return {};
        entries.append(element.toMap());
    }
    return entries;
}

// Where a Dock entry says its application is; the workspace is asked only when the entry says nothing.
std::optional<QString> entryLocation(const QVariantMap &tileData, const QString &bundleIdentifier)
{
    const std::optional<QString> urlString = stringIn(mapIn(tileData, QStringLiteral("file-data")), QStringLiteral("_CFURLString"));
    if (urlString) {
        const QUrl url(*urlString, QUrl::TolerantMode);
        if (url.isValid() && !url.isEmpty())
            return DockService::standardizedPath(url);
    }
    return RunningApplications::shared().applicationPath(bundleIdentifier);
}

} // namespace

QList<DockReader::DockApp> DockReader::dockApps()
{
    QList<DockApp> result;
    QSet<QString> taken;

    for (const QVariantMap &entry : persistentApps()) {
        const QVariantMap tileData = mapIn(entry, QStringLiteral("tile-data"));
        const std::optional<QString> bundleIdentifier = stringIn(tileData, QStringLiteral("bundle-identifier"));
        if (!bundleIdentifier || taken.contains(*bundleIdentifier))
            continue;
        const QString name = stringIn(tileData, QStringLiteral("file-label")).value_or(*bundleIdentifier);
        const std::optional<QString> path = entryLocation(tileData, *bundleIdentifier);
        if (!path || path->isEmpty() || !QFileInfo::exists(*path))
            continue;
        taken.insert(*bundleIdentifier);
        result.append({*bundleIdentifier, name, *path});
    }

    for (const RunningApplication &app : RunningApplications::shared().runningApplications()) {
        if (app.activationPolicy != RunningApplication::ActivationPolicy::Regular)
            continue;
        if (app.bundleIdentifier.isEmpty() || taken.contains(app.bundleIdentifier) || app.bundlePath.isEmpty())
            continue;
        if (!QFileInfo::exists(app.bundlePath))
            continue;
        taken.insert(app.bundleIdentifier);
        result.append({app.bundleIdentifier, app.localizedName.isEmpty() ? app.bundleIdentifier : app.localizedName, app.bundlePath});
    }
    return result;
}

QList<AppItem> DockReader::appItemsFromDockApps(const QList<DockApp> &apps)
{
    QList<AppItem> items;
    items.reserve(apps.size());
    for (const DockApp &app : apps)
        items.append(AppItem{QUuid::createUuid(), app.bundleIdentifier, app.name, app.path});
    return items;
}
