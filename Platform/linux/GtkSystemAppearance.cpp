#include "Platform/linux/GtkSystemAppearance.h"

#include "Platform/BoundedFile.h"

#include <QStandardPaths>

bool GtkSystemAppearance::themeNameIsDark(const QString &name)
{
    const QString lower = name.trimmed().toLower();
    return lower.endsWith(QStringLiteral(":dark")) || lower.endsWith(QStringLiteral("-dark"))
        || lower.endsWith(QStringLiteral("_dark")) || lower == QStringLiteral("dark");
}

bool GtkSystemAppearance::settingsPreferDark(const QByteArray &settingsIni)
{
    bool inSettings = false;
    for (const QByteArray &raw : settingsIni.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inSettings = line == "[Settings]";
            continue;
        }
        const int equals = line.indexOf('=');
        if (!inSettings || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed()).toLower();
        if (key == "gtk-application-prefer-dark-theme" && (value == QStringLiteral("1") || value == QStringLiteral("true")))
            return true;
        if (key == "gtk-theme-name" && themeNameIsDark(value))
            return true;
    }
    return false;
}

bool GtkSystemAppearance::prefersDark() const
{
    const QString environmentTheme = qEnvironmentVariable("GTK_THEME");
    if (!environmentTheme.isEmpty())
        return themeNameIsDark(environmentTheme);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const char *folder : {"/gtk-4.0/settings.ini", "/gtk-3.0/settings.ini"}) {
        if (const auto bytes = readSmallFile(config + QLatin1String(folder), 64 * 1024))
            return settingsPreferDark(*bytes);
    }
    return false;
}
