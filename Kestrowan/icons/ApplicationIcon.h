#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QImage>
#include <QObject>
#include <QWidget>

#include <functional>
#include <optional>

// An application's icon as the views draw it: decoded out of the program at the pixel size drawn,
// the generic application symbol standing in while it is on its way.
namespace ApplicationIcon {

struct Picture {
    QImage image;
    // The generic symbol stands in: draw it now, ask again once its icon file arrives.
    bool pending = false;
    std::optional<QString> pendingFile;
};

// The item's icon at `pixels` a side (never larger; a smaller bitmap icon keeps its own pixels).
Picture of(const AppItem &app, int pixels);

// Asks for the icons of every application among `items` at each of `pixels` a side, all in one go
// and beside the main thread, so that a view that shows any of them later (a search bringing items
// into view) finds it at hand rather than starting a helper for it then. Returns at once.
void prefetch(const QList<AppItem> &items, const QList<int> &pixels);

// Runs `redraw` whenever a decoded icon arrives, while `view` lives.
void followArrivals(QObject *view, std::function<void()> redraw);
// Runs `redraw` once, when the icon file `file` arrives, if `view` still lives; a view that drew a
// stand-in asks so. Only the views that wait for a file hear of it: a window of hundreds of items
// drew each stand-in again for every icon that came in, and each arrival called every view.
void awaitArrival(QObject *view, const QString &file, std::function<void()> redraw);
// For a view that has just drawn the icon of the application at `path` at `pixels` a side: when
// that was the stand-in, `view` is drawn again once the icon arrives.
void redrawOnArrival(QWidget *view, const QString &path, int pixels);

} // namespace ApplicationIcon
