#pragma once

#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// A place in the main window that others can ask for: the main page, the settings, or one group.
// Its URL form is "kestrowan://open/main", "kestrowan://open/settings" and
// "kestrowan://open/group/<UUID>".
struct KestrowanRoute {
    enum class Kind { Group, Main, Settings };

    Kind kind = Kind::Main;
    QUuid groupID; // only for Kind::Group

    static KestrowanRoute group(const QUuid &id) { return {Kind::Group, id}; }
    static KestrowanRoute main() { return {Kind::Main, {}}; }
    static KestrowanRoute settings() { return {Kind::Settings, {}}; }

    friend bool operator==(const KestrowanRoute &a, const KestrowanRoute &b)
    {
        return a.kind == b.kind && (a.kind != Kind::Group || a.groupID == b.groupID);
    }
};

inline const QString kestrowanURLScheme = QStringLiteral("kestrowan");

QUrl routeURL(const KestrowanRoute &route);
// Scheme and host compared without case; the first path component names the route, further
// components, the query and the fragment are ignored.
std::optional<KestrowanRoute> parseRoute(const QUrl &url);
