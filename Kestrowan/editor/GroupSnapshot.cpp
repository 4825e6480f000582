#include "Kestrowan/editor/GroupSnapshot.h"

GroupSnapshot GroupSnapshot::of(const AppGroup &group)
{
    GroupSnapshot snapshot;
    snapshot.appBundleIDs.reserve(group.apps.size());
    for (const AppItem &item : group.apps)
        snapshot.appBundleIDs.append(item.bundleIdentifier);
    snapshot.displayStyle = group.displayStyle;
    snapshot.iconStyle = group.iconStyle;
    snapshot.skinId = group.skinId;
    snapshot.name = group.name;
    snapshot.customOpenerPath = group.customOpenerPath;
    snapshot.openerRules = group.openerRules;
    return snapshot;
}
