#pragma once

#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

// Tells the event loop's thread the moment a Dock begins to listen on this session's socket: a
// Dock the keeper started again, one started by hand, or the first one. Whatever depends on the
// Dock answering (the event taps, the copy of its tree, the running-application tile, a restart
// waiting for the new Dock) starts again at once rather than at its next poll.
//
// The socket's folder is watched; a new socket file there is tried until it takes a connection (it
// appears a moment before the Dock listens on it), for a second at most.
class DockSocketArrival final : public QObject {
    Q_OBJECT
public:
    // The one watch, made on first use, owned by the application object; nullptr off the event
    // loop's thread or without an application object.
    static DockSocketArrival *shared();

signals:
    // A Dock takes connections on the socket now.
    void dockListening();

private:
    explicit DockSocketArrival(QObject *parent);
    void folderChanged();
    void tryConnecting();

    const QString m_path;
    QFileSystemWatcher m_watcher;
    // The socket file last seen (device, inode, change time), so that unrelated changes of a shared
    // folder such as /tmp do not look like a new Dock, and a new socket that took the old one's
    // inode does.
    using Identity = std::array<qint64, 4>;
    static std::optional<Identity> identityOf(const QString &path);
    std::optional<Identity> m_seen;
    QLocalSocket m_probe;
    QTimer m_retry;
    int m_triesLeft = 0;
};
