#pragma once

#include "Platform/UserDefaults.h"

#include <QFileSystemWatcher>
#include <QMutex>
#include <QPointer>
#include <QElapsedTimer>
#include <QSet>
#include <QTimer>
#include <QVariantMap>

#include <memory>
#include <optional>

// User defaults kept in a property list per domain (XML when new; a file found binary stays binary),
// under the user's config folder:
// ~/.config/Kestrowan/Kestrowan.plist for the standard domain, ~/.config/Kestrowan/<suite>.plist for a
// suite. A property list keeps each value's type, as the platform's defaults do. Changes that another
// process writes into the file are picked up and reported key by key, as the platform's defaults
// report changes made by other programs.
//
// The file is treated as "groups.json" is: a change is written soon after it is made (from the event
// loop, or at once before there is one), replacing the file whole through SafeWrite. The same program
// on another display may share the file: each write holds the file's StoredFileLock from its look at
// the file until the new one is in place, and writes only the keys changed here over what the file
// holds then, so neither side's change is written over. The event loop never waits for the lock:
// while another holds it, this takes in what the other wrote and asks again shortly. A write that fails
// keeps the change in memory, is told through `saveFailing`, and is tried again with the next change,
// at `synchronize`, when the application quits and when the domain goes. A file that cannot be read is
// copied aside before anything is written over it; while no copy can be made, it is not written.
class SettingsFileUserDefaults final : public UserDefaults {
    Q_OBJECT
public:
    explicit SettingsFileUserDefaults(const QString &suiteName, QObject *parent = nullptr);
    ~SettingsFileUserDefaults() override;

    static QString fileForSuite(const QString &suiteName);

    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;
    QStringList keys() const override;
    void synchronize() override;
    void storeNow(QObject *context, std::function<void(bool stored)> done) override;
    bool saveFailing() const override;
    bool storedFileUnreadable() const override;

private:
    enum class LockWait {
        None,    // from the event loop: a lock held elsewhere is asked for again later
        Bounded, // without an event loop, at quit or when asked to write now: a short wait
    };
    Q_INVOKABLE void startWatching();
    Q_INVOKABLE void saveScheduled();
    void fileChanged();
    void watch();
    void changed(const QString &key);
    void scheduleSave();
    // Writes the changes made here over what the file holds now; whether they reached it. With
    // `takeInAfter`, what others wrote there is in effect here from then on (not as the domain goes).
    bool save(LockWait wait = LockWait::None, bool takeInAfter = true);
    // The lock is held by another writer: what it wrote is taken in and the save asked for again.
    bool saveLater(const QString &reason);
    // Takes what others wrote into the file, keeping the changes not yet written, and reports each key
    // that changed.
    void reload();
    void takeIn(const QVariantMap &stored);
    void setStoredFileUnreadable(bool unreadable);
    // The file's contents: an empty domain when there is no file, nullopt when it cannot be read.
    // `stored`, when given, receives the bytes read.
    std::optional<QVariantMap> readFile(QByteArray *stored = nullptr) const;
    // Keeps a copy of the unreadable file beside it; whether the copy is there, whole.
    bool keepUnreadableFile();
    void setSaveFailing(bool failing);
    // Tells those waiting through `storeNow` how the last save ended.
    void tellStoreWaiters(bool stored);

    QString m_file;
    mutable QMutex m_mutex;
    QVariantMap m_values;
    // Keys changed here (set or removed) that the file does not hold yet.
    QSet<QString> m_unwritten;
    // Set while the file could not be read and no copy of it exists: it is not written over.
    bool m_unreadableNotKept = false;
    bool m_saveScheduled = false;
    bool m_saveFailing = false;
    bool m_storedFileUnreadable = false;
    // The next try of a save that found the lock held elsewhere, and since when it is held.
    std::unique_ptr<QTimer> m_lockRetry;
    int m_lockRetryPause = 0;
    std::optional<QElapsedTimer> m_lockBusySince;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    // The values as this object last reported them.
    QVariantMap m_reported;
    struct StoreWaiter {
        QPointer<QObject> context;
        std::function<void(bool stored)> done;
    };
    QList<StoreWaiter> m_storeWaiters;
};
