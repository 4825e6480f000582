#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>

// Where an added URL really leads: the final URL and a title found on the way (or the caller's).
struct ResolvedShortcut {
    QUrl url;
    std::optional<QString> preferredName;

    friend bool operator==(const ResolvedShortcut &, const ResolvedShortcut &) = default;
};

// Schemes that never become items.
const QSet<QString> &blockedURLSchemes();
// Extensions of property-list web-location files.
const QSet<QString> &shortcutFileExtensions();

// Follows stand-ins (web-location and internet-shortcut files, aliases, symbolic links) to what they
// point at, at most six hops and never through the same path twice. Never fails: whatever cannot be
// read or resolved ends the walk where it stands.
ResolvedShortcut resolveAddedURL(const QUrl &url, const std::optional<QString> &name = std::nullopt);

// An item for a file URL: an application for a bundle, else a file or folder. Always one.
AppItem makeFileItem(const QUrl &url, const std::optional<QString> &name = std::nullopt);

// An item for a web URL; nullopt for a URL without scheme, a file URL or a blocked scheme.
std::optional<AppItem> makeWebItem(const QUrl &url, const std::optional<QString> &name = std::nullopt);

// The target a shortcut file holds; nullopt when the file is unreadable, too large or holds none.
std::optional<QUrl> webLocationFileTarget(const QString &path);
std::optional<QUrl> internetShortcutFileTarget(const QString &path);
