#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. Each location is worked out once per process, on first use, and
// never changes afterwards; reading one creates nothing on disk.

// <Application Support>/Kestrowan, or <tmp>/Kestrowan when there is no Application Support folder.
QString appSupportDirectoryURL();
// <app support>/Groups: the groups' mirror folders.
QString groupsDirectoryURL();
// <app support>/Skins: the installed skins.
QString skinsDirectoryURL();
// The user's caches folder (not the program's own subfolder), or the temporary folder.
QString cachesDirectoryURL();

// The choice behind appSupportDirectoryURL, given what the system offers for Application Support:
// the first candidate, else the temporary folder (logging the fallback). Exposed for tests.
QString resolveAppSupportDirectory(const QStringList &applicationSupportCandidates);
