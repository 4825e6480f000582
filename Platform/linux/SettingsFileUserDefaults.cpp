#include "Platform/linux/SettingsFileUserDefaults.h"

#include "Platform/BoundedFile.h"
#include "Platform/PropertyList.h"
#include "Platform/safewrite/SafeWrite.h"
#include "Platform/safewrite/StoredFileLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(defaultsLog, "com.kestrowan.app.persistence")

namespace {

// Defaults are read before the application object exists (the language override), when no file
// watcher can work and no event loop can write later; such instances start watching as soon as it
// does.
QList<QPointer<SettingsFileUserDefaults>> &waitingForApplication()
{
    static QList<QPointer<SettingsFileUserDefaults>> waiting;
    return waiting;
}

void startWaitingWatchers()
{
    const QList<QPointer<SettingsFileUserDefaults>> waiting = std::exchange(waitingForApplication(), {});
    for (const QPointer<SettingsFileUserDefaults> &defaults : waiting) {
        if (defaults)
            QMetaObject::invokeMethod(defaults, "startWatching", Qt::QueuedConnection);
    }
}

// How long a save waits for another writer where it may wait at all; the other holds the lock only
// while it writes one small file.
constexpr std::chrono::milliseconds boundedLockWait(2000);
// From the event loop a lock held elsewhere is asked for again after these pauses, doubling.
constexpr int firstLockRetryMilliseconds = 5;
constexpr int longestLockRetryMilliseconds = 200;
// A lock held longer than this is no other save under way: the user is told that settings are not
// being written, and the save goes on asking.
constexpr qint64 lockHeldTooLongMilliseconds = 5000;

bool sameValue(const QVariant &a, const QVariant &b)
{
    return a.isValid() == b.isValid() && a.typeId() == b.typeId() && a == b;
}

} // namespace

SettingsFileUserDefaults::SettingsFileUserDefaults(const QString &suiteName, QObject *parent)
    : UserDefaults(parent)
    , m_file(fileForSuite(suiteName))
{
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    // A fifo there would hang the start and a link to a device would be read (and copied) without
    // end; such an entry is moved aside and the domain starts empty. A link whose file is not there
    // (yet) is kept, as every stored file's link is: the domain starts empty and its file is written
    // where the link points.
    const QFileInfo info(m_file);
    if (info.isSymLink() && !info.exists()) {
        qCCritical(defaultsLog, "Preferences file %s is a link to %s, which is not there; settings start empty and are saved there",
                   qUtf8Printable(m_file), qUtf8Printable(info.symLinkTarget()));
    } else if (info.exists() && !info.isFile()) {
        const QString aside = m_file + QStringLiteral(".unreadable");
        QFile::remove(aside);
        QFile::rename(m_file, aside);
        qCCritical(defaultsLog, "Preferences file %s is not a regular file; moved it to %s", qUtf8Printable(m_file),
                   qUtf8Printable(aside));
    }
    // A file that does not parse leaves the domain empty for this run; the next change would write
    // over it, so a copy of it is kept first.
    if (const std::optional<QVariantMap> stored = readFile()) {
        m_values = *stored;
    } else {
        m_storedFileUnreadable = true;
        m_unreadableNotKept = !keepUnreadableFile();
    }
    startWatching();
}

SettingsFileUserDefaults::~SettingsFileUserDefaults()
{
    // The last chance for changes not written yet, a failed write's among them. A domain that goes
    // with the process, after the application object, has had its last try at quit: what it would
    // log through is gone by then.
    if (QCoreApplication::instance())
        save(LockWait::Bounded, false);
}

QString SettingsFileUserDefaults::fileForSuite(const QString &suiteName)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString name = suiteName.isEmpty() ? QStringLiteral("Kestrowan") : suiteName;
    return base + QStringLiteral("/Kestrowan/") + name + QStringLiteral(".plist");
}

std::optional<QVariantMap> SettingsFileUserDefaults::readFile(QByteArray *stored) const
{
    // Nothing there, or a link to nothing: no settings stored yet.
    if (!QFileInfo::exists(m_file))
        return QVariantMap();
    QString failure;
    const std::optional<QByteArray> bytes = PropertyList::readStoredFile(m_file, &failure);
    if (!bytes) {
        qCCritical(defaultsLog, "Preferences file %s cannot be read: %s", qUtf8Printable(m_file), qUtf8Printable(failure));
        return std::nullopt;
    }
    std::optional<QVariantMap> values = PropertyList::storedDictionary(*bytes);
    if (values && stored)
        *stored = *bytes;
    return values;
}

bool SettingsFileUserDefaults::keepUnreadableFile()
{
    const QString copy = m_file + QStringLiteral(".unreadable");
    if (QFileInfo(copy).isFile() && !QFileInfo(copy).isSymLink() && SafeWrite::sameContents(m_file, copy)) {
        qCCritical(defaultsLog, "Preferences file %s is unreadable; a copy was kept before at %s", qUtf8Printable(m_file),
                   qUtf8Printable(copy));
        return true;
    }
    const qint64 size = QFileInfo(m_file).size();
    const qint64 room = SafeWrite::spareBytes(QFileInfo(m_file).absolutePath());
    const std::optional<QString> failure = size > room
        ? std::optional(QStringLiteral("it holds %1 bytes and the disk can spare %2").arg(size).arg(room))
        : SafeWrite::copyFile(m_file, copy, SafeWrite::Existing::Replace);
    if (failure) {
        qCCritical(defaultsLog, "Preferences file %s is unreadable and no copy of it could be kept at %s (%s); it will not be "
                                "overwritten",
                   qUtf8Printable(m_file), qUtf8Printable(copy), qUtf8Printable(*failure));
        return false;
    }
    qCCritical(defaultsLog, "Preferences file %s is unreadable; kept a copy at %s", qUtf8Printable(m_file), qUtf8Printable(copy));
    return true;
}

void SettingsFileUserDefaults::startWatching()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_reported = m_values;
    }
    watch();
}

void SettingsFileUserDefaults::watch()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        if (waitingForApplication().isEmpty())
            qAddPreRoutine(startWaitingWatchers);
        waitingForApplication().append(this);
        return;
    }
    if (!m_watcher) {
        m_watcher = std::make_unique<QFileSystemWatcher>();
        connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, &SettingsFileUserDefaults::fileChanged);
        connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, &SettingsFileUserDefaults::fileChanged);
        // Changes still unwritten (a full disk) get their last try as the program ends.
        connect(application, &QCoreApplication::aboutToQuit, this, [this] { save(LockWait::Bounded); });
    }
    // Files are replaced whole, so the folder is watched too: a new file has a new identity.
    if (!m_watcher->directories().contains(QFileInfo(m_file).absolutePath()))
        m_watcher->addPath(QFileInfo(m_file).absolutePath());
    if (QFileInfo::exists(m_file) && !m_watcher->files().contains(m_file))
        m_watcher->addPath(m_file);
}

void SettingsFileUserDefaults::fileChanged()
{
    watch();
    reload();
}

void SettingsFileUserDefaults::reload()
{
    const std::optional<QVariantMap> stored = readFile();
    // A file another program left unreadable is not taken for an empty domain; the next write keeps a
    // copy of it first.
    if (!stored) {
        if (!m_unreadableNotKept && !keepUnreadableFile())
            m_unreadableNotKept = true;
        setStoredFileUnreadable(true);
        return;
    }
    setStoredFileUnreadable(false);
    takeIn(*stored);
}

void SettingsFileUserDefaults::takeIn(const QVariantMap &stored)
{
    QStringList changedKeys;
    {
        const QMutexLocker lock(&m_mutex);
        QVariantMap now = stored;
        for (const QString &key : std::as_const(m_unwritten)) {
            if (m_values.contains(key))
                now.insert(key, m_values.value(key));
            else
                now.remove(key);
        }
        m_values = now;
        // The comparison is with what was last reported, so that a change is told once.
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            if (!sameValue(m_reported.value(it.key()), it.value()))
                changedKeys.append(it.key());
        }
        for (auto it = m_reported.cbegin(); it != m_reported.cend(); ++it) {
            if (!now.contains(it.key()))
                changedKeys.append(it.key());
        }
        m_reported = now;
    }
    for (const QString &key : std::as_const(changedKeys))
        emit valueChanged(key);
}

QVariant SettingsFileUserDefaults::value(const QString &key) const
{
    const QMutexLocker lock(&m_mutex);
    return m_values.value(key);
}

QStringList SettingsFileUserDefaults::keys() const
{
    const QMutexLocker lock(&m_mutex);
    return m_values.keys();
}

void SettingsFileUserDefaults::setValue(const QString &key, const QVariant &value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    {
        const QMutexLocker lock(&m_mutex);
        if (sameValue(m_values.value(key), value))
            return;
        m_values.insert(key, value);
        m_unwritten.insert(key);
    }
    changed(key);
}

void SettingsFileUserDefaults::remove(const QString &key)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_values.contains(key))
            return;
        m_values.remove(key);
        m_unwritten.insert(key);
    }
    changed(key);
}

void SettingsFileUserDefaults::changed(const QString &key)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_values.contains(key))
            m_reported.insert(key, m_values.value(key));
        else
            m_reported.remove(key);
    }
    emit valueChanged(key);
    scheduleSave();
}

void SettingsFileUserDefaults::scheduleSave()
{
    // A burst of changes costs one write; without an event loop yet, the write cannot wait.
    if (!QCoreApplication::instance()) {
        save(LockWait::Bounded);
        return;
    }
    {
        const QMutexLocker lock(&m_mutex);
        if (m_saveScheduled)
            return;
        m_saveScheduled = true;
    }
    QMetaObject::invokeMethod(this, "saveScheduled", Qt::QueuedConnection);
}

void SettingsFileUserDefaults::saveScheduled()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_saveScheduled = false;
    }
    save();
}

bool SettingsFileUserDefaults::save(LockWait wait, bool takeInAfter)
{
    bool nothingToWrite = false;
    {
        const QMutexLocker lock(&m_mutex);
        nothingToWrite = m_unwritten.isEmpty();
    }
    if (nothingToWrite) {
        tellStoreWaiters(true);
        return true;
    }
    // Held from the look at the file until the new one is in place: a write of another program in
    // between would be lost, or would make this one's lost. No write goes ahead without it.
    StoredFileLock fileLock = wait == LockWait::Bounded ? StoredFileLock::lockWithin(m_file, boundedLockWait)
                                                       : StoredFileLock::tryLock(m_file);
    // Let go before anyone hears how the save went: a listener that writes again at once must find
    // the file free, not held by a write that is over.
    const auto fail = [this, &fileLock](const QString &reason) {
        fileLock = StoredFileLock();
        qCCritical(defaultsLog, "Could not save preferences: %s", qUtf8Printable(reason));
        setSaveFailing(true);
        tellStoreWaiters(false);
        return false;
    };
    if (fileLock.state() == StoredFileLock::State::HeldElsewhere && wait == LockWait::None)
        return saveLater(fileLock.failure());
    if (!fileLock.isHeld())
        return fail(fileLock.failure());
    m_lockBusySince.reset();
    m_lockRetryPause = 0;
    // What the file holds now, with what others wrote since it was read; the changes made here go on top.
    QByteArray storedBytes;
    const std::optional<QVariantMap> stored = readFile(&storedBytes);
    // An unreadable file is written over only once a copy of it is kept; one that others have
    // replaced or removed meanwhile needs none.
    if (!stored && !keepUnreadableFile()) {
        m_unreadableNotKept = true;
        return fail(QStringLiteral("the unreadable file could not be copied aside, so it was kept"));
    }
    m_unreadableNotKept = false;
    QVariantMap changes;
    {
        const QMutexLocker lock(&m_mutex);
        for (const QString &key : std::as_const(m_unwritten))
            changes.insert(key, m_values.value(key));
        // A file left unreadable by another program holds nothing to keep: the settings in effect
        // here are written whole, not only the ones changed since, or the rest would be gone.
        if (!stored) {
            for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
                changes.insert(it.key(), it.value());
        }
    }
    // Only the keys changed here are written anew; every other entry goes back as it stands in the
    // file, in the form the file has, so values of other programs keep what this one cannot hold.
    // A file the reader would refuse is not written at all.
    QString failure;
    const std::optional<QByteArray> bytes = PropertyList::withTopLevelChanges(storedBytes, changes, &failure);
    if (!bytes)
        return fail(failure);
    if (const std::optional<QString> writeFailure = SafeWrite::replaceFile(m_file, *bytes, SafeWrite::Folder::Make))
        return fail(*writeFailure);
    {
        const QMutexLocker lock(&m_mutex);
        // A key changed again while the file was written stays to be written.
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            const QString &key = it.key();
            const bool same = m_values.contains(key) ? sameValue(it.value(), m_values.value(key)) : !it.value().isValid();
            if (same)
                m_unwritten.remove(key);
        }
    }
    fileLock = StoredFileLock();
    // What the other programs wrote before this write is in effect here at once, as the file now
    // holds it.
    if (takeInAfter) {
        if (const std::optional<QVariantMap> written = PropertyList::storedDictionary(*bytes))
            takeIn(*written);
    }
    setStoredFileUnreadable(false);
    setSaveFailing(false);
    tellStoreWaiters(true);
    if (QCoreApplication::instance())
        watch();
    return true;
}

bool SettingsFileUserDefaults::saveLater(const QString &reason)
{
    if (!m_lockBusySince) {
        m_lockBusySince.emplace();
        m_lockBusySince->start();
    } else if (m_lockBusySince->elapsed() > lockHeldTooLongMilliseconds && !saveFailing()) {
        qCCritical(defaultsLog, "Could not save preferences: %s", qUtf8Printable(reason));
        setSaveFailing(true);
        tellStoreWaiters(false);
    }
    // The other writer's change is in effect here meanwhile; the next try writes on top of it.
    reload();
    if (!m_lockRetry) {
        m_lockRetry = std::make_unique<QTimer>();
        m_lockRetry->setSingleShot(true);
        connect(m_lockRetry.get(), &QTimer::timeout, this, [this] { save(); });
    }
    m_lockRetryPause = m_lockRetryPause == 0 ? firstLockRetryMilliseconds : qMin(m_lockRetryPause * 2, longestLockRetryMilliseconds);
    m_lockRetry->start(m_lockRetryPause);
    return false;
}

void SettingsFileUserDefaults::synchronize()
{
    // Writes what this process changed and reads what others wrote.
    save(LockWait::Bounded);
    reload();
}

void SettingsFileUserDefaults::storeNow(QObject *context, std::function<void(bool stored)> done)
{
    m_storeWaiters.append({context, std::move(done)});
    if (!QCoreApplication::instance()) {
        save(LockWait::Bounded);
        return;
    }
    save();
}

void SettingsFileUserDefaults::tellStoreWaiters(bool stored)
{
    const QList<StoreWaiter> waiters = std::exchange(m_storeWaiters, {});
    for (const StoreWaiter &waiter : waiters) {
        if (!waiter.context || !waiter.done)
            continue;
        QMetaObject::invokeMethod(waiter.context, [done = waiter.done, stored] { done(stored); }, Qt::QueuedConnection);
    }
}

bool SettingsFileUserDefaults::saveFailing() const
{
    const QMutexLocker lock(&m_mutex);
    return m_saveFailing;
}

bool SettingsFileUserDefaults::storedFileUnreadable() const
{
    const QMutexLocker lock(&m_mutex);
    return m_storedFileUnreadable;
}

void SettingsFileUserDefaults::setStoredFileUnreadable(bool unreadable)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_storedFileUnreadable == unreadable)
            return;
        m_storedFileUnreadable = unreadable;
    }
    emit storedFileUnreadableChanged();
}

void SettingsFileUserDefaults::setSaveFailing(bool failing)
{
    {
        const QMutexLocker lock(&m_mutex);
        if (m_saveFailing == failing)
            return;
        m_saveFailing = failing;
    }
    if (failing)
        qCInfo(defaultsLog, "Preferences are kept in memory until they can be written");
    emit saveFailingChanged();
}
