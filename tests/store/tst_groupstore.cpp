// The group store: "groups.json", the notifications, and files it cannot read, which are never lost.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/GroupsFileWriter.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Platform/UserDefaults.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/support/FullDisk.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

class TestGroupStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_storage;
    QString m_groupsFolder;

    std::unique_ptr<GroupManager> makeManager()
    {
        auto manager = std::make_unique<GroupManager>(m_storage, m_groupsFolder);
        manager->ensureStorageDirectories();
        return manager;
    }
    QString groupsFile() const { return m_storage + QStringLiteral("/groups.json"); }
    // The file once every save asked for so far has been written.
    QByteArray savedBytes() const
    {
        GroupsFileWriter::forFile(groupsFile())->waitUntilWritten();
        return readBytes(groupsFile());
    }
    QList<AppGroup> savedGroups() const
    {
        return AppGroup::listFromJson(QJsonDocument::fromJson(savedBytes()).array()).value_or(QList<AppGroup>());
    }
    QStringList corruptCopies() const { return QDir(m_storage).entryList({QStringLiteral("groups-corrupt-*")}, QDir::Files); }
    QString claim(const QString &name, const QUuid &owner) const
    {
        const QString folder = makeFolder(m_groupsFolder + u'/' + name);
        writeBytes(folder + QStringLiteral("/.group_id"), ModelJson::uuidText(owner).toUtf8());
        return folder;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_storage = m_dir->path() + QStringLiteral("/Kestrowan");
        m_groupsFolder = m_storage + QStringLiteral("/Groups");
        UserDefaults::standard().remove(GroupManager::syncedGroupHashesKey);
        installSucceedingProcessRunner();
    }

    void missingOrEmptyFileIsNotWritten()
    {
        auto manager = makeManager();
        QVERIFY(QFileInfo(m_groupsFolder).isDir());
        manager->loadGroups();
        QVERIFY(manager->groups().isEmpty() && !manager->loadError());
        QVERIFY(!QFileInfo::exists(groupsFile()));

        writeBytes(groupsFile(), "[]");
        manager->loadGroups();
        QVERIFY(manager->groups().isEmpty() && !manager->loadError());
        QCOMPARE(savedBytes(), QByteArray("[]"));
    }

    void savedFileIsPrettyWithSortedKeysAndRoundTrips()
    {
        AppGroup full = makeGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("com.example.mail"), QStringLiteral("Mail"), QStringLiteral("/Mail.app"))});
        full.displayStyle = AppGroup::DisplayStyle::List;
        full.skinId = QStringLiteral("paper");
        full.customOpenerPath = QString();
        full.openerRules = OpenerRules{{{QStringLiteral("txt"), QStringLiteral("/T.app")}}, {}, std::nullopt};
        const AppGroup plain = makeGroup(QString());
        auto manager = makeManager();
        manager->setGroups({full, plain});
        manager->saveGroups();

        const QString text = QString::fromUtf8(savedBytes());
        QVERIFY(text.count(u'\n') > 10);
        QVERIFY(!text.contains(QStringLiteral("null")));
        // Item keys, then the group's own: every object's keys in ascending order.
        const QStringList order{QStringLiteral("apps"), QStringLiteral("bundleIdentifier"), QStringLiteral("id"), QStringLiteral("name"),
                                QStringLiteral("path"), QStringLiteral("customOpenerPath"), QStringLiteral("displayStyle"),
                                QStringLiteral("iconStyle"), QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("openerRules"),
                                QStringLiteral("byExtension"), QStringLiteral("byItem"), QStringLiteral("skinId")};
        qsizetype at = -1;
        for (const QString &key : order) {
            at = text.indexOf(u'"' + key + QStringLiteral("\":"), at + 1);
            QVERIFY2(at >= 0, qPrintable(key));
        }

        auto reloaded = makeManager();
        reloaded->loadGroups();
        QCOMPARE(reloaded->groups(), (QList<AppGroup>{full, plain}));
    }

    void retiredStylesAreResetOnLoadAndSavedAtOnce()
    {
        AppGroup glass = makeGroup(QStringLiteral("Old"));
        glass.iconStyle = AppGroup::IconStyle::Glass;
        glass.skinId = QStringLiteral("paper");
        AppGroup pelko = makeGroup(QStringLiteral("Kept"));
        pelko.iconStyle = AppGroup::IconStyle::Pelko;
        pelko.skinId = QStringLiteral("stays");
        writeBytes(groupsFile(), QJsonDocument(AppGroup::listToJson({glass, pelko})).toJson());

        auto manager = makeManager();
        manager->loadGroups();
        AppGroup shelf = glass;
        shelf.iconStyle = AppGroup::IconStyle::Shelf;
        shelf.skinId.reset();
        QCOMPARE(manager->groups(), (QList<AppGroup>{shelf, pelko}));
        QCOMPARE(savedGroups(), (QList<AppGroup>{shelf, pelko}));
    }

    void unreadableFilesAreCopiedAsideAndNeverLost_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray id = ModelJson::uuidText(QUuid::createUuid()).toUtf8();
        const QByteArray whole = QJsonDocument(AppGroup::listToJson({makeGroup(QStringLiteral("Work")), makeGroup(QStringLiteral("Play"))})).toJson();
        QTest::newRow("not JSON") << QByteArray("[{\"id\": \"not json");
        QTest::newRow("truncated") << whole.left(whole.size() / 2);
        QTest::newRow("object") << QByteArray("{\"groups\": []}");
        QTest::newRow("icon style as number") << "[{\"id\":\"" + id + "\",\"name\":\"A\",\"apps\":[],\"displayStyle\":\"grid\",\"iconStyle\":3}]";
        QTest::newRow("apps as text") << "[{\"id\":\"" + id + "\",\"name\":\"A\",\"apps\":\"x\",\"displayStyle\":\"grid\",\"iconStyle\":\"shelf\"}]";
        QTest::newRow("unknown style") << "[{\"id\":\"" + id + "\",\"name\":\"A\",\"apps\":[],\"displayStyle\":\"Grid\",\"iconStyle\":\"shelf\"}]";
    }
    void unreadableFilesAreCopiedAsideAndNeverLost()
    {
        QFETCH(QByteArray, bytes);
        writeBytes(groupsFile(), bytes);
        auto manager = makeManager();
        manager->setGroups({makeGroup(QStringLiteral("stale"))});
        QSignalSpy errorChanged(manager.get(), &GroupManager::loadErrorChanged);
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to load groups: .+")));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Corrupt groups\\.json backed up to groups-corrupt-\\d+\\.json$")));
        manager->loadGroups();

        QVERIFY(manager->groups().isEmpty());
        QCOMPARE(manager->loadError(), localized(QStringLiteral("groups.loadError")));
        QCOMPARE(errorChanged.count(), 1);
        QCOMPARE(corruptCopies().size(), 1);
        const qint64 seconds = corruptCopies().first().section(u'-', 2).section(u'.', 0, 0).toLongLong();
        QVERIFY(seconds >= before && seconds <= QDateTime::currentSecsSinceEpoch());
        QCOMPARE(readBytes(m_storage + u'/' + corruptCopies().first()), bytes);
        QCOMPARE(savedBytes(), bytes);

        manager->createGroup(); // the first save replaces the file; the copy stays
        QCOMPARE(savedGroups().size(), 1);
        QCOMPARE(readBytes(m_storage + u'/' + corruptCopies().first()), bytes);
        QVERIFY(manager->loadError());
    }

    void unreadableFileIsKeptUntilACopyExists()
    {
        const QByteArray damaged("[{\"truncated\": ");
        writeBytes(groupsFile(), damaged);
        // Every name the copy could take in the next seconds is taken by a folder.
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QStringList blockers;
        for (qint64 s = now; s < now + 30; ++s)
            blockers.append(makeFolder(m_storage + QStringLiteral("/groups-corrupt-%1.json").arg(s)));

        auto manager = makeManager();
        {
            LogCapture log;
            manager->loadGroups();
            manager->createGroup();
            QCOMPARE(log.count(QStringLiteral("^Could not back up corrupt groups\\.json")), 2);
            QCOMPARE(log.count(QStringLiteral("backed up to")), 0);
            QCOMPARE(log.count(QStringLiteral("^Failed to save groups: ")), 1);
        }
        QCOMPARE(savedBytes(), damaged);

        for (const QString &blocker : std::as_const(blockers))
            QDir(blocker).removeRecursively();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Corrupt groups\\.json backed up to ")));
        manager->saveGroups();
        QCOMPARE(readBytes(m_storage + u'/' + corruptCopies().value(0)), damaged);
        QCOMPARE(savedGroups().size(), 1);
    }

    // A groups file beyond the read limit is copied aside once, however many starts meet it (three
    // starts of a 300 MiB file once took 900 MiB), and only while the disk can spare the copy. When it
    // cannot, the user is told that no copy exists, and the file is never saved over.
    void anOversizedFileIsCopiedAsideOnceAndOnlyWhereThereIsRoom()
    {
        // Sparse: it takes no room itself, but reads and copies at its full length.
        writeBytes(groupsFile(), "[{\"name\": \"a very long group\"");
        const qint64 oversized = 256LL * 1024 * 1024 + 4096;
        QVERIFY(QFile::resize(groupsFile(), oversized));

        // Where it cannot be kept: no copy, the user told so, nothing saved over it.
        {
            FullDisk disk(64 * 1024 * 1024);
            QVERIFY(disk.active());
            LogCapture log;
            auto manager = makeManager();
            QSignalSpy failing(manager.get(), &GroupManager::saveFailingChanged);
            manager->loadGroups();
            QCOMPARE(manager->loadError(), localized(QStringLiteral("groups.loadError.notKept")));
            QCOMPARE(log.count(QStringLiteral("^Could not back up corrupt groups\\.json .*the disk can spare")), 1);
            QCOMPARE(log.count(QStringLiteral("backed up to")), 0);
            manager->createGroup();
            QTRY_VERIFY_WITH_TIMEOUT(manager->saveFailing(), 20000);
            QCOMPARE(failing.count(), 1);
            QCOMPARE(corruptCopies(), QStringList());
            QCOMPARE(QDir(m_storage).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("groups.json")});
        }
        QCOMPARE(QFileInfo(groupsFile()).size(), oversized);

        // With room, three starts keep one copy; each start after the first finds it.
        for (int start = 0; start < 3; ++start) {
            if (!corruptCopies().isEmpty()) {
                // A later start comes in a later second, when the copy's name would differ.
                const qint64 copied = corruptCopies().first().section(u'-', 2).section(u'.', 0, 0).toLongLong();
                QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() > copied, 5000);
            }
            LogCapture log;
            auto manager = makeManager();
            manager->loadGroups();
            QCOMPARE(manager->loadError(), localized(QStringLiteral("groups.loadError")));
            QCOMPARE(corruptCopies().size(), 1);
            QCOMPARE(log.count(start == 0 ? QStringLiteral("^Corrupt groups\\.json backed up to groups-corrupt-\\d+\\.json$")
                                          : QStringLiteral("^Corrupt groups\\.json was backed up before, to groups-corrupt-\\d+\\.json$")),
                     1);
        }
        QCOMPARE(QFileInfo(m_storage + u'/' + corruptCopies().first()).size(), oversized);
        QVERIFY(SafeWrite::sameContents(groupsFile(), m_storage + u'/' + corruptCopies().first()));
    }

    void operationsNotifyAndSave()
    {
        auto manager = makeManager();
        QSignalSpy before(manager.get(), &GroupManager::groupsAboutToChange);
        QSignalSpy changed(manager.get(), &GroupManager::groupsChanged);
        const AppGroup created = manager->createGroup();
        QCOMPARE(created.name, localized(QStringLiteral("group.new")));
        QVERIFY(created.apps.isEmpty() && !created.skinId && !created.customOpenerPath && !created.openerRules);
        QCOMPARE(created.displayStyle, AppGroup::DisplayStyle::Grid);
        QCOMPARE(created.iconStyle, AppGroup::IconStyle::Shelf);
        QCOMPARE(savedGroups(), QList<AppGroup>{created});
        QCOMPARE(changed.count(), 1);

        manager->setGroups({created}); // same content: silent
        QCOMPARE(changed.count(), 1);
        AppGroup edited = created;
        edited.iconStyle = AppGroup::IconStyle::Minimal;
        edited.skinId = QStringLiteral("paper");
        manager->updateGroup(edited);
        QCOMPARE(manager->groups().first().iconStyle, AppGroup::IconStyle::Shelf);
        QVERIFY(!manager->groups().first().skinId);
        QCOMPARE(changed.count(), 2); // the store's own replacement notifies even when nothing changed

        const QByteArray saved = savedBytes();
        manager->updateGroup(makeGroup(QStringLiteral("Stranger")));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(savedBytes(), saved);
        QCOMPARE(before.count(), changed.count());
    }

    void deleteGroupRemovesItsFolderAndHash()
    {
        auto manager = makeManager();
        const AppGroup keep = manager->createGroup();
        const AppGroup gone = manager->createGroup();
        manager->recordSyncedHash(keep);
        manager->recordSyncedHash(gone);
        const QString byUuid = makeFolder(m_groupsFolder + u'/' + ModelJson::uuidText(gone.id));
        const QString kept = claim(QStringLiteral("Kept"), keep.id);

        QVERIFY(awaitDone([&](std::function<void()> done) { manager->deleteGroup(gone, false, done); }));
        QVERIFY(!QFileInfo::exists(byUuid));
        QCOMPARE(savedGroups(), QList<AppGroup>{keep});
        QCOMPARE(UserDefaults::standard().stringMap(GroupManager::syncedGroupHashesKey).keys(), QStringList{ModelJson::uuidText(keep.id)});
        QVERIFY(QFileInfo::exists(kept));
    }

    // A tile that stays in the Dock must keep its folder, or it points at nothing.
    void deleteGroupKeepsTheFolderWhileItsTileStays()
    {
        auto manager = makeManager();
        const AppGroup gone = manager->createGroup();
        const QString folder = claim(QStringLiteral("Gone"), gone.id);
        const QUrl folderURL = QUrl::fromLocalFile(folder);
        QVERIFY(DockService::writePersistentOthers({DockService::folderTile(folderURL, gone.name, gone.displayStyle)}));
        // The system refuses the program's changes of the Dock's list.
        std::optional<RefusedDockWrites> refused(std::in_place);

        QTest::ignoreMessage(QtCriticalMsg, qPrintable(QStringLiteral("Kept the folder %1: its Dock item could not be removed").arg(folder)));
        QVERIFY(awaitDone([&](std::function<void()> done) { manager->deleteGroup(gone, false, done); }));
        refused.reset();
        DockService::clearSyncBlock();
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/.group_id")));
        QVERIFY(DockService::isFolderInDock(folderURL));
        QVERIFY(savedGroups().isEmpty());
    }

    void orphanSweepKeepsOnlyFoldersOfLiveGroups()
    {
        auto manager = makeManager();
        const QUuid live = manager->createGroup().id;
        const QUuid dead = QUuid::createUuid();
        const QString byFile = claim(QStringLiteral("Live"), live);
        writeBytes(byFile + QStringLiteral("/.group_id"), "\n " + ModelJson::uuidText(live).toUtf8() + "\n");
        const QString byName = makeFolder(m_groupsFolder + u'/' + ModelJson::uuidText(live));
        const QString lowerCase = makeFolder(m_groupsFolder + QStringLiteral("/Lower"));
        writeBytes(lowerCase + QStringLiteral("/.group_id"), ModelJson::uuidText(live).toLower().toUtf8());
        recordAsMade(claim(QStringLiteral("Dead"), dead), {".group_id"});
        makeFolder(m_groupsFolder + QStringLiteral("/Stranger"));
        writeBytes(m_groupsFolder + QStringLiteral("/readme.txt"), "keep");
        makeFolder(m_groupsFolder + QStringLiteral("/.cache"));
        const QString documents = makeFolder(m_dir->path() + QStringLiteral("/Documents"));
        writeBytes(documents + QStringLiteral("/precious.txt"), "mine");
        QFile::link(documents, m_groupsFolder + QStringLiteral("/Link"));

        manager->removeOrphanedGroupFolders();
        // "Stranger" says no group at all: whose it is cannot be read, so it stays. "Lower" names
        // no group the program knows, in a way the program never writes: nothing in it is its own.
        QCOMPARE(QDir(m_groupsFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{QStringLiteral(".cache"), ModelJson::uuidText(live), QStringLiteral("Link"), QStringLiteral("Live"),
                              QStringLiteral("Lower"), QStringLiteral("Stranger"), QStringLiteral("readme.txt")}));
        QCOMPARE(readBytes(documents + QStringLiteral("/precious.txt")), QByteArray("mine"));

        // A folder named like a live group whose ".group_id" names a dead one goes.
        recordAsMade(claim(ModelJson::uuidText(live), dead), {".group_id"});
        manager->removeOrphanedGroupFolders();
        QVERIFY(!QFileInfo::exists(byName));
    }

    // A folder naming a group nobody knows, that no record shows the program made (the user's
    // own, or one whose record was lost): the sweep leaves it whole and says nothing of it.
    void sweepLeavesAnUnknownGroupsFolderWithoutItsRecord_data()
    {
        QTest::addColumn<bool>("withDocument");
        QTest::addRow("identity only") << false;
        QTest::addRow("identity and a document") << true;
    }

    void sweepLeavesAnUnknownGroupsFolderWithoutItsRecord()
    {
        QFETCH(bool, withDocument);
        auto manager = makeManager();
        manager->createGroup();
        const QString folder = claim(QStringLiteral("Mine"), QUuid::createUuid());
        const QByteArray identity = readBytes(folder + QStringLiteral("/.group_id"));
        if (withDocument)
            writeBytes(folder + QStringLiteral("/notes.txt"), "mine");
        for (int start = 0; start < 2; ++start) {
            manager->removeOrphanedGroupFolders();
            QCOMPARE(readBytes(folder + QStringLiteral("/.group_id")), identity);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), withDocument ? 2 : 1);
            QVERIFY(manager->takeFoldersKeptForUserFiles().isEmpty());
        }
    }

    // An unreadable file leaves the list empty; the sweep must not take that for "no groups".
    void orphanSweepIsIdleWhileTheFileCouldNotBeLoaded()
    {
        writeBytes(groupsFile(), "{ broken");
        const QString folder = claim(QStringLiteral("Work"), QUuid::createUuid());
        auto manager = makeManager();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to load groups: ")));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Corrupt groups\\.json backed up to ")));
        manager->loadGroups();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Orphaned group folders kept")));
        manager->removeOrphanedGroupFolders();
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/.group_id")));
    }

    // "groups.json" kept on a volume that is not mounted yet: a load error, not "no groups". Nothing
    // is swept, the Dock keeps every item, and the user is told.
    void aGroupsFileThatCannotBeReachedIsALoadError()
    {
        const QString volume = m_dir->path() + QStringLiteral("/Volume");
        QDir().mkpath(m_storage);
        QVERIFY(QFile::link(volume + QStringLiteral("/groups.json"), groupsFile()));
        const QString folder = claim(QStringLiteral("Work"), QUuid::createUuid());
        const QUrl folderURL = QUrl::fromLocalFile(folder);
        QVERIFY(DockService::writePersistentOthers({DockService::folderTile(folderURL, QStringLiteral("Work"), AppGroup::DisplayStyle::Grid)}));

        auto manager = makeManager();
        QSignalSpy told(manager.get(), &GroupManager::loadErrorChanged);
        QTest::ignoreMessage(QtCriticalMsg,
                             qPrintable(QStringLiteral("Failed to load groups: groups.json is a link to %1/groups.json, which cannot be "
                                                       "reached (No such file or directory)").arg(volume)));
        manager->loadGroups();
        QCOMPARE(told.size(), 1);
        QCOMPARE(manager->loadError(), std::optional<QString>(localized(QStringLiteral("groups.loadError.unreachable"))));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Orphaned group folders kept")));
        manager->removeOrphanedGroupFolders();
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/.group_id")));
        QVERIFY(DockService::isFolderInDock(folderURL));
        QVERIFY(QFileInfo(groupsFile()).isSymLink());
        QVERIFY(corruptCopies().isEmpty());
    }

    // The whole storage folder kept on such a volume: the same load error, naming the folder, and
    // again nothing is swept and the Dock keeps its items. Once the volume is there, its groups load.
    void aStorageFolderThatCannotBeReachedIsALoadError()
    {
        const QString volume = m_dir->path() + QStringLiteral("/Volume");
        // Where the program keeps it, in the home folder; the window names it from "~".
        QVERIFY(QDir().mkpath(QDir::homePath() + QStringLiteral("/.local/share")));
        m_storage = QDir::homePath() + QStringLiteral("/.local/share/Kestrowan");
        m_groupsFolder = m_storage + QStringLiteral("/Groups");
        QVERIFY(QFile::link(volume + QStringLiteral("/Kestrowan"), m_storage));
        const auto removeLink = qScopeGuard([this] { QFile::remove(m_storage); });
        const QUrl folderURL = QUrl::fromLocalFile(m_groupsFolder + QStringLiteral("/Work"));
        QVERIFY(DockService::writePersistentOthers({DockService::folderTile(folderURL, QStringLiteral("Work"), AppGroup::DisplayStyle::Grid)}));

        auto manager = makeManager();
        QSignalSpy told(manager.get(), &GroupManager::loadErrorChanged);
        QTest::ignoreMessage(QtCriticalMsg,
                             qPrintable(QStringLiteral("Failed to load groups: %1 is a link to %2/Kestrowan, which cannot be reached "
                                                       "(No such file or directory)").arg(m_storage, volume)));
        manager->loadGroups();
        QCOMPARE(told.size(), 1);
        QCOMPARE(manager->loadError(), std::optional<QString>(localizedFormat(QStringLiteral("groups.loadError.folderUnreachable"),
                                                                         {QStringLiteral("~/.local/share/Kestrowan")})));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Orphaned group folders kept")));
        manager->removeOrphanedGroupFolders();
        QVERIFY(DockService::isFolderInDock(folderURL));
        QVERIFY(QFileInfo(m_storage).isSymLink());
        QVERIFY(!QFileInfo::exists(volume));

        // The volume mounted: the groups on it load through the link.
        manager.reset();
        const AppGroup work = makeGroup(QStringLiteral("Work"));
        writeBytes(volume + QStringLiteral("/Kestrowan/groups.json"), GroupsJson::encode({work}));
        auto mounted = makeManager();
        mounted->loadGroups();
        QVERIFY(!mounted->loadError());
        QCOMPARE(mounted->groups(), QList<AppGroup>{work});
    }

    void burstOfSavesEndsWithTheLastState()
    {
        QList<AppGroup> last;
        {
            auto manager = makeManager();
            for (int round = 0; round < 200; ++round) {
                last = {makeGroup(QStringLiteral("round %1").arg(round)), makeGroup(QStringLiteral("second"))};
                manager->setGroups(last);
                manager->saveGroups();
            }
            // A store made while saves are still on their way reads what the last of them wrote.
            auto other = makeManager();
            other->loadGroups();
            QCOMPARE(other->groups(), last);
            manager->setGroups({makeGroup(QStringLiteral("final"))});
            last = manager->groups();
            manager->saveGroups();
            // Going away writes what is still waiting.
        }
        QCOMPARE(GroupsJson::decode(readBytes(groupsFile())).value_or(QList<AppGroup>()), last);
    }

    void aSaveReachesTheDiskOnceTheEventLoopTurns()
    {
        auto manager = makeManager();
        manager->setGroups({makeGroup(QStringLiteral("turned"))});
        manager->saveGroups();
        // Nobody waits for the file: the writer is woken by the event loop, after the repaint.
        QTRY_VERIFY_WITH_TIMEOUT(readBytes(groupsFile()).contains("turned"), 10000);
    }

    void failedBackgroundWriteIsLogged()
    {
        // A folder where the file belongs: the file cannot be replaced.
        makeFolder(groupsFile());
        auto manager = makeManager();
        manager->setGroups({makeGroup(QStringLiteral("Work"))});
        LogCapture log;
        manager->saveGroups();
        manager->waitUntilSaved();
        QCOMPARE(log.count(QStringLiteral("^Failed to save groups: ")), 1);
        QCOMPARE(manager->groups().size(), 1);
        QVERIFY(QFileInfo(groupsFile()).isDir());
    }
};

KESTROWAN_TEST_MAIN(TestGroupStore)
#include "tst_groupstore.moc"
