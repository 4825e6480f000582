#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QList>
#include <QString>
#include <QStringList>

// Where the installed applications are looked for. ".app" bundles are searched in the bundle roots,
// desktop entries in the entry roots; a root earlier in its list wins when two roots hold the same
// application.
struct InstalledAppsRoots {
    QStringList bundleRoots;
    QStringList desktopEntryRoots;

    // "/Applications", "/System/Applications", "~/Applications", and the desktop's application
    // folders with the user's own first.
    static InstalledAppsRoots standard();
};

// Walks the roots off the main thread: it touches no shared state and may run on any thread.
class InstalledAppsScanner {
public:
    InstalledAppsScanner() = delete;

    // Every application found, each bundle identifier once (the first copy found wins), each entry
    // with a new identifier, in name order. Unreadable folders and bundles are passed over.
    static QList<AppItem> scanApplications(const InstalledAppsRoots &roots);

    // Stable, case-insensitive, in the user's language's collation.
    static void sortByName(QList<AppItem> &apps);
};
