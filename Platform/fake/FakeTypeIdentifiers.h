#pragma once

#include "Platform/TypeIdentifiers.h"

#include "Platform/fake/TableLookup.h"

#include <QHash>

class FakeTypeIdentifiers final : public TypeIdentifiers {
public:
    QHash<QString, QString> types; // extension (as asked) -> type identifier
    mutable QStringList asked;

    std::optional<QString> typeForFilenameExtension(const QString &extension) const override
    {
        asked.append(extension);
        return tableLookup(types, extension);
    }
};
