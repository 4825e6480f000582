#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QByteArray>
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
//
// Another program (the same program on another display, with the same home folder) may write the
// file too. Once the store tells the writer which state of the file its groups rest on (`adopt`),
// a write replaces the file only while it still holds that state, checked under a lock on the
// file's folder that every writer of the file takes; when the file changed meanwhile, nothing is
// written and the listeners are told, so that the store takes the other change in and saves again.
class GroupsFileWriter : public std::enable_shared_from_this<GroupsFileWriter> {
public:
    static std::shared_ptr<GroupsFileWriter> forFile(const QString &path);
    ~GroupsFileWriter();
    GroupsFileWriter(const GroupsFileWriter &) = delete;
    GroupsFileWriter &operator=(const GroupsFileWriter &) = delete;

    // The state of the file a store knows: its bytes (none when there was no file) and the groups it
    // held, as read or as written here. `version` counts the states the writer has known.
    struct KnownFile {
        std::optional<QByteArray> content;
        QList<AppGroup> groups;
        quint64 version = 0;
    };
    // Whether nothing at all is at `path`, not even a link.
    static bool isAbsent(const QString &path);

    void save(QList<AppGroup> groups);
    // The groups rest on this state of the file from now on. A save still waiting was made on the
    // state before and is dropped: the store saves again on top of what it adopted. When the known
    // state is no longer `expectedVersion` (the writer has written since), nothing is adopted and
    // false comes back.
    bool adopt(std::optional<QByteArray> content, QList<AppGroup> groups, std::optional<quint64> expectedVersion = std::nullopt);
    std::optional<KnownFile> known() const;
    // Returns once every save asked for so far is on disk (or has failed and been logged).
    void waitUntilWritten();
    // Whether the last write that ended failed: the file then holds an older state than the last save.
    bool lastWriteFailed() const;
    // Whether the last write was held back because another program had changed the file.
    bool lastWriteFoundOtherChange() const;

    // How one write ended: on disk, failed (with the reason), or held back because the file was
    // changed by another program since the state the groups rest on.
    struct Outcome {
        std::optional<QString> failure;
        bool changedElsewhere = false;
    };
    // Told, on the writer's thread, after each write. A listener is removed before what it calls
    // goes away; removal waits for a call under way.
    using Listener = std::function<void(const Outcome &outcome)>;
    void addListener(const void *owner, Listener listener);
    void removeListener(const void *owner);

private:
    explicit GroupsFileWriter(const QString &path);
    void run();
    void wakeWriter();
    Outcome write(const QList<AppGroup> &groups, quint64 generation);

    const QString m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<QList<AppGroup>> m_pending;
    // Which adopted state each save rests on: one made before the last `adopt` is not written.
    quint64 m_generation = 0;
    quint64 m_pendingGeneration = 0;
    std::optional<KnownFile> m_known;
    quint64 m_knownVersion = 0;
    bool m_writing = false;
    bool m_lastWriteFailed = false;
    bool m_lastWriteFoundOtherChange = false;
    std::mutex m_listenersMutex;
    std::map<const void *, Listener> m_listeners;
    bool m_stopping = false;
    bool m_wakePosted = false;
    std::thread m_thread;
};
