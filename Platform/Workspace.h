#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>
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
    // The picture file the icon iconForFile() gives for `path` is drawn from at `pixels` a side,
    // when that picture is still being decoded out of the program and a stand-in is drawn
    // meanwhile (asking starts the decoding); nothing once it is in. While what names the picture
    // is still being read, `path` itself. A view that keeps what it drew asks again once
    // DecodedIcons reports that file in.
    virtual std::optional<QString> pendingIconFile(const QString &path, int pixels) const
    {
        Q_UNUSED(path)
        Q_UNUSED(pixels)
        return std::nullopt;
    }
    bool iconPending(const QString &path, int pixels) const { return pendingIconFile(path, pixels).has_value(); }
    // Fetches, beside the main thread, what drawing the icons of the applications at `paths` at
    // each of `pixels` a side takes (what names their pictures, and the pictures themselves, asked
    // to be decoded), so that the views that draw them later find it at hand and look at no file.
    // Returns at once.
    virtual void prepareIcons(const QStringList &paths, const QList<int> &pixels) const
    {
        Q_UNUSED(paths)
        Q_UNUSED(pixels)
    }
    // The icon iconForFile() gives for `path`, as far as what is kept of the file tells, for the
    // main thread's views: nothing there is looked at (SeenPaths). While the file is first looked
    // at beside the main thread a stand-in comes, drawing what is known whenever it is drawn, and
    // `pending` is set; its views hear of the file through DecodedIcons::arrived with `path`.
    struct KeptIcon {
        QIcon icon;
        bool pending = false;
    };
    virtual KeptIcon keptIconForFile(const QString &path) const { return {iconForFile(path), false}; }
    // The icon of a content type (a type identifier, see TypeIdentifiers).
    virtual QIcon iconForContentType(const QString &type) const = 0;
    // The application that opens content of `type` by default.
    virtual std::optional<QString> applicationForContentType(const QString &type) const = 0;
    // The application that would open `url`, judged by its name alone (nothing need exist there).
    virtual std::optional<QString> applicationToOpenURL(const QUrl &url) const = 0;
};
