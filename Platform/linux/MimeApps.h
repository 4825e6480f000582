#pragma once

#include <QString>

#include <optional>

// The desktop's choice of application for a MIME type (or "x-scheme-handler/<scheme>"), as the
// freedesktop "mimeapps.list" files and the installed desktop entries give it. The answer is the path
// of the application's desktop entry.
std::optional<QString> defaultApplicationForMimeType(const QString &mimeType);
