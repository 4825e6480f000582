#include "Platform/safewrite/OwnRecord.h"

#include "Platform/safewrite/OwnFiles.h"
#include "Platform/safewrite/SafeWrite.h"
#include "Platform/safewrite/StoredFileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QCoreApplication>
#include <QMutex>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(ownRecordLog, "com.kestrowan.app.persistence")

namespace {

constexpr char header[] = "kestrowan-made-entries 1";
// A record larger than this is no record of ours (a million names of a folder).
constexpr qint64 recordLimit = 256LL * 1024 * 1024;

// One program's threads change records one at a time (the icon writers and the main thread share
// a folder's).
QMutex &recordsLock()
{
    static QMutex lock;
    return lock;
}

// How long a change of a record waits for the program on another display to finish its own: the
// main thread only a moment (the change fails and is made again later), other threads longer.
std::chrono::milliseconds lockPatience()
{
    const QCoreApplication *application = QCoreApplication::instance();
    const bool mainThread = application && QThread::currentThread() == application->thread();
    return mainThread ? std::chrono::milliseconds(250) : std::chrono::milliseconds(10000);
}

// Held while a record is read, changed and replaced, by every program sharing the records folder:
// an open-file-description lock on the file StoredFileLock locks for them, kept open by this program
// (the threads take turns under recordsLock()) and locked and let go for each change. Asked for
// again every moment or so, at random, so that two programs changing records one after another
// both get their turn.
class RecordsLock {
public:
    explicit RecordsLock(const QString &recordsFolder)
    {
        const auto deadline = std::chrono::steady_clock::now() + lockPatience();
        for (;;) {
            m_file = lockFile(recordsFolder, &m_failure);
            struct flock region {};
            region.l_type = F_WRLCK;
            region.l_whence = SEEK_SET;
            if (m_file >= 0 && ::fcntl(m_file, F_OFD_SETLK, &region) == 0) {
                // The records folder made anew since the file was opened: its lock is another file.
                if (stillNamed(recordsFolder, m_file)) {
                    m_held = true;
                    return;
                }
                release();
                forget(recordsFolder);
                continue;
            }
            const int error = errno;
            if (m_file < 0 || (error != EAGAIN && error != EACCES && error != EINTR)) {
                if (m_file >= 0)
                    m_failure = QStringLiteral("the lock file cannot be locked: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
                break;
            }
            m_failure = QStringLiteral("another program holds the lock");
            if (std::chrono::steady_clock::now() >= deadline) {
                m_busy = true;
                break;
            }
            QThread::usleep(200 + QRandomGenerator::global()->bounded(1800));
        }
        qCCritical(ownRecordLog, "Cannot change the records of what Kestrowan made in %s: %s", qUtf8Printable(recordsFolder),
                   qUtf8Printable(m_failure));
    }
    ~RecordsLock() { release(); }
    RecordsLock(const RecordsLock &) = delete;
    RecordsLock &operator=(const RecordsLock &) = delete;

    bool isHeld() const { return m_held; }
    // Held by another program past the patience, rather than not to be had at all.
    bool busy() const { return m_busy; }

private:
    static std::map<QString, int> &files()
    {
        static std::map<QString, int> open;
        return open;
    }
    static QByteArray pathOf(const QString &recordsFolder)
    {
        return QFile::encodeName(StoredFileLock::lockFileFor(recordsFolder + QStringLiteral("/records")));
    }
    static int lockFile(const QString &recordsFolder, QString *failure)
    {
        const auto known = files().find(recordsFolder);
        if (known != files().end())
            return known->second;
        const QByteArray path = pathOf(recordsFolder);
        const auto open = [&] {
            return ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, S_IRUSR | S_IWUSR);
        };
        int file = open();
        if (file < 0 && errno == ENOENT && QDir().mkpath(recordsFolder))
            file = open();
        struct stat status {};
        if (file >= 0 && (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(file);
            *failure = QStringLiteral("the lock file is not a regular file");
            return -1;
        }
        if (file < 0) {
            *failure = QStringLiteral("the lock file cannot be opened: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return -1;
        }
        files()[recordsFolder] = file;
        return file;
    }
    static bool stillNamed(const QString &recordsFolder, int file)
    {
        struct stat opened {};
        struct stat named {};
        return ::fstat(file, &opened) == 0 && ::lstat(pathOf(recordsFolder).constData(), &named) == 0 && opened.st_ino == named.st_ino
            && opened.st_dev == named.st_dev;
    }
    static void forget(const QString &recordsFolder)
    {
        const auto known = files().find(recordsFolder);
        if (known != files().end()) {
            ::close(known->second);
            files().erase(known);
        }
    }
    void release()
    {
        if (!m_held)
            return;
        struct flock region {};
        region.l_type = F_UNLCK;
        region.l_whence = SEEK_SET;
        ::fcntl(m_file, F_OFD_SETLK, &region);
        m_held = false;
    }

    int m_file = -1;
    bool m_held = false;
    bool m_busy = false;
    QString m_failure;
};

// A mark this program holds in a records folder for as long as it runs: an open-file-description lock
// on a file named by a token of the run, which entries it announces carry. The system drops the lock
// with the program, killed or not, so another program's start tells a live owner from a dead one.
constexpr char liveMarkPrefix[] = ".running-";

QByteArray runToken()
{
    static const QByteArray token = QByteArray::number(QRandomGenerator::system()->generate64(), 36);
    return token;
}

QByteArray markPath(const QString &recordsFolder, const QByteArray &token)
{
    return QFile::encodeName(recordsFolder) + '/' + liveMarkPrefix + token;
}

// Locks the mark of this run in `recordsFolder` (once); the token, or empty when no mark can be held
// there (then what it announces is taken for a dead program's by the next start, as before marks).
QByteArray holdLiveMark(const QString &recordsFolder)
{
    static QMutex marksLock;
    static std::map<QString, bool> held;
    const QMutexLocker lock(&marksLock);
    const auto known = held.find(recordsFolder);
    if (known != held.end())
        return known->second ? runToken() : QByteArray();
    const QByteArray path = markPath(recordsFolder, runToken());
    bool locked = false;
    // A start sweeping unlocked marks may remove this one between its making and its lock: made again.
    for (int attempt = 0; attempt < 4 && !locked; ++attempt) {
        const int mark = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, S_IRUSR | S_IWUSR);
        if (mark < 0 && errno == ENOENT && QDir().mkpath(recordsFolder))
            continue;
        if (mark < 0)
            break;
        struct flock region {};
        region.l_type = F_WRLCK;
        region.l_whence = SEEK_SET;
        struct stat opened {};
        struct stat named {};
        if (::fstat(mark, &opened) == 0 && S_ISREG(opened.st_mode) && ::fcntl(mark, F_OFD_SETLK, &region) == 0
            && ::lstat(path.constData(), &named) == 0 && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev) {
            locked = true; // kept open, and so locked, until the program ends
        } else {
            ::close(mark);
        }
    }
    held[recordsFolder] = locked;
    return locked ? runToken() : QByteArray();
}

// Whether the program that holds the mark `token` in `recordsFolder` still runs.
bool ownerRuns(const QString &recordsFolder, const QByteArray &token)
{
    if (token.isEmpty())
        return false;
    const int mark = ::open(markPath(recordsFolder, token).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (mark < 0)
        return false;
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    struct stat status {};
    const bool runs = ::fstat(mark, &status) == 0 && S_ISREG(status.st_mode) && ::fcntl(mark, F_OFD_GETLK, &region) == 0
        && region.l_type != F_UNLCK;
    ::close(mark);
    return runs;
}

// Removes the marks of programs that ended.
void removeDeadMarks(const QString &recordsFolder)
{
    const QStringList marks = QDir(recordsFolder).entryList({QString::fromLatin1(liveMarkPrefix) + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &mark : marks) {
        const QByteArray token = QFile::encodeName(mark.mid(int(std::strlen(liveMarkPrefix))));
        if (!token.isEmpty() && token != runToken() && !ownerRuns(recordsFolder, token))
            ::unlink(markPath(recordsFolder, token).constData());
    }
}

// Reads the record at `path` as a record and nothing else: not through a link, not waiting on a fifo
// or a device, no more than `recordLimit` bytes whatever size it claims. Empty when there is no record.
std::optional<QByteArray> readRecordFile(const QString &path)
{
    const int file = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (file < 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            qCCritical(ownRecordLog, "Ignored the record %s: %s", qUtf8Printable(path),
                       errno == ELOOP ? "it is a link, not a record" : std::strerror(errno));
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        qCCritical(ownRecordLog, "Ignored the record %s: it is not a regular file", qUtf8Printable(path));
        ::close(file);
        return std::nullopt;
    }
    QByteArray bytes;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(file, chunk.data(), size_t(chunk.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            qCCritical(ownRecordLog, "Ignored the record %s: %s", qUtf8Printable(path), std::strerror(errno));
            ::close(file);
            return std::nullopt;
        }
        if (got == 0)
            break;
        if (bytes.size() + got > recordLimit) {
            qCCritical(ownRecordLog, "Ignored the record %s: it is too large", qUtf8Printable(path));
            ::close(file);
            return std::nullopt;
        }
        bytes.append(chunk.constData(), got);
    }
    ::close(file);
    return bytes;
}

// The folder's birth time where the file system keeps one (0 elsewhere): an inode used again for
// another folder is told apart by it.
qint64 bornAt(int folder)
{
    struct statx status {};
    if (::statx(folder, "", AT_EMPTY_PATH, STATX_BTIME, &status) != 0 || !(status.stx_mask & STATX_BTIME))
        return 0;
    return qint64(status.stx_btime.tv_sec) * 1000000000LL + status.stx_btime.tv_nsec;
}

// The folder holding `relative` below `folder`, opened without following a link on the way (-1 when
// none is there), and the last part of the name.
int openParent(int folder, const QByteArray &relative, QByteArray *leaf)
{
    const QList<QByteArray> parts = relative.split('/');
    *leaf = parts.last();
    int handle = ::openat(folder, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (qsizetype i = 0; handle >= 0 && i + 1 < parts.size(); ++i) {
        const int next = parts.at(i).isEmpty() || parts.at(i) == ".." || parts.at(i) == "."
            ? -1
            : ::openat(handle, parts.at(i).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(handle);
        handle = next;
    }
    if (leaf->isEmpty() || *leaf == "." || *leaf == "..") {
        if (handle >= 0)
            ::close(handle);
        return -1;
    }
    return handle;
}

// Whether `name` is an entry of the folder itself, looked at through the folder's descriptor alone.
bool isLeaf(const QByteArray &name)
{
    return !name.isEmpty() && !name.contains('/') && name != "." && name != "..";
}

bool statBelow(int folder, const QByteArray &relative, struct stat *status)
{
    if (isLeaf(relative))
        return ::fstatat(folder, relative.constData(), status, AT_SYMLINK_NOFOLLOW) == 0;
    QByteArray leaf;
    const int parent = openParent(folder, relative, &leaf);
    if (parent < 0)
        return false;
    const bool found = ::fstatat(parent, leaf.constData(), status, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(parent);
    return found;
}

// What tells one entry from another that took its name: its inode, its birth time where the file
// system keeps one (an inode freed a moment ago is often the next one given out), and for a file
// its modification time (the user's edit in place makes it theirs).
struct Identity {
    bool found = false;
    bool folder = false;
    quint64 inode = 0;
    qint64 born = 0;
    qint64 modified = 0;
};

Identity identityBelow(int folder, const QByteArray &relative)
{
    Identity identity;
    QByteArray leaf = relative;
    const int parent = isLeaf(relative) ? folder : openParent(folder, relative, &leaf);
    if (parent < 0)
        return identity;
    struct statx status {};
    if (::statx(parent, leaf.constData(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_MTIME | STATX_BTIME, &status) == 0) {
        identity.found = true;
        identity.folder = S_ISDIR(status.stx_mode);
        identity.inode = status.stx_ino;
        identity.born = (status.stx_mask & STATX_BTIME) ? qint64(status.stx_btime.tv_sec) * 1000000000LL + status.stx_btime.tv_nsec : 0;
        identity.modified = S_ISREG(status.stx_mode) ? qint64(status.stx_mtime.tv_sec) * 1000000000LL + status.stx_mtime.tv_nsec : 0;
    }
    if (parent != folder)
        ::close(parent);
    return identity;
}

int depthOf(const QByteArray &name)
{
    return int(name.count('/'));
}

QByteArray asideNameFor(const QByteArray &leaf)
{
    const QByteArray aside = ".removing-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + '-' + leaf;
    return aside.size() <= NAME_MAX ? aside : ".removing-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

QByteArray withParent(const QByteArray &relative, const QByteArray &leaf)
{
    const qsizetype slash = relative.lastIndexOf('/');
    return slash < 0 ? leaf : relative.left(slash + 1) + leaf;
}

} // namespace

OwnRecord::OwnRecord(const QString &recordsFolder, const QString &folder)
    : m_recordsFolder(recordsFolder)
    , m_folderPath(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
{
    bool throughLink = false;
    m_folder = OwnFiles::openFolder(m_folderPath, &throughLink);
    struct stat status {};
    if (m_folder >= 0 && ::fstat(m_folder, &status) != 0) {
        ::close(m_folder);
        m_folder = -1;
    }
    if (m_folder < 0)
        return;
    m_device = quint64(status.st_dev);
    m_inode = quint64(status.st_ino);
    m_born = bornAt(m_folder);
    m_recordPath = recordsFolder + QStringLiteral("/%1-%2").arg(m_device).arg(m_inode);
    // Replaced whole by every writer, the record reads as one of them left it without any lock: the
    // main thread never waits here for a writer that waits for the program on another display.
    m_existed = load();
}

OwnRecord::~OwnRecord()
{
    // Whatever way the work on the folder ended, what it held back is written.
    writeHeld();
    if (m_folder >= 0)
        ::close(m_folder);
}

bool OwnRecord::load()
{
    m_entries.clear();
    const std::optional<QByteArray> bytes = readRecordFile(m_recordPath);
    if (!bytes)
        return false;
    const QList<QByteArray> lines = bytes->split('\n');
    // "<header>", "folder <born> <hex path>", then
    // "<state> <inode> <modified> <born> <hex name> [<hex from, or -> [<owner>]]".
    const QList<QByteArray> folder = lines.size() < 2 ? QList<QByteArray>() : lines.at(1).split(' ');
    if (lines.at(0) != header || folder.size() != 3 || folder.at(0) != "folder") {
        qCCritical(ownRecordLog, "Ignored the record %s: it is not a record of Kestrowan's", qUtf8Printable(m_recordPath));
        return false;
    }
    // The inode is a new folder's: the record is of one that went.
    const qint64 born = folder.at(1).toLongLong();
    if (born != 0 && m_born != 0 && born != m_born)
        return false;
    // Renamed since: the record says so at its next change.
    m_movedSince = QFile::decodeName(QByteArray::fromHex(folder.at(2))) != m_folderPath;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(' ');
        if (fields.size() < 5 || fields.at(0).size() != 1)
            continue;
        Entry entry;
        const char state = fields.at(0).at(0);
        if (state != char(Entry::State::Pending) && state != char(Entry::State::Made) && state != char(Entry::State::Temporary)
            && state != char(Entry::State::Maybe))
            continue;
        entry.state = Entry::State(state);
        entry.inode = fields.at(1).toULongLong();
        entry.modified = fields.at(2).toLongLong();
        entry.born = fields.at(3).toLongLong();
        const QByteArray name = QByteArray::fromHex(fields.at(4));
        if (fields.size() > 5 && fields.at(5) != "-")
            entry.setAsideFrom = QByteArray::fromHex(fields.at(5));
        if (fields.size() > 6)
            entry.owner = fields.at(6);
        if (!name.isEmpty())
            m_entries.insert(name, entry);
    }
    return true;
}

bool OwnRecord::save()
{
    if (m_folder < 0)
        return false;
    QByteArray bytes = QByteArray(header) + '\n' + "folder " + QByteArray::number(m_born) + ' ' + QFile::encodeName(m_folderPath).toHex()
        + '\n';
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        bytes += char(it->state) + QByteArray(" ") + QByteArray::number(it->inode) + ' ' + QByteArray::number(it->modified) + ' '
            + QByteArray::number(it->born) + ' ' + it.key().toHex();
        if (!it->setAsideFrom.isEmpty() || !it->owner.isEmpty())
            bytes += ' ' + (it->setAsideFrom.isEmpty() ? QByteArray("-") : it->setAsideFrom.toHex());
        if (!it->owner.isEmpty())
            bytes += ' ' + it->owner;
        bytes += '\n';
    }
    const auto fail = [this](int error, const char *what) {
        m_lastError = error;
        qCCritical(ownRecordLog, "Failed to write the record of %s: %s: %s", qUtf8Printable(m_folderPath), what, std::strerror(error));
        return false;
    };
    // Written beside under a name only a holder of the records' lock uses, then renamed over the
    // record's own entry: whatever stands there (a link, a fifo) is replaced, never written through.
    // Not forced to the disk: a kill loses nothing written, and a record a power cut loses only
    // makes the program take less for its own (see existed()).
    const QByteArray record = QFile::encodeName(m_recordPath);
    const QByteArray beside = QFile::encodeName(m_recordsFolder) + "/." + QFile::encodeName(QFileInfo(m_recordPath).fileName()) + ".new";
    const auto make = [&] { return ::open(beside.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR); };
    int file = make();
    // Left by a writer that was killed (it held the lock then).
    if (file < 0 && errno == EEXIST && ::unlink(beside.constData()) == 0)
        file = make();
    if (file < 0 && errno == ENOENT && QDir().mkpath(m_recordsFolder))
        file = make();
    if (file < 0)
        return fail(errno, "the new record cannot be made");
    SafeWrite::tellNamedTemporary(QFile::decodeName(beside));
    int error = 0;
    for (qsizetype written = 0; written < bytes.size() && error == 0;) {
        const ssize_t done = ::write(file, bytes.constData() + written, size_t(bytes.size() - written));
        if (done > 0)
            written += done;
        else if (done < 0 && errno != EINTR)
            error = errno;
    }
    if (::close(file) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error == 0 && ::rename(beside.constData(), record.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(beside.constData());
        return fail(error, "the record cannot be replaced");
    }
    m_existed = true;
    m_movedSince = false;
    return true;
}

bool OwnRecord::reloadAndChange(const std::function<void()> &change, bool mustReachDisk)
{
    if (m_folder < 0) {
        m_lastError = EBADF;
        return false;
    }
    if (m_holding && !mustReachDisk) {
        const QHash<QByteArray, Entry> before = m_entries;
        change();
        // Each held name keeps what the record said of it when first held, to tell another
        // writer's change of it meanwhile.
        const auto hold = [&](const QByteArray &name) {
            if (m_heldFrom.contains(name))
                return;
            const auto old = before.constFind(name);
            m_heldFrom.insert(name, old == before.cend() ? std::nullopt : std::optional<Entry>(*old));
        };
        for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
            const auto old = before.constFind(it.key());
            if (old == before.cend() || !sameEntry(*old, *it))
                hold(it.key());
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (!m_entries.contains(it.key()))
                hold(it.key());
        }
        return true;
    }
    QMutex &threads = recordsLock();
    if (!threads.tryLock(int(lockPatience().count()))) {
        m_lastError = EAGAIN;
        qCCritical(ownRecordLog, "Did not change the record of %s: another thread held the records too long", qUtf8Printable(m_folderPath));
        return false;
    }
    const std::unique_lock<QMutex> unlock(threads, std::adopt_lock);
    // The program on another display changes records too: read, changed and replaced under its lock.
    const RecordsLock lock(m_recordsFolder);
    if (!lock.isHeld()) {
        m_lastError = lock.busy() ? EAGAIN : EACCES;
        return false;
    }
    // Another thread or program may have changed it since it was read. What this record held back
    // goes over it, name by name, unless another writer changed that name meanwhile: its change
    // stands, and this one's held change of it (a confirmation, a withdrawal) is given up, which
    // leaves the entry counted as the user's at worst.
    const QHash<QByteArray, Entry> held = m_entries;
    const QHash<QByteArray, Entry> before = (load(), m_entries);
    for (auto heldName = m_heldFrom.cbegin(); heldName != m_heldFrom.cend(); ++heldName) {
        const QByteArray &name = heldName.key();
        const std::optional<Entry> &from = heldName.value();
        const auto now = m_entries.constFind(name);
        const bool untouched = now == m_entries.cend() ? !from : from && sameEntry(*from, *now);
        if (!untouched)
            continue;
        if (const auto entry = held.constFind(name); entry != held.cend())
            m_entries.insert(name, *entry);
        else
            m_entries.remove(name);
    }
    change();
    bool same = m_existed && !m_movedSince && !m_newRecordHeld && m_entries.size() == before.size();
    for (auto it = m_entries.cbegin(); same && it != m_entries.cend(); ++it) {
        const auto old = before.constFind(it.key());
        same = old != before.cend() && sameEntry(*old, *it);
    }
    if (!same && !save())
        return false;
    m_heldFrom.clear();
    m_newRecordHeld = false;
    m_announcementsHeld = false;
    return true;
}

bool OwnRecord::writeAnnounced()
{
    // A folder without a record needs none ahead of its entries (see holdWrites).
    return !m_announcementsHeld || !m_existed || reloadAndChange([] {}, true);
}

bool OwnRecord::writeHeld()
{
    if (m_heldFrom.isEmpty() && !m_newRecordHeld)
        return true;
    return reloadAndChange([] {}, true);
}

bool OwnRecord::sameEntry(const Entry &a, const Entry &b)
{
    return a.state == b.state && a.inode == b.inode && a.modified == b.modified && a.born == b.born && a.setAsideFrom == b.setAsideFrom
        && a.owner == b.owner;
}

bool OwnRecord::matches(const Entry &entry, const QByteArray &name) const
{
    // Announced and never confirmed: whatever stands there may be the user's.
    if (entry.state == Entry::State::Pending || entry.state == Entry::State::Maybe)
        return false;
    const Identity identity = identityBelow(m_folder, name);
    if (!identity.found)
        return false;
    if (entry.state != Entry::State::Made)
        return true;
    // A folder of the program's stays its own whatever the user saves in it; a link cannot be
    // changed in place, only replaced (and the program touches its own link to itself).
    return identity.inode == entry.inode && identity.born == entry.born && identity.modified == entry.modified;
}

QList<QByteArray> OwnRecord::maybeNames() const
{
    QList<QByteArray> maybe;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it->state == Entry::State::Maybe)
            maybe.append(it.key());
    }
    return maybe;
}

bool OwnRecord::madeFolderWithRecord(const QByteArray &name) const
{
    // A folder the program made, once made, gets a record of its own naming it where it stands,
    // which nothing but the program writes; one the user made after a kill has none.
    const Identity identity = identityBelow(m_folder, name);
    struct stat status {};
    if (!identity.folder || !statBelow(m_folder, name, &status))
        return false;
    const std::optional<QByteArray> bytes = readRecordFile(m_recordsFolder + QStringLiteral("/%1-%2").arg(quint64(status.st_dev)).arg(identity.inode));
    if (!bytes)
        return false;
    const QList<QByteArray> lines = bytes->split('\n');
    const QList<QByteArray> folder = lines.size() > 1 ? lines.at(1).split(' ') : QList<QByteArray>();
    return lines.first() == header && folder.size() == 3 && folder.at(0) == "folder" && folder.at(1).toLongLong() == identity.born
        && QFile::decodeName(QByteArray::fromHex(folder.at(2))) == m_folderPath + u'/' + QFile::decodeName(name);
}

bool OwnRecord::isOurs(const QByteArray &name) const
{
    const auto entry = m_entries.constFind(name);
    return entry != m_entries.cend() && m_folder >= 0 && matches(*entry, name);
}

bool OwnRecord::heldByOtherProgram(const QByteArray &name) const
{
    const auto entry = m_entries.constFind(name);
    return entry != m_entries.cend() && entry->owner != runToken() && ownerRuns(m_recordsFolder, entry->owner);
}

bool OwnRecord::announce(const QList<QByteArray> &names)
{
    const QByteArray owner = holdLiveMark(m_recordsFolder);
    // Announced by this program already, or standing as it made them: the record says so as it is.
    const bool recorded = m_existed && std::all_of(names.cbegin(), names.cend(), [&](const QByteArray &name) {
        const auto entry = m_entries.constFind(name);
        return entry != m_entries.cend() && !m_heldFrom.contains(name)
            && ((entry->state == Entry::State::Pending && entry->owner == owner) || (entry->state == Entry::State::Made && matches(*entry, name)));
    });
    if (recorded && m_folder >= 0) {
        for (const QByteArray &name : names)
            m_announcedHere.insert(name);
        return true;
    }
    const bool recordedNow = reloadAndChange([&] {
        for (const QByteArray &name : names) {
            m_announcedHere.insert(name);
            const auto entry = m_entries.find(name);
            // What stands as made keeps licensing its own replacement until it is replaced.
            if (entry != m_entries.end() && entry->state == Entry::State::Made && matches(*entry, name))
                continue;
            m_entries.insert(name, Entry{Entry::State::Pending, 0, 0, 0, {}, owner});
        }
    });
    if (recordedNow && m_holding)
        m_announcementsHeld = true;
    return recordedNow;
}

bool OwnRecord::announceTemporary(const QByteArray &name)
{
    const QByteArray owner = holdLiveMark(m_recordsFolder);
    return reloadAndChange([&] { m_entries.insert(name, Entry{Entry::State::Temporary, 0, 0, 0, {}, owner}); }, true);
}

bool OwnRecord::announceSetAside(const QList<std::pair<QByteArray, QByteArray>> &asideAndOriginal)
{
    const QByteArray owner = holdLiveMark(m_recordsFolder);
    return reloadAndChange([&] {
        for (const auto &[aside, original] : asideAndOriginal)
            m_entries.insert(aside, Entry{Entry::State::Temporary, 0, 0, 0, original, owner});
    }, true);
}

void OwnRecord::noteMade(const QList<QByteArray> &names)
{
    if (names.isEmpty() || m_folder < 0)
        return;
    // Touched by the program without a change the record keeps (its link to itself on every sync).
    const bool unchanged = m_existed
        && std::none_of(m_entries.cbegin(), m_entries.cend(), [](const Entry &entry) { return entry.state == Entry::State::Temporary; })
        && std::all_of(names.cbegin(), names.cend(), [&](const QByteArray &name) {
               const auto entry = m_entries.constFind(name);
               return entry != m_entries.cend() && entry->state == Entry::State::Made && matches(*entry, name);
           });
    if (unchanged)
        return;
    const QByteArray owner = holdLiveMark(m_recordsFolder);
    reloadAndChange([&] {
        for (const QByteArray &name : names) {
            const Identity identity = identityBelow(m_folder, name);
            if (!identity.found) {
                m_entries.remove(name);
                continue;
            }
            m_entries.insert(name, Entry{Entry::State::Made, identity.inode, identity.modified, identity.born, {}, owner});
        }
        // The temporaries of the writes that ended are gone with them.
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            struct stat status {};
            if (it->state == Entry::State::Temporary && it->setAsideFrom.isEmpty() && !statBelow(m_folder, it.key(), &status))
                it = m_entries.erase(it);
            else
                ++it;
        }
    });
}

void OwnRecord::withdraw(const QList<QByteArray> &names)
{
    const QByteArray owner = holdLiveMark(m_recordsFolder);
    const auto announcedHere = [&](const QByteArray &name) {
        const auto entry = m_entries.constFind(name);
        return entry != m_entries.cend() && entry->state == Entry::State::Pending && entry->owner == owner;
    };
    for (const QByteArray &name : names)
        m_announcedHere.remove(name);
    if (std::none_of(names.cbegin(), names.cend(), announcedHere))
        return;
    reloadAndChange([&] {
        for (const QByteArray &name : names) {
            if (announcedHere(name))
                m_entries.remove(name);
        }
    });
}

void OwnRecord::adopt(const QList<QByteArray> &names)
{
    noteMade(names);
}

QHash<QByteArray, OwnRecord::Outcome> OwnRecord::remove(const QList<QByteArray> &names)
{
    QHash<QByteArray, Outcome> outcomes;
    if (names.isEmpty())
        return outcomes;
    QList<QByteArray> ordered = names;
    std::stable_sort(ordered.begin(), ordered.end(), [](const QByteArray &a, const QByteArray &b) { return depthOf(a) > depthOf(b); });
    // Judged first; each file or link of ours is then set aside under a name recorded before the move.
    struct Planned {
        QByteArray name;
        QByteArray aside;
    };
    QList<Planned> planned;
    QList<std::pair<QByteArray, QByteArray>> asides;
    for (const QByteArray &name : std::as_const(ordered)) {
        const auto entry = m_entries.constFind(name);
        struct stat status {};
        if (m_folder < 0) {
            outcomes.insert(name, Outcome::Failed);
        } else if (!statBelow(m_folder, name, &status)) {
            outcomes.insert(name, errno == ENOENT || errno == ENOTDIR ? Outcome::Absent : Outcome::Failed);
        } else if (entry == m_entries.cend() || !matches(*entry, name)) {
            outcomes.insert(name, Outcome::NotOurs);
        } else {
            QByteArray leaf;
            const int parent = openParent(m_folder, name, &leaf);
            if (parent >= 0)
                ::close(parent);
            const QByteArray aside = S_ISDIR(status.st_mode) ? QByteArray() : withParent(name, asideNameFor(leaf));
            planned.append({name, aside});
            if (!aside.isEmpty())
                asides.append({aside, name});
        }
    }
    if (!asides.isEmpty() && !announceSetAside(asides)) {
        for (const Planned &entry : std::as_const(planned))
            outcomes.insert(entry.name, Outcome::Failed);
        return outcomes;
    }
    QList<QByteArray> gone;
    for (const Planned &entry : std::as_const(planned)) {
        QByteArray leaf;
        const int parent = openParent(m_folder, entry.name, &leaf);
        if (parent < 0) {
            outcomes.insert(entry.name, Outcome::Failed);
            continue;
        }
        Outcome outcome = Outcome::Failed;
        if (entry.aside.isEmpty()) {
            // A folder goes only empty: what the user keeps in it keeps it.
            if (::unlinkat(parent, leaf.constData(), AT_REMOVEDIR) == 0)
                outcome = Outcome::Removed;
            else
                outcome = errno == ENOTEMPTY || errno == EEXIST ? Outcome::NotOurs : errno == ENOENT ? Outcome::Absent : Outcome::Failed;
        } else {
            const QByteArray asideLeaf = entry.aside.mid(entry.aside.lastIndexOf('/') + 1);
            const auto recorded = m_entries.constFind(entry.name);
            if (::renameat2(parent, leaf.constData(), parent, asideLeaf.constData(), RENAME_NOREPLACE) != 0) {
                outcome = errno == ENOENT ? Outcome::Absent : Outcome::Failed;
            } else if (recorded == m_entries.cend() || !matches(*recorded, entry.aside)) {
                // Something else took the name, or the user edited it in place, between the look
                // and the move: it goes back.
                ::renameat2(parent, asideLeaf.constData(), parent, leaf.constData(), RENAME_NOREPLACE);
                outcome = Outcome::NotOurs;
            } else {
                outcome = ::unlinkat(parent, asideLeaf.constData(), 0) == 0 ? Outcome::Removed : Outcome::Failed;
                if (outcome == Outcome::Failed)
                    ::renameat2(parent, asideLeaf.constData(), parent, leaf.constData(), RENAME_NOREPLACE);
            }
            gone.append(entry.aside);
        }
        ::close(parent);
        outcomes.insert(entry.name, outcome);
        if (outcome == Outcome::Removed || outcome == Outcome::Absent)
            gone.append(entry.name);
    }
    const QByteArray owner = holdLiveMark(m_recordsFolder);
    reloadAndChange([&] {
        for (const QByteArray &name : std::as_const(gone)) {
            struct stat status {};
            if (statBelow(m_folder, name, &status))
                continue;
            // A name this record announced goes on as announced: its new entry is on its way.
            if (m_announcedHere.contains(name))
                m_entries.insert(name, Entry{Entry::State::Pending, 0, 0, 0, {}, owner});
            else
                m_entries.remove(name);
        }
    });
    return outcomes;
}

void OwnRecord::forget(const QList<QByteArray> &names)
{
    if (names.isEmpty())
        return;
    // What is the user's from now on is never left licensed on the disk.
    reloadAndChange([&] {
        for (const QByteArray &name : names)
            m_entries.remove(name);
    }, true);
}

void OwnRecord::startAfresh()
{
    if (m_folder < 0)
        return;
    // A folder without a record gets one as the work on it is written.
    if (!m_existed) {
        m_newRecordHeld = m_holding;
        return;
    }
    reloadAndChange([&] { m_entries.clear(); }, true);
}

void OwnRecord::discard()
{
    if (m_recordPath.isEmpty())
        return;
    // A record left behind names a folder that went: the next folder on its inode is told apart by
    // its birth time, or starts afresh.
    if (recordsLock().tryLock(int(lockPatience().count()))) {
        const std::unique_lock<QMutex> threads(recordsLock(), std::adopt_lock);
        const RecordsLock lock(m_recordsFolder);
        if (lock.isHeld())
            ::unlink(QFile::encodeName(m_recordPath).constData());
    }
    m_entries.clear();
    m_existed = false;
}

QStringList OwnRecord::finishCutShort(const QString &recordsFolder)
{
    QStringList putBack;
    removeDeadMarks(recordsFolder);
    const QStringList records = QDir(recordsFolder).entryList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &recordName : records) {
        const QString recordPath = recordsFolder + u'/' + recordName;
        const std::optional<QByteArray> bytes = readRecordFile(recordPath);
        if (!bytes)
            continue;
        const qsizetype firstEnd = bytes->indexOf('\n');
        const qsizetype secondEnd = firstEnd < 0 ? -1 : bytes->indexOf('\n', firstEnd + 1);
        if (secondEnd < 0 || bytes->left(firstEnd) != header)
            continue;
        // Only a record naming temporaries or names never confirmed has anything to finish.
        const QByteArray body = bytes->mid(secondEnd);
        const bool leftovers = body.contains(QByteArray("\n") + char(Entry::State::Temporary) + ' ')
            || body.contains(QByteArray("\n") + char(Entry::State::Pending) + ' ');
        if (!leftovers)
            continue;
        const QList<QByteArray> folderFields = bytes->mid(firstEnd + 1, secondEnd - firstEnd - 1).split(' ');
        const QString folder = folderFields.size() == 3 ? QFile::decodeName(QByteArray::fromHex(folderFields.at(2))) : QString();
        if (folder.isEmpty())
            continue;
        // A folder renamed since its record last changed is not found where the record says: its
        // record stays, and what it names goes when the folder does.
        OwnRecord record(recordsFolder, folder);
        if (!record.isOpen() || record.m_recordPath != recordPath || !record.existed())
            continue;
        QList<QByteArray> finished;
        QList<std::pair<QByteArray, QByteArray>> unconfirmed;
        QList<std::pair<QByteArray, QByteArray>> confirmed;
        for (auto it = record.m_entries.cbegin(); it != record.m_entries.cend(); ++it) {
            if (it->state == Entry::State::Made || ownerRuns(recordsFolder, it->owner))
                continue;
            if (it->state == Entry::State::Pending) {
                // Its making was never confirmed: what stands there is not known to be ours, unless
                // it is a folder the program went on to keep a record of.
                (record.madeFolderWithRecord(it.key()) ? confirmed : unconfirmed).append({it.key(), it->owner});
                continue;
            }
            QByteArray leaf;
            const int parent = openParent(record.m_folder, it.key(), &leaf);
            struct stat status {};
            if (parent < 0 || ::fstatat(parent, leaf.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (parent >= 0)
                    ::close(parent);
                finished.append(it.key());
                continue;
            }
            const auto original = record.m_entries.constFind(it->setAsideFrom);
            const bool setAsideOfOurs = !it->setAsideFrom.isEmpty() && original != record.m_entries.cend()
                && record.matches(*original, it.key());
            if (!it->setAsideFrom.isEmpty() && !setAsideOfOurs) {
                // Swapped in by someone else as it was set aside: back under its name, or beside it.
                const QByteArray originalLeaf = it->setAsideFrom.mid(it->setAsideFrom.lastIndexOf('/') + 1);
                QByteArray name = originalLeaf;
                for (int n = 2; n < 1000 && ::renameat2(parent, leaf.constData(), parent, name.constData(), RENAME_NOREPLACE) != 0
                                && errno == EEXIST;
                     ++n)
                    name = originalLeaf + ' ' + QByteArray::number(n);
                putBack.append(QFile::decodeName(name));
            } else if (S_ISDIR(status.st_mode)) {
                // A temporary folder (a copy on its way in) holds only what the program put in it.
                OwnFiles::removeWholeAt(parent, leaf);
            } else {
                ::unlinkat(parent, leaf.constData(), 0);
            }
            ::close(parent);
            finished.append(it.key());
            if (!it->setAsideFrom.isEmpty())
                finished.append(it->setAsideFrom);
        }
        if (finished.isEmpty() && unconfirmed.isEmpty() && confirmed.isEmpty())
            continue;
        record.reloadAndChange([&] {
            for (const QByteArray &name : std::as_const(finished)) {
                struct stat status {};
                if (!statBelow(record.m_folder, name, &status))
                    record.m_entries.remove(name);
                else if (record.m_entries.value(name).state == Entry::State::Temporary)
                    record.m_entries.remove(name);
            }
            // Unless a running program announced it again meanwhile.
            const auto stillLeft = [&](const QByteArray &name, const QByteArray &owner) {
                const auto entry = record.m_entries.constFind(name);
                return entry != record.m_entries.cend() && entry->state == Entry::State::Pending && entry->owner == owner;
            };
            for (const auto &[name, owner] : std::as_const(unconfirmed)) {
                if (!stillLeft(name, owner))
                    continue;
                if (identityBelow(record.m_folder, name).found)
                    record.m_entries.insert(name, Entry{Entry::State::Maybe, 0, 0, 0, {}, {}});
                else
                    record.m_entries.remove(name);
            }
            for (const auto &[name, owner] : std::as_const(confirmed)) {
                const Identity identity = identityBelow(record.m_folder, name);
                if (stillLeft(name, owner) && identity.folder)
                    record.m_entries.insert(name, Entry{Entry::State::Made, identity.inode, identity.modified, identity.born, {}, owner});
            }
        });
    }
    return putBack;
}
