#pragma once

#include "Platform/DisplayNames.h"

#include <QHash>

// Names from a table; any other path is named by its last component.
class FakeDisplayNames final : public DisplayNames {
public:
    QHash<QString, QString> names; // path -> display name

    QString displayNameAtPath(const QString &path) const override
    {
        const auto found = names.constFind(path);
        if (found != names.cend())
            return *found;
        return path.mid(path.lastIndexOf(u'/') + 1);
    }
};
