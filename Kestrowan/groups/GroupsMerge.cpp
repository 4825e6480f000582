#include "Kestrowan/groups/GroupsMerge.h"

#include <QHash>
#include <QSet>

namespace {

QHash<QUuid, AppGroup> byId(const QList<AppGroup> &groups)
{
    QHash<QUuid, AppGroup> result;
    for (const AppGroup &group : groups)
        result.insert(group.id, group);
    return result;
}

QList<QUuid> idsOf(const QList<AppGroup> &groups, const QSet<QUuid> &among)
{
    QList<QUuid> ids;
    for (const AppGroup &group : groups) {
        if (among.contains(group.id))
            ids.append(group.id);
    }
    return ids;
}

} // namespace

GroupsMerge GroupsMerge::merge(const QList<AppGroup> &base, const QList<AppGroup> &ours, const QList<AppGroup> &theirs)
{
    const QHash<QUuid, AppGroup> baseGroups = byId(base);
    const QHash<QUuid, AppGroup> ourGroups = byId(ours);
    const QHash<QUuid, AppGroup> theirGroups = byId(theirs);

    GroupsMerge result;
    QHash<QUuid, AppGroup> kept;
    QSet<QUuid> conflicting;
    QSet<QUuid> every;
    for (const QList<AppGroup> *side : {&base, &ours, &theirs}) {
        for (const AppGroup &group : *side)
            every.insert(group.id);
    }
    for (const QUuid &id : std::as_const(every)) {
        const std::optional<AppGroup> was = baseGroups.contains(id) ? std::optional(baseGroups.value(id)) : std::nullopt;
        const std::optional<AppGroup> mine = ourGroups.contains(id) ? std::optional(ourGroups.value(id)) : std::nullopt;
        const std::optional<AppGroup> other = theirGroups.contains(id) ? std::optional(theirGroups.value(id)) : std::nullopt;
        std::optional<AppGroup> chosen;
        if (mine == was)
            chosen = other;
        else if (other == was || other == mine)
            chosen = mine;
        else {
            // Both changed it, or one changed what the other deleted: this side's user sees theirs.
            chosen = mine;
            conflicting.insert(id);
        }
        if (chosen)
            kept.insert(id, *chosen);
    }

    // Whose order: ours when this side moved groups that both still have, else theirs.
    QSet<QUuid> common;
    for (const AppGroup &group : base) {
        if (ourGroups.contains(group.id) && theirGroups.contains(group.id))
            common.insert(group.id);
    }
    const bool weReordered = idsOf(ours, common) != idsOf(base, common);
    const QList<AppGroup> &primary = weReordered ? ours : theirs;
    const QList<AppGroup> &secondary = weReordered ? theirs : ours;
    QSet<QUuid> keptIds;
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        keptIds.insert(it.key());
    QList<QUuid> order = idsOf(primary, keptIds);
    QSet<QUuid> placed(order.cbegin(), order.cend());
    std::optional<QUuid> previous;
    for (const AppGroup &group : secondary) {
        if (keptIds.contains(group.id) && !placed.contains(group.id)) {
            const qsizetype after = previous ? order.indexOf(*previous) : -1;
            order.insert(after + 1, group.id);
            placed.insert(group.id);
        }
        if (placed.contains(group.id))
            previous = group.id;
    }
    for (const QUuid &id : std::as_const(order)) {
        result.groups.append(kept.value(id));
        if (conflicting.contains(id))
            result.conflicts.append(kept.value(id));
    }
    // A group both changed and this side deleted is in no list any more; it is still told of.
    for (const QUuid &id : std::as_const(conflicting)) {
        if (!kept.contains(id))
            result.conflicts.append(theirGroups.value(id));
    }
    return result;
}
