#include "Platform/safewrite/OwnRecord.h"

#include "Platform/safewrite/OwnFiles.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
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

bool statBelow(int folder, const QByteArray &relative, struct stat *status)
{
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
    QByteArray leaf;
    const int parent = openParent(folder, relative, &leaf);
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
    : m_folderPath(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
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
    const QMutexLocker lock(&recordsLock());
    m_existed = load();
}

OwnRecord::~OwnRecord()
{
    if (m_folder >= 0)
        ::close(m_folder);
}

bool OwnRecord::load()
{
    m_entries.clear();
    QFile file(m_recordPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > recordLimit) {
        qCCritical(ownRecordLog, "Ignored the record %s: it is too large", qUtf8Printable(m_recordPath));
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    // "<header>", "folder <born> <hex path>", then "<state> <inode> <modified> <born> <hex name> [<hex from>]".
    if (lines.size() < 2 || lines.at(0) != header)
        return false;
    const QList<QByteArray> folder = lines.at(1).split(' ');
    if (folder.size() != 3 || folder.at(0) != "folder")
        return false;
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
        if (state != char(Entry::State::Pending) && state != char(Entry::State::Made) && state != char(Entry::State::Temporary))
            continue;
        entry.state = Entry::State(state);
        entry.inode = fields.at(1).toULongLong();
        entry.modified = fields.at(2).toLongLong();
        entry.born = fields.at(3).toLongLong();
        const QByteArray name = fields.size() > 4 ? QByteArray::fromHex(fields.at(4)) : QByteArray();
        if (fields.size() > 5)
            entry.setAsideFrom = QByteArray::fromHex(fields.at(5));
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
        if (!it->setAsideFrom.isEmpty())
            bytes += ' ' + it->setAsideFrom.toHex();
        bytes += '\n';
    }
    // Not forced to the disk: a kill loses nothing written, and a record a power cut loses only
    // makes the program take less for its own (see existed()).
    if (const std::optional<QString> failure =
            SafeWrite::replaceFile(m_recordPath, bytes, SafeWrite::Folder::Make, SafeWrite::Durability::Rebuilt, &m_lastError)) {
        qCCritical(ownRecordLog, "Failed to write the record of %s: %s", qUtf8Printable(m_folderPath), qUtf8Printable(*failure));
        return false;
    }
    m_existed = true;
    m_movedSince = false;
    return true;
}

bool OwnRecord::reloadAndChange(const std::function<void()> &change)
{
    if (m_folder < 0) {
        m_lastError = EBADF;
        return false;
    }
    const QMutexLocker lock(&recordsLock());
    // Another thread of the program may have changed it since it was read.
    const QHash<QByteArray, Entry> before = (load(), m_entries);
    change();
    bool same = m_existed && !m_movedSince && m_entries.size() == before.size();
    for (auto it = m_entries.cbegin(); same && it != m_entries.cend(); ++it) {
        const auto old = before.constFind(it.key());
        same = old != before.cend() && old->state == it->state && old->inode == it->inode && old->modified == it->modified
            && old->born == it->born && old->setAsideFrom == it->setAsideFrom;
    }
    if (same)
        return true;
    return save();
}

bool OwnRecord::matches(const Entry &entry, const QByteArray &name) const
{
    const Identity identity = identityBelow(m_folder, name);
    if (!identity.found)
        return false;
    if (entry.state != Entry::State::Made)
        return true;
    // A folder of the program's stays its own whatever the user saves in it; a link cannot be
    // changed in place, only replaced (and the program touches its own link to itself).
    return identity.inode == entry.inode && identity.born == entry.born && identity.modified == entry.modified;
}

bool OwnRecord::isOurs(const QByteArray &name) const
{
    const auto entry = m_entries.constFind(name);
    return entry != m_entries.cend() && m_folder >= 0 && matches(*entry, name);
}

bool OwnRecord::announce(const QList<QByteArray> &names)
{
    return reloadAndChange([&] {
        for (const QByteArray &name : names) {
            Entry &entry = m_entries[name];
            if (entry.state != Entry::State::Pending)
                entry = Entry{};
        }
    });
}

bool OwnRecord::announceTemporary(const QByteArray &name)
{
    return reloadAndChange([&] { m_entries.insert(name, Entry{Entry::State::Temporary, 0, 0, 0, {}}); });
}

bool OwnRecord::announceSetAside(const QList<std::pair<QByteArray, QByteArray>> &asideAndOriginal)
{
    return reloadAndChange([&] {
        for (const auto &[aside, original] : asideAndOriginal)
            m_entries.insert(aside, Entry{Entry::State::Temporary, 0, 0, 0, original});
    });
}

void OwnRecord::noteMade(const QList<QByteArray> &names)
{
    if (names.isEmpty())
        return;
    reloadAndChange([&] {
        for (const QByteArray &name : names) {
            const Identity identity = identityBelow(m_folder, name);
            if (!identity.found) {
                m_entries.remove(name);
                continue;
            }
            m_entries.insert(name, Entry{Entry::State::Made, identity.inode, identity.modified, identity.born, {}});
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
        struct stat status;
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
            planned.append({name, aside, status});
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
            struct stat moved {};
            if (::renameat2(parent, leaf.constData(), parent, asideLeaf.constData(), RENAME_NOREPLACE) != 0) {
                outcome = errno == ENOENT ? Outcome::Absent : Outcome::Failed;
            } else if (::fstatat(parent, asideLeaf.constData(), &moved, AT_SYMLINK_NOFOLLOW) != 0 || moved.st_ino != entry.status.st_ino
                       || moved.st_dev != entry.status.st_dev || !matches(m_entries.value(entry.name), entry.aside)) {
                // Something else took the name between the look and the move, or the user edited
                // the file in place meanwhile: it goes back.
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
    reloadAndChange([&] {
        for (const QByteArray &name : std::as_const(gone)) {
            struct stat status {};
            if (!statBelow(m_folder, name, &status))
                m_entries.remove(name);
        }
    });
    return outcomes;
}

void OwnRecord::forget(const QList<QByteArray> &names)
{
    if (names.isEmpty())
        return;
    reloadAndChange([&] {
        for (const QByteArray &name : names)
            m_entries.remove(name);
    });
}

void OwnRecord::startAfresh()
{
    if (m_folder < 0 || !m_existed)
        return;
    const QMutexLocker lock(&recordsLock());
    m_entries.clear();
    save();
}

void OwnRecord::discard()
{
    if (m_recordPath.isEmpty())
        return;
    const QMutexLocker lock(&recordsLock());
    QFile::remove(m_recordPath);
    m_entries.clear();
    m_existed = false;
}

QStringList OwnRecord::finishCutShort(const QString &recordsFolder)
{
    QStringList putBack;
    const QStringList records = QDir(recordsFolder).entryList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &recordName : records) {
        const QString recordPath = recordsFolder + u'/' + recordName;
        QFile file(recordPath);
        QByteArray folderLine;
        bool leftovers = false;
        if (file.open(QIODevice::ReadOnly) && file.size() <= recordLimit) {
            if (file.readLine(4096).trimmed() == header)
                folderLine = file.readLine(PATH_MAX * 2 + 64).trimmed();
            // Only a record naming temporaries has anything to finish.
            leftovers = file.readAll().contains(QByteArray(1, char(Entry::State::Temporary)) + ' ');
            file.close();
        }
        if (!leftovers)
            continue;
        const QList<QByteArray> folderFields = folderLine.split(' ');
        const QString folder = folderFields.size() == 3 ? QFile::decodeName(QByteArray::fromHex(folderFields.at(2))) : QString();
        if (folder.isEmpty())
            continue;
        // A folder renamed since its record last changed is not found where the record says: its
        // record stays, and what it names goes when the folder does.
        OwnRecord record(recordsFolder, folder);
        if (!record.isOpen() || record.m_recordPath != recordPath || !record.existed())
            continue;
        QList<QByteArray> finished;
        for (auto it = record.m_entries.cbegin(); it != record.m_entries.cend(); ++it) {
            if (it->state != Entry::State::Temporary)
                continue;
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
        if (finished.isEmpty())
            continue;
        record.reloadAndChange([&] {
            for (const QByteArray &name : std::as_const(finished)) {
                struct stat status {};
                if (!statBelow(record.m_folder, name, &status))
                    record.m_entries.remove(name);
                else if (record.m_entries.value(name).state == Entry::State::Temporary)
                    record.m_entries.remove(name);
            }
        });
    }
    return putBack;
}

void OwnRecord::withdraw(const QList<QByteArray> &names)
{
    if (names.isEmpty())
        return;
    reloadAndChange([&] {
        for (const QByteArray &name : names) {
            if (const auto entry = m_entries.constFind(name); entry != m_entries.cend() && entry->state == Entry::State::Pending)
                m_entries.erase(entry);
        }
    });
}
