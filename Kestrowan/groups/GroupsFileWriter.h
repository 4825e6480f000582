#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Platform/FileStamp.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <thread>
#include <vector>

// Writes "groups.json" on a thread of its own, so that a save costs its caller only the copy of a
// list (which shares its data). Saves are written in the order they were asked for; one asked for
// while another is being written replaces any that is still waiting, so the last state always
// reaches the disk and a burst of changes costs one or two writes. Every store of one file shares
// one writer, so that a store made later never reads the file before an earlier one's last save.
//
// Another program (the same program on another display, with the same home folder) may write the
// file too. Once the store tells the writer which state of the file its groups rest on (`adopt`),
// every write looks at the file first, under the file's StoredFileLock, which every writer of the
// file takes until its file is in place: when the other program changed it since, its change is
// merged in (GroupsMerge, against the state the groups rest on) and the merged groups are written,
// and the store takes the other change in from there (`takeMergedWrites`). A write waits for the
// other program only while that one replaces the file, and a few seconds at the most: then it is
// not written (never without the lock) and the store takes in what the other wrote and saves again.
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
        // The bytes being moved over the file now: a look at the file may find them there before
        // they are known.
        std::optional<QByteArray> beingWritten;
        // The file's stamp when it held `content`, where one was taken: a file with the same stamp
        // (the same inode, size and change time to the nanosecond) need not be read to be known.
        FileStamp stamp;
    };
    // Whether nothing at all is at `path`, not even a link.
    static bool isAbsent(const QString &path);

    // `baseGeneration`: the generation (below) the groups were changed on, as the store last saw
    // it; a save made on an older one is not written. Without it, the current one.
    void save(QList<AppGroup> groups, std::optional<quint64> baseGeneration = std::nullopt);
    // The groups rest on this state of the file from now on: a new generation begins, and saves
    // made on an older one are dropped (the store saves again on top of what it adopted). When the
    // known state is no longer `expectedVersion` (the writer has written since), or a write is under
    // way, nothing is adopted and nullopt comes back; else the new generation. A write under way may
    // have looked at a newer state of the file than the one offered, and it brings what it found
    // onto the groups it saved: groups moved meanwhile onto the older state would take that state's
    // values for changes of their own and write them over the newer ones. Once the write is told,
    // the file is looked at again (`isWriting` says which refusal it was).
    // `stamp`: the file's, taken before `content` was read.
    std::optional<quint64> adopt(std::optional<QByteArray> content, QList<AppGroup> groups, FileStamp stamp,
                                 std::optional<quint64> expectedVersion = std::nullopt);
    std::optional<KnownFile> known() const;
    bool isWriting() const;
    // Returns once every save asked for so far is on disk (or has failed and been logged, or was
    // dropped for resting on an older state), and the listeners have been told.
    void waitUntilWritten();
    // Whether the last write that ended failed: the file then holds an older state than the last save.
    bool lastWriteFailed() const;
    // Whether the last save was not written because of another program's change: one made before
    // the store adopted a newer state, or one over a file the other left unreadable.
    bool lastWriteFoundOtherChange() const;

    // A write that took another program's change in: the groups saved, the groups written and the
    // groups both changed (as saved; the saved version was written).
    struct MergedWrite {
        QList<AppGroup> saved;
        QList<AppGroup> written;
        QList<AppGroup> conflicts;
    };
    // How one write ended: on disk (with another program's change merged in, or not), failed (with
    // the reason), or not written because of the other program's change.
    struct Outcome {
        std::optional<QString> failure;
        bool changedElsewhere = false;
        // The failure: another program held the file's lock all the while.
        bool lockHeldElsewhere = false;
    };
    // The writes that merged another program's change in since the last call, oldest first, with the
    // state they left and the generation now: the store brings them onto its groups before it merges
    // anything else. Each such write begins a generation, as an adoption does: saves made before the
    // store took it in are dropped.
    struct MergedWrites {
        std::optional<KnownFile> known;
        QList<MergedWrite> writes;
        quint64 generation = 0;
    };
    MergedWrites takeMergedWrites();

    // Told, on the writer's thread, after each write, in the order they were added; the write is
    // over by then (`isWriting` is false). A listener is removed before what it calls goes away;
    // removal waits for a call under way.
    using Listener = std::function<void(const Outcome &outcome)>;
    void addListener(const void *owner, Listener listener);
    void removeListener(const void *owner);

    // Told on the writer's thread as a write is about to look at the file: it holds the file's
    // lock and knows which state the groups it saves rest on. The hook may hold the write back
    // there; tests do, to land another program's save at that moment.
    void setBeforeLookHook(std::function<void()> hook);

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
    // Which state each save rests on: one made before the last adoption or merged write is not written.
    quint64 m_generation = 0;
    quint64 m_pendingGeneration = 0;
    std::optional<KnownFile> m_known;
    quint64 m_knownVersion = 0;
    QList<MergedWrite> m_mergedWrites;
    bool m_writing = false;
    // The listeners are being told of a write that is over.
    bool m_telling = false;
    bool m_lastWriteFailed = false;
    bool m_lastWriteFoundOtherChange = false;
    std::mutex m_listenersMutex;
    std::vector<std::pair<const void *, Listener>> m_listeners;
    std::mutex m_beforeLookHookMutex;
    std::function<void()> m_beforeLookHook;
    bool m_stopping = false;
    bool m_wakePosted = false;
    std::thread m_thread;
};
