#include "Platform/safewrite/StoredFileLock.h"

#include "Platform/logging/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

StoredFileLock::StoredFileLock(StoredFileLock &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_state(std::exchange(other.m_state, State::Failed))
    , m_failure(std::move(other.m_failure))
{
}

StoredFileLock &StoredFileLock::operator=(StoredFileLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_state = std::exchange(other.m_state, State::Failed);
        m_failure = std::move(other.m_failure);
    }
    return *this;
}

StoredFileLock::~StoredFileLock()
{
    release();
}

void StoredFileLock::release()
{
    // Closing the only descriptor of the open file description drops its lock.
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QString StoredFileLock::lockFileFor(const QString &storedFile)
{
    const QFileInfo stored(storedFile);
    return stored.absolutePath() + QStringLiteral("/.") + stored.fileName() + QStringLiteral(".lock");
}

StoredFileLock StoredFileLock::tryLock(const QString &storedFile)
{
    StoredFileLock lock;
    const QString path = lockFileFor(storedFile);
    // Not through a link (whatever it names would be made or locked), and without waiting on a fifo
    // someone put in its place.
    lock.m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                       S_IRUSR | S_IWUSR);
    if (lock.m_fd < 0) {
        lock.m_failure = QStringLiteral("the lock file %1 cannot be opened for writing: %2").arg(path, systemErrorText(errno));
        return lock;
    }
    struct stat entry {};
    if (::fstat(lock.m_fd, &entry) != 0 || !S_ISREG(entry.st_mode)) {
        lock.m_failure = QStringLiteral("the lock file %1 is not a regular file").arg(path);
        lock.release();
        return lock;
    }
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    region.l_start = 0;
    region.l_len = 0; // the whole file
    region.l_pid = 0; // required of open-file-description locks
    if (::fcntl(lock.m_fd, F_OFD_SETLK, &region) == 0) {
        lock.m_state = State::Held;
        return lock;
    }
    const int error = errno;
    lock.release();
    if (error == EAGAIN || error == EACCES || error == EINTR) {
        lock.m_state = State::HeldElsewhere;
        lock.m_failure = QStringLiteral("another program holds the lock file %1").arg(path);
    } else {
        lock.m_failure = QStringLiteral("the lock file %1 cannot be locked: %2").arg(path, systemErrorText(error));
    }
    return lock;
}

StoredFileLock StoredFileLock::lockWithin(const QString &storedFile, std::chrono::milliseconds patience,
                                          const std::function<bool()> &giveUp)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        StoredFileLock lock = tryLock(storedFile);
        if (lock.state() != State::HeldElsewhere || std::chrono::steady_clock::now() >= deadline || (giveUp && giveUp()))
            return lock;
        // Another writer holds it only while it writes one small file.
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}
