#include "Platform/linux/DesktopWorkspace.h"

#include "Platform/TypeIdentifiers.h"
#include "Platform/ApplicationBundles.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopIcons.h"
#include "Platform/linux/MimeApps.h"
#include "Platform/linux/TypeTable.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>

namespace {

QIcon themeIcon(const QStringList &names)
{
    DesktopIcons::prepareThemeLookup();
    for (const QString &name : names) {
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return {};
}

// A desktop entry's "Icon=": an absolute image path or a theme icon name.
QIcon desktopEntryIcon(const QString &path)
{
    const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
    return entry ? DesktopIcons::named(entry->value(QStringLiteral("Icon"))) : QIcon();
}

QIcon fallbackIcon(QAbstractFileIconProvider::IconType type)
{
    return QFileIconProvider().icon(type);
}

} // namespace

QIcon DesktopWorkspace::iconForFile(const QString &path) const
{
    DesktopIcons::prepareThemeLookup();
    const QFileInfo info(path);
    // An application, even one that is gone, is drawn as an application: its own icon where it
    // names one that is installed, else the generic application symbol, never a document.
    if (ApplicationBundles::isApplicationPath(path)) {
        QIcon icon;
        if (path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive) && info.isFile())
            icon = desktopEntryIcon(path);
        else if (info.isDir())
            icon = themeIcon({QStringLiteral("application-x-executable")});
        return icon.isNull() ? DesktopIcons::genericApplication() : icon;
    }
    if (!info.exists())
        return fallbackIcon(QAbstractFileIconProvider::File);
    const QIcon icon = QFileIconProvider().icon(info);
    return icon.isNull() ? fallbackIcon(info.isDir() ? QAbstractFileIconProvider::Folder : QAbstractFileIconProvider::File) : icon;
}

QIcon DesktopWorkspace::iconForContentType(const QString &type) const
{
    if (type == TypeIdentifiers::genericURLType) {
        const QIcon icon = themeIcon({QStringLiteral("text-html"), QStringLiteral("internet-web-browser"), QStringLiteral("applications-internet")});
        return icon.isNull() ? fallbackIcon(QAbstractFileIconProvider::Network) : icon;
    }
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeTypeForTypeIdentifier(type));
    const QIcon icon = mime.isValid() ? themeIcon({mime.iconName(), mime.genericIconName()}) : QIcon();
    return icon.isNull() ? fallbackIcon(QAbstractFileIconProvider::File) : icon;
}

std::optional<QString> DesktopWorkspace::applicationForContentType(const QString &type) const
{
    return defaultApplicationForMimeType(mimeTypeForTypeIdentifier(type));
}

std::optional<QString> DesktopWorkspace::applicationToOpenURL(const QUrl &url) const
{
    if (url.isLocalFile()) {
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(url.toLocalFile(), QMimeDatabase::MatchExtension);
        if (!mime.isValid() || mime.isDefault())
            return std::nullopt;
        return defaultApplicationForMimeType(mime.name());
    }
    if (url.scheme().isEmpty())
        return std::nullopt;
    return defaultApplicationForMimeType(QStringLiteral("x-scheme-handler/") + url.scheme().toLower());
}
