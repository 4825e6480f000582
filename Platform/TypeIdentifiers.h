#pragma once

#include <QString>

#include <memory>
#include <optional>

// Uniform type identifiers: what kind of content a file-name extension stands for.
class TypeIdentifiers {
public:
    virtual ~TypeIdentifiers() = default;

    // The type every web address has; the workspace gives one generic icon for it.
    static inline const QString genericURLType = QStringLiteral("public.url");

    static TypeIdentifiers &shared();
    // Replaces the process-wide table; nullptr goes back to this machine's.
    static void install(std::unique_ptr<TypeIdentifiers> identifiers);

    // The data type associated with a file-name extension (used as given, not lower-cased);
    // nullopt when the extension names no data type.
    virtual std::optional<QString> typeForFilenameExtension(const QString &extension) const = 0;
};
