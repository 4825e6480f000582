// The program removes only what it made itself: never through a link, never a file the user put
// among its own, never a whole folder for one odd entry in it.
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Platform/safewrite/OwnFiles.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThreadPool>

#include <atomic>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int timeout = 20000;

AppItem fileItem(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
}

QByteArray skinJson(const QString &id, const QString &name)
{
    const QJsonArray layers{QJsonObject{{"imageName", "art.png"}, {"zOrder", "background"}, {"opacity", 1}, {"blendMode", "normal"}}};
    return QJsonDocument(QJsonObject{{"id", id}, {"name", name}, {"version", 1}, {"canvasSize", 512}, {"layers", layers}, {"slots", QJsonArray{}}})
        .toJson();
}

} // namespace

class TestOwnFiles : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<int> m_sockets;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }

    // Adds a kept copy of `source` to `group` as the editor does, and waits until it is stored.
    void keepInto(DroppedItemKeeper &keeper, GroupManager &store, AppGroup &group, const QString &source)
    {
        const qsizetype before = group.apps.size();
        keeper.keep(source, [&](const QString &kept) {
            group.apps.append(fileItem(kept));
            store.updateGroup(group);
        });
        QTRY_COMPARE_WITH_TIMEOUT(group.apps.size(), before + 1, timeout);
        QTRY_COMPARE_WITH_TIMEOUT(keeper.runningCopies(), 0, timeout);
    }

    // An edit of the group that drops its items; returns once the sweep it starts has run.
    static void dropItems(GroupManager &store, AppGroup &group)
    {
        group.apps.clear();
        store.updateGroup(group);
        QThreadPool::globalInstance()->waitForDone();
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        for (int socket : m_sockets)
            ::close(socket);
        m_sockets.clear();
    }

    // "Dropped Items" holds the program's copies; the user may put files of their own there, or
    // make it a link to a folder on another disk.
    void keptCopiesGoOnlyWhenTheProgramMadeThem()
    {
        GroupManager store(path("Kestrowan"), path("Kestrowan/Groups"));
        store.ensureStorageDirectories();
        AppGroup group = store.createGroup();
        QVERIFY(writeTestFile(path("scratch/report.txt"), "figures"));
        QVERIFY(writeTestFile(path("scratch/Photos/one.jpg"), "photo"));

        const QString kept = path("Kestrowan/Dropped Items");
        DroppedItemKeeper keeper(kept);
        DroppedItemKeeper::followStore(store, kept);
        keepInto(keeper, store, group, path("scratch/report.txt"));
        keepInto(keeper, store, group, path("scratch/Photos"));
        // The user's own files beside the copies, and a copy's name taken again by the user's file
        // once the copy itself was moved away.
        QVERIFY(writeTestFile(kept + "/notes.txt", "mine"));
        QVERIFY(writeTestFile(kept + "/Mine/sub/deep.txt", "mine too"));
        QVERIFY(QDir().rename(kept + "/Photos", path("moved-copy")));
        QVERIFY(writeTestFile(kept + "/Photos/own.jpg", "the user's"));
        dropItems(store, group);
        QCOMPARE(folderTree(kept), (QMap<QString, QByteArray>{{"Mine", "<folder>"},
                                                          {"Mine/sub", "<folder>"},
                                                          {"Mine/sub/deep.txt", "mine too"},
                                                          {"Photos", "<folder>"},
                                                          {"Photos/own.jpg", "the user's"},
                                                          {"notes.txt", "mine"}}));

        // Linked to a folder of the user's on another disk: copies land there, and nothing in it is
        // ever removed through the link, sub-folders included.
        const QString disk = path("OtherDisk/Data");
        QVERIFY(writeTestFile(disk + "/thesis.tex", "chapter one"));
        QVERIFY(writeTestFile(disk + "/figures/plot.png", "plot"));
        const QString linked = path("Kestrowan/Linked Items");
        QVERIFY(QFile::link(disk, linked));
        DroppedItemKeeper linkedKeeper(linked);
        DroppedItemKeeper::followStore(store, linked);
        keepInto(linkedKeeper, store, group, path("scratch/report.txt"));
        QCOMPARE(group.apps.last().path, linked + "/report.txt");
        QCOMPARE(readTestFile(disk + "/report.txt"), QByteArray("figures"));
        const QMap<QString, QByteArray> before = folderTree(disk);
        dropItems(store, group);
        QCOMPARE(folderTree(disk), before);
        QVERIFY(QFileInfo(linked).isSymLink());
    }

    // The user saves a file under the name a dropped item's copy was to take, after the name was
    // chosen and before the copy was put there: the user's file stays, and the copy takes the next
    // free name.
    void aKeptCopyNeverLandsOnAFileSavedUnderItsName()
    {
        GroupManager store(path("Kestrowan"), path("Kestrowan/Groups"));
        store.ensureStorageDirectories();
        AppGroup group = store.createGroup();
        QVERIFY(writeTestFile(path("scratch/report.txt"), "figures"));
        const QString kept = path("Kestrowan/Dropped Items");
        QVERIFY(QDir().mkpath(kept));
        DroppedItemKeeper keeper(kept);
        // The moment: the record written as the copy, complete beside, is about to take its name.
        std::atomic_bool reached{false};
        SafeWrite::refuseUnnamedFiles(true);
        SafeWrite::watchNamedTemporaries([&](const QString &written) {
            if (reached || !written.startsWith(path("Kestrowan/Made Entries/")) || QFileInfo::exists(kept + "/report.txt"))
                return;
            for (const QString &staging : QDir(kept).entryList({".incoming-*"}, QDir::Dirs | QDir::Hidden)) {
                if (readTestFile(kept + u'/' + staging + "/report.txt") == "figures")
                    reached = writeTestFile(kept + "/report.txt", "the user's report");
            }
        });
        const auto stopWatching = qScopeGuard([] {
            SafeWrite::watchNamedTemporaries(nullptr);
            SafeWrite::refuseUnnamedFiles(false);
        });
        keepInto(keeper, store, group, path("scratch/report.txt"));
        QVERIFY(reached);
        QCOMPARE(readTestFile(kept + "/report.txt"), QByteArray("the user's report"));
        QCOMPARE(group.apps.last().path, kept + "/report 2.txt");
        QCOMPARE(readTestFile(kept + "/report 2.txt"), QByteArray("figures"));
    }

    // A groups folder kept elsewhere through a link: the sweep and a deleted group never empty a
    // folder through it, whatever its ".group_id" says.
    void mirrorFoldersAreNeverRemovedThroughALinkedGroupsFolder()
    {
        const QString disk = path("OtherDisk/Groups");
        QVERIFY(writeTestFile(disk + "/Old/.group_id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toUtf8()));
        QVERIFY(writeTestFile(disk + "/Old/notes.txt", "mine"));
        QVERIFY(QDir().mkpath(path("Kestrowan")));
        QVERIFY(QFile::link(disk, path("Kestrowan/Groups")));
        GroupManager store(path("Kestrowan"), path("Kestrowan/Groups"));
        store.ensureStorageDirectories();
        const AppGroup group = store.createGroup();
        QVERIFY(writeTestFile(disk + "/New Group/.group_id", group.id.toString(QUuid::WithoutBraces).toUpper().toUtf8()));
        const QMap<QString, QByteArray> before = folderTree(disk);
        store.removeOrphanedGroupFolders();
        bool deleted = false;
        store.deleteGroup(group, false, [&deleted] { deleted = true; });
        QTRY_VERIFY_WITH_TIMEOUT(deleted, timeout);
        QVERIFY(store.groups().isEmpty());
        QCOMPARE(folderTree(disk), before);
        QVERIFY(QFileInfo(path("Kestrowan/Groups")).isSymLink());
    }

    // A folder opened for removals stays the folder it was: one swapped for a link to the user's
    // folder afterwards loses nothing, a link inside it goes as a link, and a folder reached
    // through a link on the way is told apart from one that is not; a link in its own place is
    // never opened.
    void removalsGoThroughTheFolderOpenedNotItsPath()
    {
        QVERIFY(writeTestFile(path("Groups/Work/Notes.txt"), "ours"));
        QVERIFY(writeTestFile(path("Mine/Notes.txt"), "mine"));
        QVERIFY(writeTestFile(path("Mine/Letter.txt"), "letter"));
        QVERIFY(QFile::link(path("Mine/Letter.txt"), path("Groups/Work/Letter")));
        bool throughLink = true;
        const int folder = OwnFiles::openFolder(path("Groups/Work"), &throughLink);
        QVERIFY(folder >= 0);
        QVERIFY(!throughLink);
        QVERIFY(QDir().rename(path("Groups/Work"), path("Groups/Moved")));
        QVERIFY(QFile::link(path("Mine"), path("Groups/Work")));
        const auto anything = [](int, const struct stat &) { return true; };
        QCOMPARE(OwnFiles::removeEntryAt(folder, "Notes.txt", anything), OwnFiles::Removal::Removed);
        QCOMPARE(OwnFiles::removeEntryAt(folder, "Letter", anything), OwnFiles::Removal::Removed);
        ::close(folder);
        QCOMPARE(folderTree(path("Mine")), (QMap<QString, QByteArray>{{"Notes.txt", "mine"}, {"Letter.txt", "letter"}}));
        QVERIFY(folderTree(path("Groups/Moved")).isEmpty());

        QVERIFY(OwnFiles::openFolder(path("Groups/Work"), &throughLink) < 0);
        QVERIFY(QFile::link(path("Groups"), path("Linked")));
        const int elsewhere = OwnFiles::openFolder(path("Linked/Moved"), &throughLink);
        QVERIFY(elsewhere >= 0);
        QVERIFY(throughLink);
        ::close(elsewhere);
    }

    // An entry is judged under its own name, and only one of the program's is ever moved: were the
    // program killed while it judges, nothing of the user's would be left under another name.
    void entriesAreJudgedWhereTheyStand()
    {
        QVERIFY(writeTestFile(path("Groups/Work/Notes.txt"), "mine"));
        QVERIFY(writeTestFile(path("Groups/Work/Photos/beach.jpg"), "mine too"));
        QVERIFY(writeTestFile(path("Groups/Work/Made.webloc"), "the program's"));
        bool throughLink = false;
        const int folder = OwnFiles::openFolder(path("Groups/Work"), &throughLink);
        QVERIFY(folder >= 0);
        const auto listing = [this] {
            return QDir(path("Groups/Work")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        };
        const QStringList all{"Made.webloc", "Notes.txt", "Photos"};
        for (const char *entry : {"Notes.txt", "Photos", "Made.webloc"}) {
            const QByteArray name(entry);
            QStringList seen;
            const bool ours = name == "Made.webloc";
            QCOMPARE(OwnFiles::removeEntryAt(folder, name, [&](int, const struct stat &) {
                         seen = listing();
                         return ours;
                     }),
                     ours ? OwnFiles::Removal::Removed : OwnFiles::Removal::NotOurs);
            QCOMPARE(seen, all);
        }
        ::close(folder);
        QCOMPARE(folderTree(path("Groups/Work")), (QMap<QString, QByteArray>{{"Notes.txt", "mine"}, {"Photos", "<folder>"}, {"Photos/beach.jpg", "mine too"}}));
    }

    // An installed skin whose "skin.json" is a fifo, a socket or a folder, or whose place a link
    // takes, is refused and logged; and an update of a skin replaces what it installed, nothing else.
    void skinsReplaceOnlyWhatTheyInstalled_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"fifo", "socket", "folder", "link"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void skinsReplaceOnlyWhatTheyInstalled()
    {
        QFETCH(QString, kind);
        const QString shipped = path("Shipped/beta");
        QVERIFY(writeTestFile(shipped + "/skin.json", skinJson("beta", "Beta")));
        QVERIFY(writeTestFile(shipped + "/art.png", "shipped art"));
        const QString skins = path("Skins");
        QVERIFY(writeTestFile(skins + "/beta/art.png", "my own art"));
        QVERIFY(writeTestFile(skins + "/beta/notes/ideas.txt", "mine"));
        const QString odd = skins + "/beta/skin.json";
        QString elsewhere;
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(odd).constData(), 0600), 0);
        } else if (kind == "socket") {
            const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
            m_sockets.push_back(socket);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const QByteArray name = QFile::encodeName(odd);
            QVERIFY(socket >= 0 && size_t(name.size()) < sizeof(address.sun_path));
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            QCOMPARE(::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        } else if (kind == "folder") {
            QVERIFY(writeTestFile(odd + "/inside.txt", "mine"));
        } else {
            // The whole skin is a link to the user's own folder.
            elsewhere = path("MySkins/beta");
            QVERIFY(QDir().mkpath(path("MySkins")));
            QVERIFY(QDir().rename(skins + "/beta", elsewhere));
            QVERIFY(writeTestFile(elsewhere + "/skin.json", skinJson("beta", "My Beta")));
            QVERIFY(QFile::link(elsewhere, skins + "/beta"));
        }
        const QString watched = elsewhere.isEmpty() ? skins + "/beta" : elsewhere;
        const QMap<QString, QByteArray> before = folderTree(watched);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Refused to install skin beta: beta(/skin\\.json)? is a " + kind + "$"));
        { SkinManager manager(skins, path("Shipped")); }
        QCOMPARE(folderTree(watched), before);

        // Once the odd entry is gone, what the user put in a folder of the skin's name stays theirs:
        // the install writes over nothing it did not install, whatever its name.
        if (kind != "link") {
            if (kind == "folder")
                QVERIFY(QDir(odd).removeRecursively());
            else
                QVERIFY(QFile::remove(odd));
            QVERIFY(writeTestFile(odd, skinJson("beta", "Edited")));
            const SkinManager manager(skins, path("Shipped"));
            QCOMPARE(readTestFile(odd), skinJson("beta", "Edited"));
            QCOMPARE(readTestFile(skins + "/beta/art.png"), QByteArray("my own art"));
            QCOMPARE(readTestFile(skins + "/beta/notes/ideas.txt"), QByteArray("mine"));
            QCOMPARE(manager.availableSkins().size(), 1);
        }
    }

    // A retired skin's folder goes with what the program installed in it; what the user added stays.
    void retiredSkinsTakeOnlyTheirOwnFiles()
    {
        for (const char *id : {"mint-grid", "peach-cloud"}) {
            QVERIFY(writeTestFile(path("Shipped/") + id + "/skin.json", skinJson(id, id)));
            QVERIFY(writeTestFile(path("Shipped/") + id + "/art.png", "art"));
        }
        const QString skins = path("Skins");
        QVERIFY(writeTestFile(skins + "/peach-cloud/my-notes.txt", "mine"));
        QTest::ignoreMessage(QtInfoMsg, "Kept the retired skin folder peach-cloud: it holds files Kestrowan did not install");
        const SkinManager manager(skins, path("Shipped"));
        QVERIFY(!QFileInfo::exists(skins + "/mint-grid"));
        QCOMPARE(folderTree(skins + "/peach-cloud"), (QMap<QString, QByteArray>{{"my-notes.txt", "mine"}}));
    }
};

KESTROWAN_TEST_MAIN(TestOwnFiles)
#include "tst_ownfiles.moc"
