#pragma once

#include "Kestrowan/app/KestrowanRoute.h"

#include <QString>
#include <QUrl>

#include <optional>

// A ".kestrowanlink" file: a property list whose dictionary holds only strings, with the route's URL
// under "URL". The extension is compared case-sensitively.
inline const QString linkFileExtension = QStringLiteral("kestrowanlink");

bool isLinkFileURL(const QUrl &url);
// The route the file names; nullopt with one log line when it is larger than 1 MiB, unreadable, not
// a property list, not a dictionary of strings, or its "URL" is missing or names no route.
std::optional<KestrowanRoute> readLinkFile(const QString &path);
