#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QString>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Writes "groups.json" on a thread of its own, so that a save costs its caller only the copy of a
// list (which shares its data). Saves are written in the order they were asked for; one asked for
// while another is being written replaces any that is still waiting, so the last state always
// reaches the disk and a burst of changes costs one or two writes. Every store of one file shares
// one writer, so that a store made later never reads the file before an earlier one's last save.
class GroupsFileWriter : public std::enable_shared_from_this<GroupsFileWriter> {
public:
    static std::shared_ptr<GroupsFileWriter> forFile(const QString &path);
    ~GroupsFileWriter();
    GroupsFileWriter(const GroupsFileWriter &) = delete;
    GroupsFileWriter &operator=(const GroupsFileWriter &) = delete;

    void save(QList<AppGroup> groups);
    // Returns once every save asked for so far is on disk (or has failed and been logged).
    void waitUntilWritten();
    // Whether the last write that ended failed: the file then holds an older state than the last save.
    bool lastWriteFailed() const;

    // Told, on the writer's thread, after each write: nothing when it reached the disk, else why not.
    // A listener is removed before what it calls goes away; removal waits for a call under way.
    using Listener = std::function<void(const std::optional<QString> &failure)>;
    void addListener(const void *owner, Listener listener);
    void removeListener(const void *owner);

private:
    explicit GroupsFileWriter(const QString &path);
    void run();
    void wakeWriter();
    std::optional<QString> write(const QList<AppGroup> &groups) const;

    const QString m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<QList<AppGroup>> m_pending;
    bool m_writing = false;
    bool m_lastWriteFailed = false;
    std::mutex m_listenersMutex;
    std::map<const void *, Listener> m_listeners;
    bool m_stopping = false;
    bool m_wakePosted = false;
    std::thread m_thread;
};
