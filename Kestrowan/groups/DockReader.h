#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QList>
#include <QString>

// The applications the Dock shows, offered by the app pickers: those kept in the Dock, in the Dock's
// order, then the other ordinary applications running now, each once.
class DockReader {
public:
    struct DockApp {
        QString bundleIdentifier;
        QString name;
        QString path;

        friend bool operator==(const DockApp &, const DockApp &) = default;
    };

    DockReader() = delete;

    // Never fails: a damaged preferences file, entry or application is only left out.
    static QList<DockApp> dockApps();
    // One new item per application, in order, each with a fresh identifier.
    static QList<AppItem> appItemsFromDockApps(const QList<DockApp> &apps);
};
