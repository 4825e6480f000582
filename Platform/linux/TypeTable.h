#pragma once

#include <QString>

#include <optional>

// This machine's stand-in for uniform type identifiers: a table of the common data types by
// extension, and MIME type names (from the shared MIME database) for everything else. A type
// identifier is either a name from the table ("com.adobe.pdf") or a MIME type name ("text/x-csrc").

// The data type of an extension (any letter case); nullopt when the extension names no known data.
std::optional<QString> dataTypeForExtension(const QString &extension);
// The MIME type name behind a type identifier; empty when there is none.
QString mimeTypeForTypeIdentifier(const QString &type);
