#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QString>

// What a group card shows of its group, worked out apart from the drawing.
struct GroupCardContent {
    // A strip holds this many thumbnails at most; a longer group shows one fewer and a "+N" tile.
    static constexpr int maximumStripItems = 6;
    static constexpr int stripItemsWithOverflow = 5;

    QString displayName;
    bool isUntitled = false;
    QString styleLabel;
    QString countText;
    QList<AppItem> stripItems;
    // Empty when every item has a thumbnail.
    QString overflowText;

    static GroupCardContent of(const AppGroup &group);
};
