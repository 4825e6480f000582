#pragma once

#include <QString>

#include <chrono>
#include <functional>

// The lock that every writer of one stored file (this program on another display sharing the home
// folder among them) holds from its look at the file until the new file is in place, so that no
// change is written over by an older copy. It is an open-file-description lock on a file beside the
// stored one, opened for writing: such locks reach the other machines of a network home (NFS, SMB),
// where a lock on a folder does not, they conflict with the other locks of that kind and with the
// classic ones, also between two opens in one process, and the system drops them with their holder,
// so one that was killed leaves none behind. The stored file itself cannot carry it: it is replaced
// whole, and a lock on the old one would not hold the next writer back.
//
// No writer writes without it. Taking it never blocks: `tryLock` asks once, `lockWithin` asks again
// until a deadline, for the callers that may wait (a writer's own thread, the last save at quit).
class StoredFileLock {
public:
    enum class State {
        Held,        // this holds the lock
        HeldElsewhere, // another writer holds it now; ask again later
        Failed,      // no lock can be had here (the lock file cannot be made or locked)
    };

    StoredFileLock() = default;
    StoredFileLock(StoredFileLock &&other) noexcept;
    StoredFileLock &operator=(StoredFileLock &&other) noexcept;
    StoredFileLock(const StoredFileLock &) = delete;
    StoredFileLock &operator=(const StoredFileLock &) = delete;
    // Releases the lock.
    ~StoredFileLock();

    // The file that carries the lock of `storedFile`: beside it, hidden, made when first needed and
    // never removed (a writer may hold it at any time).
    static QString lockFileFor(const QString &storedFile);

    static StoredFileLock tryLock(const QString &storedFile);
    // Asks until the lock is had, no lock can be had, `giveUp` says so or `patience` has passed;
    // between asks it sleeps briefly, so call it only where waiting is allowed.
    static StoredFileLock lockWithin(const QString &storedFile, std::chrono::milliseconds patience,
                                     const std::function<bool()> &giveUp = {});

    State state() const { return m_state; }
    bool isHeld() const { return m_state == State::Held; }
    // Why no lock was had, for a log line.
    QString failure() const { return m_failure; }

private:
    void release();

    int m_fd = -1;
    State m_state = State::Failed;
    QString m_failure;
};
