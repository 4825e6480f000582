#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QImage>
#include <QObject>

#include <functional>

// An application's icon as the views draw it: decoded out of the program at the pixel size drawn,
// the generic application symbol standing in while it is on its way.
namespace ApplicationIcon {

struct Picture {
    QImage image;
    // The generic symbol stands in: draw it now, ask again once an icon arrives.
    bool pending = false;
};

// The item's icon at `pixels` a side (never larger; a smaller bitmap icon keeps its own pixels).
Picture of(const AppItem &app, int pixels);

// Runs `redraw` whenever a decoded icon arrives, while `view` lives.
void followArrivals(QObject *view, std::function<void()> redraw);

} // namespace ApplicationIcon
