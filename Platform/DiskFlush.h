#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Brings what was written into a file system to its disk. Files that are rebuilt in bulk are
// written without a sync each; whatever then vouches for them (a Dock item, a record of what was
// synced) is written only after one flush of the whole file system has come back, so a power cut
// can never leave the voucher without what it vouches for.
class DiskFlush {
public:
    // `failure` is why the disk did not take everything (nothing when it did).
    using Completion = std::function<void(std::optional<QString> failure)>;

    virtual ~DiskFlush() = default;

    // The process-wide flush: the system's unless a test installed another.
    static DiskFlush &shared();
    // Replaces the process-wide flush; nullptr goes back to the system's.
    static void install(std::unique_ptr<DiskFlush> flush);

    // Flushes the file system that holds `folder`, off the main thread. Call on the main thread;
    // `completion` runs there from the event loop, never inside this call.
    virtual void flush(const QString &folder, Completion completion) = 0;
};
