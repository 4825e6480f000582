#include "Platform/linux/GtkSystemAppearance.h"

#include "Platform/BoundedFile.h"

#include <QStandardPaths>

bool GtkSystemAppearance::themeNameIsDark(const QString &name)
{
    const QString lower = name.trimmed().toLower();
    return lower.endsWith(QStringLiteral(":dark")) || lower.endsWith(QStringLiteral("-dark"))
        || lower.endsWith(QStringLiteral("_dark")) || lower == QStringLiteral("dark");
}

QString GtkSystemAppearance::settingsValue(const QByteArray &settingsIni, const QByteArray &key)
{
    bool inSettings = false;
    QString found;
    for (const QByteArray &raw : settingsIni.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inSettings = line == "[Settings]";
            continue;
        }
        const int equals = line.indexOf('=');
        if (inSettings && equals >= 0 && line.left(equals).trimmed() == key)
            found = QString::fromUtf8(line.mid(equals + 1).trimmed());
    }
    return found;
}

std::optional<QByteArray> GtkSystemAppearance::userSettings()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const char *folder : {"/gtk-4.0/settings.ini", "/gtk-3.0/settings.ini"}) {
        if (auto bytes = readSmallFile(config + QLatin1String(folder), 64 * 1024))
            return bytes;
    }
    return std::nullopt;
}

bool GtkSystemAppearance::settingsPreferDark(const QByteArray &settingsIni)
{
    const QString prefer = settingsValue(settingsIni, "gtk-application-prefer-dark-theme").toLower();
    return prefer == QStringLiteral("1") || prefer == QStringLiteral("true")
           || themeNameIsDark(settingsValue(settingsIni, "gtk-theme-name"));
}

bool GtkSystemAppearance::prefersDark() const
{
    const QString environmentTheme = qEnvironmentVariable("GTK_THEME");
    if (!environmentTheme.isEmpty())
        return themeNameIsDark(environmentTheme);
    if (const auto bytes = userSettings())
        return settingsPreferDark(*bytes);
    return false;
}
