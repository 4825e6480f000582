#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QVariantList>

#include <functional>
#include <optional>

// The changes this program makes to the Dock's folder tiles ("persistent-others"), made one at a
// time and in the order asked. The Dock and the program on another display sharing the home write
// the same file: each change holds the file's lock from its look at the stored list until its write
// is confirmed, and works on the list as stored then, so that only this program's own change is
// applied and what the others wrote stays. The main thread never waits for that lock: while another
// writer holds it, the change is asked for again from the event loop.
//
// A write is confirmed by reading the list back. One that reads back as the list before, with nothing
// stored since, was refused by the system (the sync-blocked state); anything else was stored by a
// writer that took no lock (the list before among it), and the change is made again on that.
class DockListChanges final : public QObject {
    Q_OBJECT
public:
    // A change worked out on the stored list: what to store (nullopt: nothing to write) and whether
    // what the Dock shows changed so that it must restart.
    struct Edit {
        std::optional<QVariantList> list;
        bool restart = false;
    };
    enum class Outcome {
        Written,   // stored and confirmed
        Unchanged, // the edit left nothing to write
        Failed,    // unreadable list, refused or failed write, or no lock to be had
    };
    // Called with the list as stored now; may be called again with a fresher one, so it works out
    // the whole change each time from what it is given.
    using Editor = std::function<Edit(const QVariantList &stored)>;
    // Told the outcome and the edit that was stored (or the last one worked out), on the main thread.
    using Finish = std::function<void(Outcome, const Edit &)>;

    static DockListChanges &instance();

    // Made at once when nothing waits before it and the lock is free; queued otherwise.
    void change(Editor edit, Finish finish);
    // Made now or not at all, for a caller that cannot wait: Failed, logged, while another writer
    // holds the lock.
    static Outcome changeNow(const Editor &edit);

private:
    using QObject::QObject;
    struct Pending {
        Editor edit;
        Finish finish;
    };
    struct Result {
        Outcome outcome = Outcome::Failed;
        Edit edit;
    };
    // nullopt while another writer holds the lock.
    static std::optional<Result> attempt(const Editor &edit);
    void run();

    QList<Pending> m_pending;
    bool m_running = false;
    QTimer m_retry;
    // Since the lock was first found taken by another writer; invalid while it is to be had.
    QElapsedTimer m_lockWait;
    int m_retryPause = 0;
};
