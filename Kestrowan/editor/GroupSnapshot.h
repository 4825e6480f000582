#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QStringList>

// What a group's Dock tile shows of it: the items' identifiers in order, the styles, the skin, the
// name as typed and the openers. An item's display name or path, and the group's shortcut, are no
// part of it: changing them leaves the tile as it is.
struct GroupSnapshot {
    QStringList appBundleIDs;
    AppGroup::DisplayStyle displayStyle = AppGroup::DisplayStyle::Grid;
    AppGroup::IconStyle iconStyle = AppGroup::IconStyle::Shelf;
    std::optional<QString> skinId;
    QString name;
    std::optional<QString> customOpenerPath;
    std::optional<OpenerRules> openerRules;

    static GroupSnapshot of(const AppGroup &group);
    friend bool operator==(const GroupSnapshot &, const GroupSnapshot &) = default;
};
