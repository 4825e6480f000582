#include "Platform/linux/DesktopDisplayNames.h"

#include "Platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>

QString DesktopDisplayNames::displayNameAtPath(const QString &path) const
{
    const QString cleaned = QDir::cleanPath(path);
    const QFileInfo info(cleaned);
    if (cleaned == QStringLiteral("/"))
        return cleaned;
    if (info.isFile() && cleaned.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive)) {
        if (const auto entry = DesktopEntry::load(cleaned)) {
            const QString name = entry->localizedValue(QStringLiteral("Name"));
            if (!name.isEmpty())
                return name;
        }
    }
    if (info.isDir() && cleaned.endsWith(QLatin1String(".app"), Qt::CaseInsensitive) && info.fileName().size() > 4)
        return info.fileName().chopped(4);
    return info.fileName();
}
