#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QList>

// Two programs that share one "groups.json" (one per display) each change the groups they hold; when
// one finds that the other wrote the file since it last read it, it takes the other's changes in
// with this three-way merge, group by group (by id), against the list both started from:
//   - a group only one side changed (or added, or deleted) takes that side's change;
//   - a group both changed differently keeps `ours` (this program's, what its user sees) and is
//     named in `conflicts`, so the user is told; so is a group one side changed and the other deleted,
//     where ours wins too.
// The order is ours where this program reordered the groups, else theirs; a group only one side has
// follows the group it followed there.
struct GroupsMerge {
    QList<AppGroup> groups;
    // Ours, for each group both sides changed, in the merged order.
    QList<AppGroup> conflicts;

    static GroupsMerge merge(const QList<AppGroup> &base, const QList<AppGroup> &ours, const QList<AppGroup> &theirs);
};
