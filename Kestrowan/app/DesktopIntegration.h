#pragma once

#include <QByteArray>
#include <QString>

// Makes the desktop hand "kestrowan:" links and ".kestrowanlink" files to this program: a desktop
// entry for the user declaring the scheme handler and the link-file type, the type itself, and the
// user's default for both. Files are rewritten only when their content would change.
void installDesktopIntegration(const QString &programPath);

inline const QString linkFileMimeType = QStringLiteral("application/x-kestrowanlink");
inline const QString schemeMimeType = QStringLiteral("x-scheme-handler/kestrowan");

// The text of the desktop entry (exposed for tests).
QString kestrowanDesktopEntry(const QString &programPath);
// "mimeapps.list" with this program as the default for both types, every other line kept byte for byte.
QByteArray withKestrowanDefaults(const QByteArray &mimeAppsList);
