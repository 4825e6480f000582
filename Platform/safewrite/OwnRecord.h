#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

struct stat;

// What the program made in one folder, by a record it keeps: which entry it wrote under which name.
// Nothing else in the folder is the program's, whatever its kind, name or bytes: a link, a web-link
// file or a ".hidden" of the user's looks the same as one the program writes.
//
// The record of a folder is a file in a records folder of the program's, named by the folder's
// identity (device and inode), so that it follows the folder through a rename and no folder the
// user opens ever holds it. In a folder with a record, a name goes into the record, replaced whole
// on the file system, before its entry is made: a program killed in between leaves at most a
// recorded name whose entry is absent or its own. A folder without one gets it once its work is
// done (see holdWrites). The record is not forced to the disk: what a power cut can take from it makes
// entries of the program's count as the user's (kept, never removed), and no entry of the user's
// ever counts as the program's; a folder whose record is lost is read as one of an earlier
// version's. A name announced whose making was never confirmed licenses nothing: what stands
// under it may be the user's, and a start drops such names of programs no longer running. Once made, the entry is recorded with its identity (inode, birth time where the file
// system keeps one, and a file's modification time), so that one the user put in its place (saved
// over it, edited it, a link of theirs of the same name, even on the inode just freed) is the
// user's. The names of temporary files and of entries set aside on their way out are recorded
// the same way before they exist, and what a kill leaves of them is finished at the next start.
//
// The record is a file of the program's own: read without following a link or waiting on a fifo,
// within a size bound, and replaced as a directory entry (never written through a link). Every
// change is made under a lock shared with the program on another display, and each entry names the
// running program that announced it, so that a start leaves a live program's work alone.
//
// Names are relative to the folder and may lie below it ("Copy/inner/file.txt"); no link on the
// way is ever followed. What the user saves in a folder of the program's changes its time, not
// whose it is; it goes only once nothing is left in it.
class OwnRecord {
public:
    // Opens the record of the folder at `folder` (no link), kept in `recordsFolder`. A folder that
    // cannot be opened has an empty record that writes nothing.
    OwnRecord(const QString &recordsFolder, const QString &folder);
    ~OwnRecord();
    OwnRecord(const OwnRecord &) = delete;
    OwnRecord &operator=(const OwnRecord &) = delete;

    bool isOpen() const { return m_folder >= 0; }
    // The system's error number of the last write of the record that failed (ENOSPC for a full disk).
    int lastError() const { return m_lastError; }
    // The folder, open for work through its descriptor.
    int folder() const { return m_folder; }
    // Whether the folder had a record when opened (folders of an earlier version have none).
    bool existed() const { return m_existed; }
    bool names(const QByteArray &name) const { return m_entries.contains(name); }
    QList<QByteArray> recordedNames() const { return m_entries.keys(); }
    // The names a program that was killed announced and never confirmed, something standing under
    // each: the program's or the user's, which only what it holds can tell (see adopt).
    QList<QByteArray> maybeNames() const;

    // Whether the entry standing under `name` is the one the program recorded there: made by it and
    // unchanged since (a name only announced is never).
    bool isOurs(const QByteArray &name) const;
    // Whether `name` was announced or made by another program that is still running (the program
    // on another display sharing the home): its work in progress is not to be touched.
    bool heldByOtherProgram(const QByteArray &name) const;

    // Records `names` as about to be made; false when that failed, and then nothing may be made
    // under them. Names recorded already cost nothing. Held (see holdWrites) until writeAnnounced.
    bool announce(const QList<QByteArray> &names);
    // Records the identity of what now stands under each of `names`; a name with nothing under it
    // leaves the record. Call it only for what this program just made there.
    void noteMade(const QList<QByteArray> &names);
    // Takes each of `names` this program still only announced out of the record: its making failed
    // or was given up, and whatever stands there now is not known to be the program's. A name
    // another writer made and recorded meanwhile, or announced since, stays as recorded.
    void withdraw(const QList<QByteArray> &names);
    // Takes each of `names` that stands as recorded into the record as made: what an earlier version
    // made before records were kept, or what stands under a maybe name, once the caller found it to
    // be exactly what it writes there.
    void adopt(const QList<QByteArray> &names);

    enum class Outcome { Removed, Absent, NotOurs, Failed };
    // Removes what the record names under each of `names` (a folder once nothing is left in it),
    // deepest first; each is set aside under a recorded name before it goes, so that nothing swapped
    // in meanwhile is removed. The outcome of each name.
    QHash<QByteArray, Outcome> remove(const QList<QByteArray> &names);
    // Takes `names` out of the record: what stands under them is the user's from now on.
    void forget(const QList<QByteArray> &names);
    // A folder just made: whatever a record of a folder that had its inode before says is forgotten.
    void startAfresh();
    // Removes the record itself, once its folder went.
    void discard();

    // From now on, changes are kept here until `writeHeld`, or until a change that must be on the
    // disk before the program acts (names set aside or temporaries about to be made, names the
    // user's from now on, names announced once `writeAnnounced` is asked) is written with them: a
    // record is then written once or twice for all the work on a folder, never in a state that
    // claims more than is true. Where the folder has no record yet, its names need not reach the
    // disk before they are made: what a kill leaves there is read as an earlier version's, of
    // which only exactly what the program writes for a group it knows is taken in.
    void holdWrites() { m_holding = true; }
    // Writes what is held; false when that failed. Also run as the record goes.
    bool writeHeld();
    // Writes what is held where names were announced since the last write and the folder has a
    // record (nothing otherwise): asked before anything is made under them.
    bool writeAnnounced();

    // At start: finishes what a kill left in every recorded folder found where its record says
    // (temporary files removed, entries set aside on their way out removed, or put back where they
    // are not the program's; names announced and never confirmed dropped). A program still
    // running keeps what it announced. The names of what was put back.
    static QStringList finishCutShort(const QString &recordsFolder);

    struct Entry {
        // Maybe: announced by a program that ended before it said the entry was made; what stands
        // there is kept as the user's unless it holds exactly what the program writes there.
        enum class State : char { Pending = 'p', Made = 'e', Temporary = 't', Maybe = 'm' };
        State state = State::Pending;
        quint64 inode = 0;
        qint64 modified = 0;
        qint64 born = 0;
        // A Temporary set aside from this name on its way out.
        QByteArray setAsideFrom;
        // The running program that announced it (see heldByOtherProgram).
        QByteArray owner;
    };

    // Records the name of a temporary file about to be made (what a kill leaves
    // under it is removed at the next start); false when that failed. See SafeWrite::replaceFile.
    bool announceTemporary(const QByteArray &name);
    // The same for a whole temporary folder and everything in it.
    bool announceTemporaryFolder(const QByteArray &name) { return announceTemporary(name); }

private:
    bool announceSetAside(const QList<std::pair<QByteArray, QByteArray>> &asideAndOriginal);
    bool load();
    bool save();
    // `mustReachDisk`: the change is written at once, whatever is held (see holdWrites).
    bool reloadAndChange(const std::function<void()> &change, bool mustReachDisk = false);
    // Whether what stands under `name` is the entry `entry` records.
    bool matches(const Entry &entry, const QByteArray &name) const;
    static bool sameEntry(const Entry &a, const Entry &b);
    // Whether `name` is a folder with a record of its own naming it there.
    bool madeFolderWithRecord(const QByteArray &name) const;

    QString m_recordsFolder;
    QString m_recordPath;
    QString m_folderPath;
    int m_folder = -1;
    quint64 m_device = 0;
    quint64 m_inode = 0;
    qint64 m_born = 0;
    bool m_existed = false;
    bool m_movedSince = false;
    int m_lastError = 0;
    QHash<QByteArray, Entry> m_entries;
    // The names this record announced, for as long as it is open.
    QSet<QByteArray> m_announcedHere;
    // Held changes (see holdWrites).
    bool m_holding = false;
    bool m_newRecordHeld = false;
    bool m_announcementsHeld = false;
    // The names whose entries differ from what was last written, each with what the record said of
    // it when it was first held (nothing: no entry).
    QHash<QByteArray, std::optional<Entry>> m_heldFrom;
};
