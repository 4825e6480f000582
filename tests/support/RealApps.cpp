#include "tests/support/RealApps.h"

#include "Kestrowan/groups/ItemFactory.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopIcons.h"
#include "Platform/linux/DesktopWorkspace.h"

#include <QStringList>

#include <algorithm>
#include <QUrl>

namespace RealApps {

const QList<Application> &wanted()
{
    static const QList<Application> apps{
        {QStringLiteral("galculator.desktop"), QStringLiteral("galculator")},
        {QStringLiteral("viewnior.desktop"), QStringLiteral("viewnior")},
        {QStringLiteral("mtpaint.desktop"), QStringLiteral("mtpaint")},
        {QStringLiteral("org.xfce.ristretto.desktop"), QStringLiteral("ristretto")},
        {QStringLiteral("debian-xterm.desktop"), QStringLiteral("xterm")},
        {QStringLiteral("xarchiver.desktop"), QStringLiteral("xarchiver")},
        {QStringLiteral("l3afpad.desktop"), QStringLiteral("l3afpad")},
        {QStringLiteral("htop.desktop"), QStringLiteral("htop")},
        {QStringLiteral("xpdf.desktop"), QStringLiteral("xpdf")},
        {QStringLiteral("debian-uxterm.desktop"), QStringLiteral("xterm")},
    };
    return apps;
}

Found applications()
{
    Found found;
    QStringList problems;
    QStringList packages;
    int scalableIcons = 0;
    int bitmapOnlyIcons = 0;
    for (const Application &app : wanted()) {
        const std::optional<QString> path = installedDesktopEntryPath(app.entry);
        const std::optional<DesktopEntry> entry = path ? DesktopEntry::load(*path) : std::nullopt;
        if (!entry) {
            problems << app.entry + QStringLiteral(" is not installed");
            packages << app.package;
            continue;
        }
        // The picture must be the application's own, not the generic symbol that stands in for an
        // icon that is not there.
        const QString icon = entry->value(QStringLiteral("Icon"));
        const QList<DesktopIcons::IconFile> files = DesktopIcons::files(icon);
        if (files.isEmpty()) {
            problems << QStringLiteral("%1 names the icon \"%2\", which is not installed").arg(app.entry, icon);
            packages << app.package;
            continue;
        }
        const bool scalable = std::any_of(files.cbegin(), files.cend(), [](const DesktopIcons::IconFile &file) { return file.size == 0; });
        (scalable ? scalableIcons : bitmapOnlyIcons) += 1;
        found.items << makeFileItem(QUrl::fromLocalFile(*path));
    }
    // The pictures are meant to show both kinds of icon the helper decodes.
    if (problems.isEmpty() && (scalableIcons == 0 || bitmapOnlyIcons == 0))
        problems << QStringLiteral("the applications' icons are not both scalable and bitmap ones (%1 scalable, %2 bitmap only)")
                        .arg(scalableIcons)
                        .arg(bitmapOnlyIcons);
    if (!problems.isEmpty())
        found.missing = problems.join(QStringLiteral("; ")) + u'.';
    if (!packages.isEmpty()) {
        packages.removeDuplicates();
        found.missing += QStringLiteral(" The pictures show real applications: install the Debian package(s) ") + packages.join(u' ')
            + QStringLiteral(" (scripts/setup.sh does).");
    }
    return found;
}

namespace {

bool isDesktopEntry(const QString &path)
{
    return path.endsWith(QLatin1String(".desktop"));
}

} // namespace

const ::Workspace &Workspace::desktop() const
{
    static const DesktopWorkspace workspace;
    return workspace;
}

QIcon Workspace::iconForFile(const QString &path) const
{
    return isDesktopEntry(path) ? desktop().iconForFile(path) : documents.iconForFile(path);
}

std::optional<QString> Workspace::pendingIconFile(const QString &path, int pixels) const
{
    return isDesktopEntry(path) ? desktop().pendingIconFile(path, pixels) : documents.pendingIconFile(path, pixels);
}

} // namespace RealApps
