#include "Kestrowan/groups/GroupsFileWriter.h"

#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/shell/AfterRepaint.h"
#include "Kestrowan/shell/Log.h"

#include "Platform/safewrite/SafeWrite.h"

#include <QCoreApplication>
#include <QThread>

#include <map>

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

void GroupsFileWriter::save(QList<AppGroup> groups)
{
    const QCoreApplication *application = QCoreApplication::instance();
    const bool onApplicationThread = application && application->thread() == QThread::currentThread();
    bool postWake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_pending = std::move(groups);
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
        m_pending.reset();
        m_writing = true;
        lock.unlock();
        const std::optional<QString> failure = write(groups);
        {
            const std::lock_guard listenersLock(m_listenersMutex);
            for (const auto &[owner, listener] : m_listeners)
                listener(failure);
        }
        lock.lock();
        m_lastWriteFailed = failure.has_value();
        m_writing = false;
        if (!m_pending)
            m_idle.notify_all();
    }
}

std::optional<QString> GroupsFileWriter::write(const QList<AppGroup> &groups) const
{
    const QByteArray bytes = GroupsJson::encode(groups);
    const std::optional<QString> failure = SafeWrite::replaceFile(m_path, bytes);
    if (failure)
        qCCritical(persistenceLogger, "Failed to save groups: %s", qUtf8Printable(*failure));
    return failure;
}

bool GroupsFileWriter::lastWriteFailed() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastWriteFailed;
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
