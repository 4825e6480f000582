#pragma once

#include "Platform/DisplayNames.h"

// Display names as a freedesktop file manager shows them: a desktop entry by its "Name=", an
// ".app" bundle without its extension, anything else by its file name.
class DesktopDisplayNames final : public DisplayNames {
public:
    QString displayNameAtPath(const QString &path) const override;
};
