#pragma once

#include "Kestrowan/groups/AppItem.h"

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

} // namespace RealApps
