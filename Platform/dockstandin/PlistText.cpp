#include "Platform/dockstandin/PlistText.h"

#include <cstdlib>

QString plistText(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return {};
    char *value = nullptr;
    plist_get_string_val(node, &value);
    const QString text = value ? QString::fromUtf8(value) : QString();
    std::free(value);
    return text;
}
