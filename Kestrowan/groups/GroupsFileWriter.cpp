#include "Kestrowan/groups/GroupsFileWriter.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/groups/GroupsMerge.h"
#include "Kestrowan/shell/AfterRepaint.h"
#include "Kestrowan/shell/Log.h"

#include "Platform/BoundedFile.h"
#include "Platform/safewrite/SafeWrite.h"
#include "Platform/safewrite/StoredFileLock.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A write waits this long for another program's write to end; then it fails, is told, and the store
// takes in what the other wrote and saves again.
constexpr std::chrono::milliseconds lockPatience(5000);

// The bound of the groups file's reader, so that the check reads what the store would.
constexpr qint64 groupsFileSizeLimit = 256 * 1024 * 1024;

} // namespace

std::shared_ptr<GroupsFileWriter> GroupsFileWriter::forFile(const QString &path)
{
    static std::mutex registryMutex;
    static std::map<QString, std::weak_ptr<GroupsFileWriter>> registry;
    const std::lock_guard lock(registryMutex);
    std::weak_ptr<GroupsFileWriter> &entry = registry[path];
    std::shared_ptr<GroupsFileWriter> writer = entry.lock();
    if (!writer) {
        writer.reset(new GroupsFileWriter(path));
        entry = writer;
    }
    return writer;
}

GroupsFileWriter::GroupsFileWriter(const QString &path)
    : m_path(path)
    , m_thread([this] { run(); })
{
}

GroupsFileWriter::~GroupsFileWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    // The thread writes what is still waiting before it ends.
    m_thread.join();
}

bool GroupsFileWriter::isAbsent(const QString &path)
{
    struct stat entry {};
    return ::lstat(QFile::encodeName(path).constData(), &entry) != 0 && errno == ENOENT;
}

std::optional<quint64> GroupsFileWriter::adopt(std::optional<QByteArray> content, QList<AppGroup> groups, FileStamp stamp,
                                               std::optional<quint64> expectedVersion)
{
    const std::lock_guard lock(m_mutex);
    if (expectedVersion && (m_writing || !m_known || m_known->version != *expectedVersion))
        return std::nullopt;
    // A write under way stays known as such: its bytes may be in the file before it ends.
    std::optional<QByteArray> beingWritten = m_known ? m_known->beingWritten : std::nullopt;
    m_known = KnownFile{std::move(content), std::move(groups), ++m_knownVersion, std::move(beingWritten), stamp};
    ++m_generation;
    m_pending.reset();
    if (!m_writing)
        m_idle.notify_all();
    return m_generation;
}

GroupsFileWriter::MergedWrites GroupsFileWriter::takeMergedWrites()
{
    const std::lock_guard lock(m_mutex);
    return {m_known, std::exchange(m_mergedWrites, {}), m_generation};
}

std::optional<GroupsFileWriter::KnownFile> GroupsFileWriter::known() const
{
    const std::lock_guard lock(m_mutex);
    return m_known;
}

bool GroupsFileWriter::isWriting() const
{
    const std::lock_guard lock(m_mutex);
    return m_writing;
}

void GroupsFileWriter::save(QList<AppGroup> groups, std::optional<quint64> baseGeneration)
{
    const QCoreApplication *application = QCoreApplication::instance();
    const bool onApplicationThread = application && application->thread() == QThread::currentThread();
    bool postWake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(groups);
        m_pendingGeneration = baseGeneration.value_or(m_generation);
        // A second save before the loop came round (a loop of saves that never returns to it) wakes
        // the writer at once: the file is never held back for longer than one save.
        postWake = onApplicationThread && !m_wakePosted;
        m_wakePosted = m_wakePosted || postWake;
    }
    if (!postWake) {
        m_wake.notify_one();
        return;
    }
    AfterRepaint::post(QCoreApplication::instance(), [writer = weak_from_this()] {
        if (const std::shared_ptr<GroupsFileWriter> alive = writer.lock())
            alive->wakeWriter();
    });
}

void GroupsFileWriter::wakeWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_wakePosted = false;
    }
    m_wake.notify_one();
}

void GroupsFileWriter::waitUntilWritten()
{
    // A save whose wake is still posted is written now.
    m_wake.notify_one();
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_writing && !m_telling; });
}

void GroupsFileWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        if (!m_pending)
            return;
        const QList<AppGroup> groups = std::move(*m_pending);
        const quint64 generation = m_pendingGeneration;
        m_pending.reset();
        m_writing = true;
        lock.unlock();
        const Outcome outcome = write(groups, generation);
        // Done before anyone is told: a look at the file that a listener's news brings on (or that
        // comes meanwhile) must find the write over, or it is held back with nothing left to wake it.
        lock.lock();
        m_lastWriteFailed = outcome.failure.has_value();
        m_lastWriteFoundOtherChange = outcome.changedElsewhere;
        m_writing = false;
        m_telling = true;
        lock.unlock();
        {
            const std::lock_guard listenersLock(m_listenersMutex);
            for (const auto &[owner, listener] : m_listeners)
                listener(outcome);
        }
        lock.lock();
        m_telling = false;
        if (!m_pending)
            m_idle.notify_all();
    }
}

GroupsFileWriter::Outcome GroupsFileWriter::write(const QList<AppGroup> &groups, quint64 generation)
{
    // Every writer of the file, in this process or another, holds its lock from the check of what
    // the file holds until it is replaced; none writes without it.
    const auto waitStarted = std::chrono::steady_clock::now();
    StoredFileLock fileLock;
    for (;;) {
        fileLock = StoredFileLock::lockWithin(m_path, std::chrono::milliseconds(50));
        if (fileLock.state() != StoredFileLock::State::HeldElsewhere)
            break;
        const std::lock_guard lock(m_mutex);
        // The store read the file afresh meanwhile (a look at the file while a write is under way
        // waits for the write): it saves again on top of what it read.
        if (generation != m_generation)
            return {std::nullopt, true};
        if (std::chrono::steady_clock::now() - waitStarted > lockPatience) {
            qCCritical(persistenceLogger, "Failed to save groups: %s", qUtf8Printable(fileLock.failure()));
            return {fileLock.failure(), false, true};
        }
    }
    if (!fileLock.isHeld()) {
        qCCritical(persistenceLogger, "Failed to save groups: %s", qUtf8Printable(fileLock.failure()));
        return {fileLock.failure(), false};
    }
    std::optional<KnownFile> known;
    {
        const std::lock_guard lock(m_mutex);
        // Made before the store took in a newer state of the file: the store saves again on top.
        if (generation != m_generation)
            return {std::nullopt, true};
        known = m_known;
    }
    {
        std::function<void()> hook;
        {
            const std::lock_guard lock(m_beforeLookHookMutex);
            hook = m_beforeLookHook;
        }
        if (hook)
            hook();
    }
    QList<AppGroup> written = groups;
    std::optional<MergedWrite> merged;
    // Without a known state (a store that never read the file) the file is written as it always was.
    if (known) {
        const bool absent = isAbsent(m_path);
        QString unreadable;
        const std::optional<QByteArray> current = absent ? QByteArray() : readSmallFile(m_path, groupsFileSizeLimit, &unreadable);
        // A file that cannot be read now (a link to a volume gone) is not written over: what it
        // holds is not known.
        if (!current) {
            const QString failure = QStringLiteral("groups.json cannot be read to check it first (%1)").arg(unreadable);
            qCCritical(persistenceLogger, "Failed to save groups: %s", qUtf8Printable(failure));
            return {failure, false};
        }
        // A file removed meanwhile gets the groups as they are here.
        if (!absent && *current != known->content) {
            QString failure;
            std::optional<QList<AppGroup>> theirs = GroupsJson::decode(*current, &failure);
            // Left unreadable by the other program: the store keeps a copy of it first.
            if (!theirs)
                return {std::nullopt, true};
            for (AppGroup &group : *theirs)
                group = GroupManager::resettingRetiredIconStyle(std::move(group));
            const GroupsMerge merge = GroupsMerge::merge(known->groups, groups, *theirs);
            qCInfo(persistenceLogger, "groups.json was changed by another program; its change is saved with this one");
            written = merge.groups;
            merged = MergedWrite{groups, merge.groups, merge.conflicts};
        }
    }
    const QByteArray bytes = GroupsJson::encode(written);
    {
        const std::lock_guard lock(m_mutex);
        if (m_known)
            m_known->beingWritten = bytes;
    }
    const std::optional<QString> failure = SafeWrite::replaceFile(m_path, bytes);
    // Taken while the lock still keeps every other writer out.
    const FileStamp stamp = failure ? FileStamp() : FileStamp::of(m_path);
    const std::lock_guard lock(m_mutex);
    if (m_known)
        m_known->beingWritten.reset();
    if (failure) {
        qCCritical(persistenceLogger, "Failed to save groups: %s", qUtf8Printable(*failure));
        return {failure, false};
    }
    // The file now holds what was written here. The store adopted nothing it looked at during the
    // write (such an adoption is refused), so the groups saved are still what its groups rest on.
    if (m_known)
        m_known = KnownFile{bytes, written, ++m_knownVersion, std::nullopt, stamp};
    if (merged) {
        m_mergedWrites.append(*merged);
        ++m_generation;
    }
    return {};
}

bool GroupsFileWriter::lastWriteFailed() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastWriteFailed;
}

bool GroupsFileWriter::lastWriteFoundOtherChange() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastWriteFoundOtherChange;
}

void GroupsFileWriter::addListener(const void *owner, Listener listener)
{
    const std::lock_guard lock(m_listenersMutex);
    const auto found = std::find_if(m_listeners.begin(), m_listeners.end(), [owner](const auto &entry) { return entry.first == owner; });
    if (found != m_listeners.end())
        found->second = std::move(listener);
    else
        m_listeners.emplace_back(owner, std::move(listener));
}

void GroupsFileWriter::removeListener(const void *owner)
{
    const std::lock_guard lock(m_listenersMutex);
    std::erase_if(m_listeners, [owner](const auto &entry) { return entry.first == owner; });
}

void GroupsFileWriter::setBeforeLookHook(std::function<void()> hook)
{
    const std::lock_guard lock(m_beforeLookHookMutex);
    m_beforeLookHook = std::move(hook);
}
