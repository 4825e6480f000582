#pragma once

#include "Kestrowan/shell/AppToast.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class GroupManager;

// Keeps copies of items added from a temporary folder (a download being unpacked, an archive
// opened in place) in the program's own folder, so that a group never points at something the
// system is about to delete. A copy runs on a thread of its own and reports its progress: a large
// or slow folder never holds up the window. Only regular files and folders are copied; a symbolic
// link is copied as the same link (never followed, so nothing outside the dropped tree comes in);
// pipes, sockets and devices are left out. A tree larger than the limit is refused whole.
class DroppedItemKeeper final : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 defaultMaximumBytes = 512LL * 1024 * 1024;
    // Folders nested deeper than this are left out (a tree is never that deep by accident).
    static constexpr int maximumDepth = 64;

    // "<application support>/Dropped Items".
    static QString defaultFolder();
    // The folders whose contents the system may delete at any time.
    static QStringList systemTemporaryFolders();
    // Whether `path` lies in one of `temporaryFolders`; what lies in the home folder counts as the
    // user's own even where the home folder itself lies in one of them.
    static bool isTemporaryPath(const QString &path, const QStringList &temporaryFolders);

    explicit DroppedItemKeeper(QString folder, QObject *parent = nullptr);
    // Stops the copies still running (each stops at its next chunk) and removes what they began.
    ~DroppedItemKeeper() override;

    QString folder() const { return m_folder; }
    void setMaximumBytes(qint64 bytes) { m_maximumBytes = bytes; }
    qint64 maximumBytes() const { return m_maximumBytes; }

    // Copies `path` into the folder; `kept` runs on this object's thread with the copy's path once
    // it is complete. A refusal or failure runs nothing; `notice` tells the user.
    void keep(const QString &path, std::function<void(const QString &kept)> kept);
    int runningCopies() const { return int(m_running.size()); }

    // Removes the copies in `folder` that none of `referencedPaths` is or lies in (the removing runs
    // on a thread of the pool). Copies still arriving, or whose items are on their way into the
    // store, are not touched. Only what the program copied there goes, judged entry by entry by the
    // folder's record (kept in "Made Entries" beside it): a copy in which the user saved something
    // of their own stays with it, and `keptForUser` hears of it on the main thread. Nothing is
    // removed when `folder` is a link (the user's folder on another disk).
    static void removeUnreferenced(const QString &folder, const QSet<QString> &referencedPaths,
                                   std::function<void(const QString &kept)> keptForUser = {});
    // From now on, whenever the store's groups change, the copies no item uses any more (its item
    // was removed, its group deleted) are removed. Never while the store could not read its file.
    static void followStore(GroupManager &store, const QString &folder);

signals:
    // Bytes copied so far of the whole tree of `name`.
    void progress(const QString &name, qint64 copied, qint64 total);
    void runningCopiesChanged();
    // What the user should read: how far the copies have come, why one was refused; none once
    // they are done.
    void notice(const std::optional<AppToast> &toast);

private:
    struct Job {
        QThread *thread = nullptr;
        std::shared_ptr<std::atomic_bool> cancelled;
    };
    void finish(QThread *thread);

    QString m_folder;
    qint64 m_maximumBytes = defaultMaximumBytes;
    QList<Job> m_running;
};
