#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The file "installed_apps_cache.json": a compact JSON array of items, each object with exactly the
// keys "id", "bundleIdentifier", "name" and "path" in that order, every "/" written as "\/", UTF-8.
class InstalledAppsCache {
public:
    InstalledAppsCache() = delete;

    static QByteArray encode(const QList<AppItem> &apps);
    // Nullopt, with the reason in `failure`, when the text is not such an array; one bad object
    // makes the whole file unusable.
    static std::optional<QList<AppItem>> decode(const QByteArray &bytes, QString *failure = nullptr);

    // Nullopt without a reason when there is no file; with one when it cannot be read or decoded.
    static std::optional<QList<AppItem>> load(const QString &path, QString *failure);
    // Replaces the file whole; false with the reason in `failure`.
    static bool save(const QString &path, const QList<AppItem> &apps, QString *failure);
};
