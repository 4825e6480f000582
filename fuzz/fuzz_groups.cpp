// The groups file: the fast reader the store uses, which must agree with the tree-based one.
#include "Kestrowan/groups/GroupsJson.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    const std::optional<QList<AppGroup>> fast = GroupsJson::decode(bytes);
    const std::optional<QList<AppGroup>> tree = GroupsJson::decodeThroughTree(bytes);
    if (fast.has_value() != tree.has_value() || (fast && *fast != *tree))
        __builtin_trap();
    if (fast) {
        for (const AppGroup &group : *fast) {
            for (const AppItem &item : group.apps)
                (void)item.itemURL();
        }
        if (GroupsJson::decode(GroupsJson::encode(*fast)) != fast)
            __builtin_trap();
    }
    return 0;
}
