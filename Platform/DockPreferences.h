#pragma once

#include "Platform/safewrite/StoredFileLock.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

// The Dock's preferences domain "com.apple.dock": the tile lists ("persistent-apps",
// "persistent-others") and the bar's settings ("orientation", "autohide"). Values are property-list
// values as QVariant trees (see PropertyList.h).
//
// The Dock and every program on the home (this one on another display among them) change the
// domain: each holds the lock that `lockForChange` gives from its look at the stored domain until its
// write is in place, so that none writes over another's change with an older copy.
class DockPreferences {
public:
    virtual ~DockPreferences() = default;

    // The process-wide domain: the preferences file unless a test installed another.
    static DockPreferences &shared();
    // Replaces the process-wide domain; nullptr goes back to the preferences file.
    static void install(std::unique_ptr<DockPreferences> preferences);

    // The whole domain. An empty map when nothing is stored yet; nullopt when something is stored
    // but cannot be read as a dictionary (a damaged file), so that callers never take it for empty.
    virtual std::optional<QVariantMap> read() const = 0;

    // Replaces one key and keeps every other key as it is. False when the write was refused: the
    // stored domain cannot be read (it is left untouched rather than replaced by this key alone) or
    // the storage failed, in which case `error` gets the system's error number (ENOSPC for a full disk).
    virtual bool write(const QString &key, const QVariant &value, int *error = nullptr) = 0;

    // Asks once, without waiting, for the lock every writer of the domain holds while it reads,
    // changes and replaces it. A lock held elsewhere is asked for again later, from the event loop.
    virtual StoredFileLock lockForChange() = 0;

    // What tells one stored domain from the next: two looks give the same answer only when nothing
    // was stored in between, by this program or any other writer, even when the contents match.
    // Empty when this domain cannot tell.
    virtual QByteArray storedVersion() { return {}; }

    // One key; invalid when it is absent or the domain cannot be read.
    QVariant value(const QString &key) const;
};
