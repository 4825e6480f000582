#pragma once

#include "Platform/SystemAppearance.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The colour-scheme preference as GTK desktops state it: $GTK_THEME, then the user's GTK 4 and GTK 3
// "settings.ini" (a dark-theme preference, or a theme whose name says it is dark).
class GtkSystemAppearance final : public SystemAppearance {
public:
    bool prefersDark() const override;

    // Whether one "settings.ini", as GTK writes it, asks for a dark look.
    static bool settingsPreferDark(const QByteArray &settingsIni);
    static bool themeNameIsDark(const QString &name);

    // The value of `key` in the "[Settings]" group of one "settings.ini"; empty when it has none.
    static QString settingsValue(const QByteArray &settingsIni, const QByteArray &key);
    // The user's GTK settings: GTK 4's "settings.ini" where there is one, else GTK 3's.
    static std::optional<QByteArray> userSettings();
};
