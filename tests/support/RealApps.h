#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Platform/Workspace.h"
#include "Platform/fake/FakeWorkspace.h"

#include <QList>
#include <QString>

// Applications installed on this machine by Debian packages (scripts/setup.sh installs them), for
// pictures of the windows: their own desktop entries and their own icons, scalable and bitmap, found
// and decoded as the program does for any user's applications.
namespace RealApps {

struct Application {
    QString entry;   // the desktop file name, as installed in /usr/share/applications
    QString package; // the Debian package that installs it
};

// In the order of applications(): a calculator, an image viewer, a paint program, a photo viewer,
// a terminal, an archive manager, a text editor, a process viewer, a PDF viewer, a second terminal.
const QList<Application> &wanted();

struct Found {
    QList<AppItem> items;
    // Empty when every wanted application is installed with its icon; else what is missing and the
    // packages to install, for the test to fail with.
    QString missing;
};

// Items made from the installed entries the way the program makes them from a dropped entry (name
// from the entry, identifier from its file name). Nothing is made up to stand in for a missing one.
Found applications();

// A workspace whose documents' icons and openers come from tables the test fills, while desktop
// entries get their own icons as the desktop's workspace finds them, decoded by the icon helper
// (and redrawn by the views once a size is in).
class Workspace final : public ::Workspace {
public:
    FakeWorkspace documents;

    QIcon iconForFile(const QString &path) const override;
    std::optional<QString> pendingIconFile(const QString &path, int pixels) const override;
    void prepareIcons(const QStringList &paths, const QList<int> &pixels) const override { desktop().prepareIcons(paths, pixels); }
    QIcon iconForContentType(const QString &type) const override { return documents.iconForContentType(type); }
    std::optional<QString> applicationForContentType(const QString &type) const override
    {
        return documents.applicationForContentType(type);
    }
    std::optional<QString> applicationToOpenURL(const QUrl &url) const override { return documents.applicationToOpenURL(url); }

private:
    const ::Workspace &desktop() const;
};

} // namespace RealApps
