#include "Kestrowan/groups/GroupsFileWriter.h"

#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/shell/AfterRepaint.h"
#include "Kestrowan/shell/Log.h"

#include "Platform/BoundedFile.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every writer of the file, in this process or another, holds this lock on its folder from the
// check of what the file holds until it is replaced.
class FolderLock {
public:
    explicit FolderLock(const QString &file)
        : m_fd(::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd < 0)
            return;
        // A writer that stopped while holding it (a process halted in a debugger) is waited for a
        // while only; the write then goes ahead unlocked rather than never.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() > deadline) {
                qCCritical(persistenceLogger, "Writing groups.json without its folder lock: %s", strerror(errno));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_fd;
};

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

bool GroupsFileWriter::adopt(std::optional<QByteArray> content, QList<AppGroup> groups, std::optional<quint64> expectedVersion)
{
    const std::lock_guard lock(m_mutex);
    if (expectedVersion && (!m_known || m_known->version != *expectedVersion))
        return false;
    m_known = KnownFile{std::move(content), std::move(groups), ++m_knownVersion};
    ++m_generation;
    m_pending.reset();
    if (!m_writing)
        m_idle.notify_all();
    return true;
}

std::optional<GroupsFileWriter::KnownFile> GroupsFileWriter::known() const
{
    const std::lock_guard lock(m_mutex);
    return m_known;
}

void GroupsFileWriter::save(QList<AppGroup> groups)
{
    const QCoreApplication *application = QCoreApplication::instance();
    const bool onApplicationThread = application && application->thread() == QThread::currentThread();
    bool postWake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(groups);
        m_pendingGeneration = m_generation;
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
    m_idle.wait(lock, [this] { return !m_pending && !m_writing; });
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
        {
            const std::lock_guard listenersLock(m_listenersMutex);
            for (const auto &[owner, listener] : m_listeners)
                listener(outcome);
        }
        lock.lock();
        m_lastWriteFailed = outcome.failure.has_value();
        m_lastWriteFoundOtherChange = outcome.changedElsewhere;
        m_writing = false;
        if (!m_pending)
            m_idle.notify_all();
    }
}

GroupsFileWriter::Outcome GroupsFileWriter::write(const QList<AppGroup> &groups, quint64 generation)
{
    const QByteArray bytes = GroupsJson::encode(groups);
    const FolderLock folderLock(m_path);
    {
        // Only over the state the groups rest on; without one (a store that never read the file)
        // the file is written as it always was.
        std::optional<KnownFile> known;
        {
            const std::lock_guard lock(m_mutex);
            if (generation != m_generation)
                return {std::nullopt, true};
            known = m_known;
        }
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
            if ((absent ? std::nullopt : current) != known->content) {
                qCInfo(persistenceLogger, "groups.json was changed by another program; taking its change in before saving");
                return {std::nullopt, true};
            }
        }
    }
    const std::optional<QString> failure = SafeWrite::replaceFile(m_path, bytes);
    if (failure) {
        qCCritical(persistenceLogger, "Failed to save groups: %s", qUtf8Printable(*failure));
        return {failure, false};
    }
    const std::lock_guard lock(m_mutex);
    if (generation == m_generation)
        m_known = KnownFile{bytes, groups, ++m_knownVersion};
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
    m_listeners[owner] = std::move(listener);
}

void GroupsFileWriter::removeListener(const void *owner)
{
    const std::lock_guard lock(m_listenersMutex);
    m_listeners.erase(owner);
}
