#pragma once

#include <QIcon>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// The desktop's workspace: the icons it shows for files and content types, and the applications it
// would use to open them. Applications are named by their bundle path.
class Workspace {
public:
    virtual ~Workspace() = default;

    static Workspace &shared();
    // Replaces the process-wide workspace; nullptr goes back to this machine's.
    static void install(std::unique_ptr<Workspace> workspace);

    // The icon the file manager shows for the file at `path`; a generic icon when nothing is there.
    virtual QIcon iconForFile(const QString &path) const = 0;
    // The icon of a content type (a type identifier, see TypeIdentifiers).
    virtual QIcon iconForContentType(const QString &type) const = 0;
    // The application that opens content of `type` by default.
    virtual std::optional<QString> applicationForContentType(const QString &type) const = 0;
    // The application that would open `url`, judged by its name alone (nothing need exist there).
    virtual std::optional<QString> applicationToOpenURL(const QUrl &url) const = 0;
};
