#include "Platform/linux/DesktopApplicationBundles.h"

#include "Platform/BoundedFile.h"
#include "Platform/PropertyList.h"
#include "Platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>

namespace {

std::optional<ApplicationBundle> desktopEntryBundle(const QString &path)
{
    const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
    if (!entry)
        return std::nullopt;
    ApplicationBundle bundle;
    bundle.path = path;
    bundle.bundleIdentifier = DesktopEntry::fileIdentifier(path);
    bundle.information.insert(QStringLiteral("CFBundleIdentifier"), *bundle.bundleIdentifier);
    const QString name = entry->localizedValue(QStringLiteral("Name"));
    if (!name.isEmpty()) {
        bundle.information.insert(QStringLiteral("CFBundleName"), name);
        bundle.information.insert(QStringLiteral("CFBundleDisplayName"), name);
    }
    const QString exec = entry->value(QStringLiteral("Exec"));
    if (!exec.isEmpty())
        bundle.information.insert(QStringLiteral("CFBundleExecutable"), exec);
    const QString icon = entry->value(QStringLiteral("Icon"));
    if (!icon.isEmpty())
        bundle.information.insert(QStringLiteral("CFBundleIconFile"), icon);
    return bundle;
}

// A bundle folder opens even without an information list; it then has no identifier.
ApplicationBundle folderBundle(const QString &path)
{
    ApplicationBundle bundle;
    bundle.path = path;
    bundle.information = bundleInformationDictionary(path);
    const QVariant identifier = bundle.information.value(QStringLiteral("CFBundleIdentifier"));
    if (identifier.metaType().id() == QMetaType::QString && !identifier.toString().isEmpty())
        bundle.bundleIdentifier = identifier.toString();
    return bundle;
}

} // namespace

QVariantMap bundleInformationDictionary(const QString &bundlePath)
{
    const std::optional<QByteArray> bytes = readSmallFile(bundlePath + QStringLiteral("/Contents/Info.plist"));
    return PropertyList::storedDictionary(bytes.value_or(QByteArray())).value_or(QVariantMap());
}

std::optional<ApplicationBundle> DesktopApplicationBundles::bundleAt(const QString &path) const
{
    const QString cleaned = QDir::cleanPath(path);
    const QFileInfo info(cleaned);
    if (info.isDir())
        return folderBundle(cleaned);
    if (info.isFile() && cleaned.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        return desktopEntryBundle(cleaned);
    return std::nullopt;
}
