#pragma once

#include <QString>

#include <plist/plist.h>

// The text of a property-list string node; empty for a missing node or one of another type.
QString plistText(plist_t node);
