#pragma once

#include "Platform/TypeIdentifiers.h"

// Type identifiers from the program's own table of common types and the shared MIME database.
class MimeTypeIdentifiers final : public TypeIdentifiers {
public:
    std::optional<QString> typeForFilenameExtension(const QString &extension) const override;
};
