// A group's road to the Dock, end to end on the test's own home: the defaults, the program's data
// and the Dock's preferences file all live under it, and the Dock restarts go to a fake runner.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/MirrorFolders.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/icons/ComposedFolderIcons.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/DecodedIcons.h"
#include "Platform/FileStamp.h"
#include "Platform/PropertyList.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeDiskFlush.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include <QBuffer>
#include <QMutex>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

namespace {

QVariantMap expectedTile(const QString &folder, const QString &label, qint64 showAs)
{
    const QVariantMap fileData{{QStringLiteral("_CFURLString"), QUrl::fromLocalFile(folder + u'/').toString(QUrl::FullyEncoded)},
                               {QStringLiteral("_CFURLStringType"), qint64(15)}};
    return QVariantMap{{QStringLiteral("tile-type"), QStringLiteral("directory-tile")},
                       {QStringLiteral("tile-data"),
                        QVariantMap{{QStringLiteral("file-data"), fileData},
                                    {QStringLiteral("file-label"), label},
                                    {QStringLiteral("file-type"), qint64(2)},
                                    {QStringLiteral("displayas"), qint64(1)},
                                    {QStringLiteral("showas"), showAs}}}};
}

QImage composedIcon(const AppGroup &group)
{
    return IconComposer::composeGroupIcon(group.apps, group.iconStyle);
}

QByteArray iconBytes(const AppGroup &group)
{
    return MirrorFolders::iconFileBytes(composedIcon(group));
}

ino_t inodeOf(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// The folder icon holds exactly the composed pixels, whatever compression wrote them.
bool iconFileShows(const QString &folder, const AppGroup &group)
{
    const QImage stored(folder + QStringLiteral("/Icon\r"), "PNG");
    const QImage composed = composedIcon(group);
    return !stored.isNull() && stored.convertToFormat(composed.format()) == composed;
}

QByteArray weblocBytes(const QString &url)
{
    return PropertyList::toXml(QVariantMap{{QStringLiteral("URL"), url}});
}

} // namespace

class TestDockSync : public QObject {
    Q_OBJECT

private:
    FakeProcessRunner *m_runner = nullptr;
    QString m_home;
    QString m_program;

    QString groupFolder(const QString &name) const { return groupsDirectoryURL() + u'/' + name; }
    std::unique_ptr<GroupManager> makeManager() const { return startedManager(m_program); }
    bool sync(GroupManager &manager, const AppGroup &group, bool refreshLabel = true) const
    {
        return awaitCompletion<bool>([&](std::function<void(bool)> done) { manager.syncGroupToDock(group, refreshLabel, nullptr, done); })
            .value_or(false);
    }
    bool syncAll(GroupManager &manager) const
    {
        return awaitDone([&](std::function<void()> done) { manager.syncAllGroupsToDock(nullptr, done); });
    }
    QString recordedHash(const AppGroup &group) const
    {
        return UserDefaults::standard().stringMap(GroupManager::syncedGroupHashesKey).value(ModelJson::uuidText(group.id));
    }

    // Two stored groups, "Work" and "Play", of one application each.
    QList<AppGroup> workAndPlay(GroupManager &manager) const
    {
        const QString app = makeFolder(m_home + QStringLiteral("/Applications/Notes.app"));
        QList<AppGroup> groups;
        for (const QString &name : {QStringLiteral("Work"), QStringLiteral("Play")}) {
            AppGroup group = manager.createGroup();
            group.name = name;
            group.apps = {makeItem(QStringLiteral("com.apple.notes"), QStringLiteral("Notes"), app)};
            manager.updateGroup(group);
            groups.append(group);
        }
        return groups;
    }

private slots:
    void initTestCase()
    {
        m_home = qEnvironmentVariable("HOME");
        m_program = writeProgramStandIn(m_home);
        FolderIconPainter::install(std::make_unique<ComposedFolderIcons>());
    }

    void init() { m_runner = resetToFirstStart(); }

    void groupsReachTheDockAndSurviveRenameDeleteAndRelaunch()
    {
        const QString mail = makeFolder(m_home + QStringLiteral("/Applications/Mail.app"));
        const QString report = m_home + QStringLiteral("/Documents/Report.pdf");
        writeBytes(report, "%PDF-1.4\n");
        const QString projects = makeFolder(m_home + QStringLiteral("/Projects"));
        const QString notesURL = QStringLiteral("https://example.com/notes?a=1");

        auto manager = makeManager();
        AppGroup work = manager->createGroup();
        work.name = QStringLiteral("Work");
        work.apps = {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), mail),
                     makeItem(QStringLiteral("file:") + report, QStringLiteral("Report"), report),
                     makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects),
                     makeItem(QStringLiteral("url:") + notesURL, QStringLiteral("Release.notes"), notesURL)};
        manager->updateGroup(work);
        AppGroup play = manager->createGroup();
        play.name = QStringLiteral("Play");
        play.displayStyle = AppGroup::DisplayStyle::List;
        play.apps = {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), mail)};
        manager->updateGroup(play);
        QVERIFY(!manager->isGroupSyncedToDock(work));

        // One group.
        QVERIFY(sync(*manager, work));
        const QString workFolder = groupFolder(QStringLiteral("Work"));
        QMap<QString, EntrySnapshot> expected{
            {QStringLiteral(".group_id"), fileEntry(ModelJson::uuidText(work.id).toUtf8())},
            {QStringLiteral(".hidden"), fileEntry("Icon\nIcon?\n")},
            {QStringLiteral("@Kestrowan"), linkEntry(m_program)},
            {QStringLiteral("Icon\r"), fileEntry(iconBytes(work))},
            {QStringLiteral("Mail.app"), linkEntry(mail)},
            {QStringLiteral("Report.pdf"), linkEntry(report)},
            {QStringLiteral("Projects"), linkEntry(projects)},
            {QStringLiteral("Release.webloc"), fileEntry(weblocBytes(notesURL))},
        };
        QCOMPARE(snapshotFolder(workFolder), expected);
        QCOMPARE(persistentOthers(), (QVariantList{expectedTile(workFolder, QStringLiteral("Work"), 2)}));
        QCOMPARE(recordedHash(work), GroupManager::dockSyncHash(work));
        QVERIFY(manager->isGroupSyncedToDock(work));
        QCOMPARE(dockRestarts(), 1);
        QStringList commands;
        for (const FakeProcessRunner::Invocation &run : std::as_const(m_runner->invocations))
            commands.append(run.executable + u' ' + run.arguments.join(u' '));
        QVERIFY(commands.contains(QStringLiteral("/usr/bin/chflags hidden ") + workFolder + QStringLiteral("/Icon\r")));
        QVERIFY(iconFileShows(workFolder, work));

        // All groups: the new tile goes in front, one restart for the batch; Work's tile is unchanged.
        QVERIFY(syncAll(*manager));
        const QString playFolder = groupFolder(QStringLiteral("Play"));
        QCOMPARE(persistentOthers(), (QVariantList{expectedTile(playFolder, QStringLiteral("Play"), 3),
                                                   expectedTile(workFolder, QStringLiteral("Work"), 2)}));
        QCOMPARE(snapshotFolder(workFolder), expected);
        QVERIFY(manager->isGroupSyncedToDock(play));
        QVERIFY(manager->isGroupSyncedToDock(work));
        QCOMPARE(dockRestarts(), 2);

        // Rename: the tile takes the new folder where it stands, the folder moves, with one restart.
        work.name = QStringLiteral("Office");
        manager->updateGroup(work);
        QVERIFY(!manager->isGroupSyncedToDock(work));
        QVERIFY(sync(*manager, work));
        const QString officeFolder = groupFolder(QStringLiteral("Office"));
        QVERIFY(!QFileInfo::exists(workFolder));
        QCOMPARE(snapshotFolder(officeFolder), expected);
        QCOMPARE(persistentOthers(), (QVariantList{expectedTile(playFolder, QStringLiteral("Play"), 3),
                                                   expectedTile(officeFolder, QStringLiteral("Office"), 2)}));
        QVERIFY(manager->isGroupSyncedToDock(work));
        QCOMPARE(dockRestarts(), 3);

        // Both renamed, then all synced: both old tiles go and both new ones come with one restart.
        work.name = QStringLiteral("Desk");
        manager->updateGroup(work);
        play.name = QStringLiteral("Games");
        manager->updateGroup(play);
        QVERIFY(syncAll(*manager));
        const QString deskFolder = groupFolder(QStringLiteral("Desk"));
        const QString gamesFolder = groupFolder(QStringLiteral("Games"));
        QVERIFY(!QFileInfo::exists(officeFolder) && !QFileInfo::exists(playFolder));
        QCOMPARE(persistentOthers(), (QVariantList{expectedTile(gamesFolder, QStringLiteral("Games"), 3),
                                                   expectedTile(deskFolder, QStringLiteral("Desk"), 2)}));
        QVERIFY(manager->isGroupSyncedToDock(work));
        QVERIFY(manager->isGroupSyncedToDock(play));
        QCOMPARE(dockRestarts(), 4);
        // Back to the names below.
        work.name = QStringLiteral("Office");
        manager->updateGroup(work);
        play.name = QStringLiteral("Play");
        manager->updateGroup(play);
        QVERIFY(syncAll(*manager));
        QCOMPARE(persistentOthers(), (QVariantList{expectedTile(playFolder, QStringLiteral("Play"), 3),
                                                   expectedTile(officeFolder, QStringLiteral("Office"), 2)}));
        QCOMPARE(dockRestarts(), 5);

        // Delete: tile, folder and hash go, and the rest is saved.
        QVERIFY(awaitDone([&](std::function<void()> done) { manager->deleteGroup(play, false, done); }));
        QVERIFY(!QFileInfo::exists(playFolder));
        QCOMPARE(persistentOthers(), (QVariantList{expectedTile(officeFolder, QStringLiteral("Office"), 2)}));
        QVERIFY(recordedHash(play).isEmpty());
        QCOMPARE(dockRestarts(), 6);

        // Relaunch: the same groups, still synced; the sweep keeps the live folder.
        const QList<AppGroup> before = manager->groups();
        manager.reset();
        auto relaunched = makeManager();
        QCOMPARE(relaunched->groups(), before);
        relaunched->removeOrphanedGroupFolders();
        QVERIFY(relaunched->isGroupSyncedToDock(work));
        QCOMPARE(snapshotFolder(officeFolder), expected);
    }

    // A sync of many groups forks nothing per folder, and leaves alone every icon whose pixels it
    // composes again: the Dock redraws a tile whose icon file changes.
    void syncingAgainRewritesNoIconAndStartsNoProcess()
    {
        auto manager = makeManager();
        const QString mail = makeFolder(m_home + QStringLiteral("/Applications/Mail.app"));
        AppGroup work = manager->createGroup();
        work.name = QStringLiteral("Work");
        work.apps = {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), mail)};
        manager->updateGroup(work);
        AppGroup play = manager->createGroup();
        play.name = QStringLiteral("Play");
        play.apps = {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), mail)};
        play.iconStyle = AppGroup::IconStyle::Gradient;
        manager->updateGroup(play);
        QVERIFY(syncAll(*manager));
        const QString workIcon = groupFolder(QStringLiteral("Work")) + QStringLiteral("/Icon\r");
        const QString playIcon = groupFolder(QStringLiteral("Play")) + QStringLiteral("/Icon\r");
        const FileStamp workBefore = FileStamp::of(workIcon), playBefore = FileStamp::of(playIcon);
        QVERIFY(workBefore.exists && playBefore.exists);

        const QString workFolder = groupFolder(QStringLiteral("Work"));
        const QStringList kept{QStringLiteral("Mail.app"), QStringLiteral("@Kestrowan"), QStringLiteral(".group_id"), QStringLiteral(".hidden")};
        QList<ino_t> inodes;
        for (const QString &name : kept)
            inodes.append(inodeOf(workFolder + u'/' + name));

        // Nothing changed: no icon file is replaced, by the batch or by a single sync, nor any
        // entry that already holds what it would be written with.
        QVERIFY(syncAll(*manager));
        QVERIFY(sync(*manager, work));
        QCOMPARE(FileStamp::of(workIcon), workBefore);
        QCOMPARE(FileStamp::of(playIcon), playBefore);
        for (qsizetype i = 0; i < kept.size(); ++i)
            QVERIFY2(inodes.at(i) != 0 && inodeOf(workFolder + u'/' + kept.at(i)) == inodes.at(i), qPrintable(kept.at(i)));

        // A link the user put in place of the program's is theirs: it stays, and the item's entry
        // takes the next name; a file the user put there stays too.
        QVERIFY(QFile::remove(workFolder + QStringLiteral("/Mail.app")));
        QVERIFY(QFile::link(m_home, workFolder + QStringLiteral("/Mail.app")));
        writeBytes(workFolder + QStringLiteral("/Stray.txt"), "stray");
        QVERIFY(sync(*manager, work));
        QCOMPARE(QFileInfo(workFolder + QStringLiteral("/Mail.app")).symLinkTarget(), m_home);
        QCOMPARE(QFileInfo(workFolder + QStringLiteral("/Mail 2.app")).symLinkTarget(), mail);
        QCOMPARE(readBytes(workFolder + QStringLiteral("/Stray.txt")), QByteArray("stray"));

        // A changed look is written, with the composed pixels; the other icon stays as it was.
        work.iconStyle = AppGroup::IconStyle::Pelko;
        manager->updateGroup(work);
        QVERIFY(syncAll(*manager));
        QVERIFY(FileStamp::of(workIcon) != workBefore);
        QVERIFY(iconFileShows(groupFolder(QStringLiteral("Work")), work));
        QCOMPARE(FileStamp::of(playIcon), playBefore);

        // An icon file written over behind the program's back is no longer the one it wrote: it
        // stays as it is.
        QFile stray(playIcon);
        QVERIFY(stray.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stray.write("not an icon");
        stray.close();
        QVERIFY(syncAll(*manager));
        QCOMPARE(readBytes(playIcon), QByteArray("not an icon"));

        // The program alias's times are set in place: no "touch" (nor anything else) per folder.
        for (const FakeProcessRunner::Invocation &run : std::as_const(m_runner->invocations))
            QVERIFY2(run.executable == QStringLiteral("/usr/bin/chflags"), qPrintable(run.executable));
    }

    // The groups kept on another disk, the groups folder or the program's data folder a link to
    // them: Sync All writes and updates the group's own entries there but removes none of the
    // user's, whatever their kind or name.
    void aGroupsFolderKeptElsewhereLosesOnlyWhatTheProgramMade_data()
    {
        QTest::addColumn<bool>("dataFolderLinked");
        QTest::newRow("groups folder linked") << false;
        QTest::newRow("data folder linked") << true;
    }
    void aGroupsFolderKeptElsewhereLosesOnlyWhatTheProgramMade()
    {
        QFETCH(bool, dataFolderLinked);
        const QString otherDisk = m_home + QStringLiteral("/OtherDisk");
        QDir(otherDisk).removeRecursively();
        const QString linked = dataFolderLinked ? appSupportDirectoryURL() : groupsDirectoryURL();
        const QString disk = otherDisk + u'/' + QFileInfo(linked).fileName();
        makeFolder(disk);
        makeFolder(QFileInfo(linked).absolutePath());
        QVERIFY(QFile::link(disk, linked));
        const auto unlink = qScopeGuard([&linked] { QFile::remove(linked); });
        const QString mail = makeFolder(m_home + QStringLiteral("/Applications/Mail.app"));
        const QString report = m_home + QStringLiteral("/Documents/Report.pdf");
        writeBytes(report, "%PDF-1.4\n");
        const QString notesURL = QStringLiteral("https://example.com/notes");
        auto manager = makeManager();
        const QString groups = QFileInfo(groupsDirectoryURL()).canonicalFilePath();
        QVERIFY(groups.startsWith(otherDisk));
        AppGroup work = manager->createGroup();
        work.name = QStringLiteral("Work");
        work.apps = {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), mail),
                     makeItem(QStringLiteral("url:") + notesURL, QStringLiteral("Notes"), notesURL)};
        manager->updateGroup(work);
        QVERIFY(syncAll(*manager));
        const QString workFolder = groups + QStringLiteral("/Work");
        QCOMPARE(QFileInfo(workFolder + QStringLiteral("/Mail.app")).symLinkTarget(), mail);
        QVERIFY(QFileInfo::exists(workFolder + QStringLiteral("/Notes.webloc")));

        // The user's: a file, a folder with a file in it, a web-link file of their own, and a file
        // under the name an item added below would take, and a link of theirs in place of the
        // program's.
        const QMap<QString, QByteArray> users{
            {QStringLiteral("Letter.txt"), "mine"},
            {QStringLiteral("Drafts/plan.txt"), "plan"},
            {QStringLiteral("Saved.webloc"), PropertyList::toXml(QVariantMap{{QStringLiteral("URL"), notesURL},
                                                                             {QStringLiteral("Title"), QStringLiteral("Notes")}})},
            {QStringLiteral("Report.pdf"), "my own report"},
        };
        for (auto entry = users.cbegin(); entry != users.cend(); ++entry)
            writeBytes(workFolder + u'/' + entry.key(), entry.value());
        QVERIFY(QFile::remove(workFolder + QStringLiteral("/Mail.app")));
        QVERIFY(QFile::link(m_home, workFolder + QStringLiteral("/Mail.app")));
        work.apps = {work.apps.at(0), makeItem(QStringLiteral("file:") + report, QStringLiteral("Report"), report)};
        work.iconStyle = AppGroup::IconStyle::Pelko;
        manager->updateGroup(work);
        QVERIFY(syncAll(*manager));

        for (auto entry = users.cbegin(); entry != users.cend(); ++entry)
            QVERIFY2(readBytes(workFolder + u'/' + entry.key()) == entry.value(), qPrintable(entry.key()));
        QCOMPARE(QFileInfo(workFolder + QStringLiteral("/Mail.app")).symLinkTarget(), m_home);
        QCOMPARE(QFileInfo(workFolder + QStringLiteral("/Mail 2.app")).symLinkTarget(), mail);
        QCOMPARE(QFileInfo(workFolder + QStringLiteral("/Report 2.pdf")).symLinkTarget(), report);
        QVERIFY(!MirrorFolders::entryExists(workFolder + QStringLiteral("/Notes.webloc")));
        QCOMPARE(QFileInfo(workFolder + QStringLiteral("/@Kestrowan")).symLinkTarget(), m_program);
        QCOMPARE(readBytes(workFolder + QStringLiteral("/.group_id")), ModelJson::uuidText(work.id).toUtf8());
        QVERIFY(iconFileShows(workFolder, work));
        QVERIFY(QFileInfo(linked).isSymLink());
        QVERIFY(manager->isGroupSyncedToDock(work));
    }

    // A first Sync All of many groups, each of applications with icon files of their own: the
    // pictures of the folders ahead are asked for a few folders a turn of the event loop, never all
    // of them in the turn that starts it, and every folder still gets its icon.
    void aFirstSyncAllAsksForItsPicturesAFewFoldersATurn()
    {
        auto manager = makeManager();
        const QString applications = makeFolder(m_home + QStringLiteral("/ahead"));
        constexpr int kGroups = 60;
        for (int g = 0; g < kGroups; ++g) {
            AppGroup group = manager->createGroup();
            group.name = QStringLiteral("Ahead %1").arg(g);
            for (int a = 0; a < 4; ++a) {
                const QString name = QStringLiteral("App%1x%2").arg(g).arg(a);
                QImage icon(48, 48, QImage::Format_ARGB32);
                icon.fill(QColor::fromHsv((g * 4 + a) % 360, 200, 220));
                const QString iconPath = applications + u'/' + name + QStringLiteral(".png");
                QVERIFY(icon.save(iconPath));
                const QString entry = applications + u'/' + name + QStringLiteral(".desktop");
                writeBytes(entry, QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/true\nIcon=%2\n")
                                      .arg(name, iconPath)
                                      .toUtf8());
                group.apps.append(makeItem(QStringLiteral("org.example.") + name, name, entry));
            }
            manager->updateGroup(group);
        }
        DecodedIcons *icons = DecodedIcons::shared();
        QVERIFY(icons);
        // The requests handed to the decoder, sampled every turn of the event loop.
        int last = icons->requestCount();
        const int first = last;
        int mostInATurn = 0;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            const int now = icons->requestCount();
            mostInATurn = std::max(mostInATurn, now - last);
            last = now;
        });
        sampler.start(0);
        QVERIFY(syncAll(*manager));
        sampler.stop();
        QVERIFY2(icons->requestCount() - first >= kGroups * 4, qPrintable(QString::number(icons->requestCount() - first)));
        QVERIFY2(mostInATurn <= 4 * 16, qPrintable(QStringLiteral("%1 requests in one turn").arg(mostInATurn)));
        for (const AppGroup &group : manager->groups())
            QVERIFY2(QFileInfo::exists(groupFolder(group.name) + QStringLiteral("/Icon\r")), qPrintable(group.name));
    }

    // A folder's record is written once in the sync that makes the folder, at most twice in one
    // that changes what it holds (the names before they are made, then what was made), never in
    // one that changes nothing; the groups folder's record not at all. Counted by the temporary
    // every record is written through.
    void eachFoldersRecordIsWrittenOnceWhereMadeAndAtMostTwiceWhereChanged()
    {
        auto manager = makeManager();
        const QString app = makeFolder(m_home + QStringLiteral("/Applications/Notes.app"));
        const QString report = m_home + QStringLiteral("/Documents/Report.txt");
        writeBytes(report, "report\n");
        constexpr int kGroups = 12;
        QList<AppGroup> groups;
        for (int n = 0; n < kGroups; ++n) {
            AppGroup group = manager->createGroup();
            group.name = QStringLiteral("Counted %1").arg(n);
            const QString link = QStringLiteral("https://example.com/%1").arg(n);
            group.apps = {makeItem(QStringLiteral("com.apple.notes"), QStringLiteral("Notes"), app),
                          makeItem(QStringLiteral("file:") + report, QStringLiteral("Report"), report),
                          makeItem(QStringLiteral("url:") + link, QStringLiteral("Release"), link)};
            manager->updateGroup(group);
            groups.append(group);
        }
        const QString records = QFileInfo(groupsDirectoryURL()).absolutePath() + QStringLiteral("/Made Entries");
        QMutex lock;
        QHash<QString, int> writes;
        SafeWrite::watchNamedTemporaries([&](const QString &path) {
            const QFileInfo info(path);
            if (QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(records) && info.fileName().endsWith(QStringLiteral(".new"))) {
                QMutexLocker locker(&lock);
                ++writes[info.fileName().mid(1).chopped(4)];
            }
        });
        const auto stopWatching = qScopeGuard([] { SafeWrite::watchNamedTemporaries({}); });
        const auto taken = [&] {
            QMutexLocker locker(&lock);
            return std::exchange(writes, {});
        };
        const auto recordOf = [](const QString &folder) {
            struct stat status {};
            return ::lstat(QFile::encodeName(folder).constData(), &status) == 0
                ? QStringLiteral("%1-%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino))
                : QString();
        };
        QVERIFY(syncAll(*manager));
        QHash<QString, int> expected;
        for (const AppGroup &group : std::as_const(groups))
            expected.insert(recordOf(groupFolder(group.name)), 1);
        QCOMPARE(taken(), expected);
        for (int round = 0; round < 4; ++round) {
            // Unchanged: nothing is written.
            QVERIFY(syncAll(*manager));
            QCOMPARE(taken(), (QHash<QString, int>{}));
            // One group's link changes (its file and its icon are replaced), and another gains an item.
            AppGroup changed = manager->groups().at(round);
            changed.apps.last().path = QStringLiteral("https://example.com/changed/%1").arg(round);
            manager->updateGroup(changed);
            AppGroup grown = manager->groups().at(kGroups - 1 - round);
            const QString link = QStringLiteral("https://example.com/grown/%1").arg(round);
            grown.apps.append(makeItem(QStringLiteral("url:") + link, QStringLiteral("Grown %1").arg(round), link));
            manager->updateGroup(grown);
            QVERIFY(syncAll(*manager));
            const QHash<QString, int> counted = taken();
            QCOMPARE(QSet<QString>(counted.keyBegin(), counted.keyEnd()),
                     (QSet<QString>{recordOf(groupFolder(changed.name)), recordOf(groupFolder(grown.name))}));
            for (auto it = counted.cbegin(); it != counted.cend(); ++it)
                QVERIFY2(it.value() <= 2, qPrintable(QStringLiteral("round %1: %2 writes").arg(round).arg(it.value())));
            QVERIFY(readBytes(groupFolder(changed.name) + QStringLiteral("/Release.webloc")).contains("changed"));
            QVERIFY(QFileInfo::exists(groupFolder(grown.name) + QStringLiteral("/Grown %1.webloc").arg(round)));
        }
    }

    // Syncs asked for in one turn (the editor's of one group while Sync All runs) build their
    // folders one after another: two groups of one name never share a folder, and no folder in the
    // making, without its identity yet, is swept as a leftover.
    void syncsAskedTogetherBuildTheirFoldersInTurn()
    {
        auto manager = makeManager();
        const QString app = makeFolder(m_home + QStringLiteral("/Applications/Notes.app"));
        QList<AppGroup> twins;
        for (int n = 0; n < 2; ++n) {
            AppGroup group = manager->createGroup();
            group.name = QStringLiteral("Twin");
            group.apps = {makeItem(QStringLiteral("com.apple.notes"), QStringLiteral("Notes"), app)};
            manager->updateGroup(group);
            twins.append(group);
        }
        int pending = 3;
        QList<bool> results;
        for (const AppGroup &group : std::as_const(twins)) {
            manager->syncGroupToDock(group, true, nullptr, [&](bool synced) {
                results.append(synced);
                --pending;
            });
        }
        manager->syncAllGroupsToDockWithResult(nullptr, [&](bool synced) {
            results.append(synced);
            --pending;
        });
        QTRY_COMPARE_WITH_TIMEOUT(pending, 0, 30000);
        QCOMPARE(results, (QList<bool>{true, true, true}));
        QSet<QString> folders;
        for (const AppGroup &group : std::as_const(twins)) {
            const std::optional<QUrl> found = manager->findMirrorFolder(group);
            QVERIFY(found);
            const QString folder = QDir::cleanPath(found->toLocalFile());
            folders.insert(folder);
            QCOMPARE(MirrorFolders::readGroupID(folder), ModelJson::uuidText(group.id));
            QVERIFY(QFileInfo(folder + QStringLiteral("/Notes.app")).isSymLink());
            QVERIFY(manager->isGroupSyncedToDock(group));
        }
        QCOMPARE(folders, (QSet<QString>{groupFolder(QStringLiteral("Twin")), groupFolder(QStringLiteral("Twin 2"))}));
    }

    void theHashIsFixedAndCoversExactlyItsParts()
    {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Work");
        group.apps = {AppItem{QUuid(), QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), QStringLiteral("/Applications/Mail.app")}};
        // The same in every run and process: a value recorded before a relaunch must still match.
        const QString base = GroupManager::dockSyncHash(group);
        QCOMPARE(base, QStringLiteral("-251755640966478276"));

        const auto hashAfter = [&group](const std::function<void(AppGroup &)> &change) {
            AppGroup changed = group;
            change(changed);
            return GroupManager::dockSyncHash(changed);
        };
        QCOMPARE(hashAfter([](AppGroup &g) { g.id = QUuid::createUuid(); g.apps[0] = AppItem{QUuid::createUuid(), g.apps[0].bundleIdentifier, QStringLiteral("M"), QStringLiteral("/M")}; }), base);
        const QList<std::function<void(AppGroup &)>> changes{
            [](AppGroup &g) { g.name += u' '; },
            [](AppGroup &g) { g.apps[0].bundleIdentifier.chop(1); },
            [](AppGroup &g) { g.apps.append(g.apps[0]); },
            [](AppGroup &g) { g.displayStyle = AppGroup::DisplayStyle::Fan; },
            [](AppGroup &g) { g.iconStyle = AppGroup::IconStyle::Pelko; },
            [](AppGroup &g) { g.skinId = QString(); },
            [](AppGroup &g) { g.customOpenerPath = QString(); },
            [](AppGroup &g) { g.openerRules = OpenerRules(); },
            [](AppGroup &g) { g.name.chop(1); g.skinId = QStringLiteral("k"); }, // values never run together
        };
        QSet<QString> hashes{base};
        for (const auto &change : changes)
            hashes.insert(hashAfter(change));
        QCOMPARE(hashes.size(), changes.size() + 1);

        // Opener maps hash the same whatever order their entries were made in.
        const auto rules = [&hashAfter](const QStringList &extensions) {
            return hashAfter([&extensions](AppGroup &g) {
                g.openerRules = OpenerRules();
                for (const QString &extension : extensions)
                    g.openerRules->byExtension.insert(extension, QStringLiteral("/Opener.app"));
            });
        };
        QCOMPARE(rules({QStringLiteral("pdf"), QStringLiteral("txt")}), rules({QStringLiteral("txt"), QStringLiteral("pdf")}));
    }

    void syncedStateFollowsContentFolderAndTile()
    {
        const QString app = makeFolder(m_home + QStringLiteral("/Applications/Notes.app"));
        auto manager = makeManager();
        AppGroup group = manager->createGroup();
        group.apps = {makeItem(QStringLiteral("com.apple.notes"), QStringLiteral("Notes"), app)};
        manager->updateGroup(group);
        QVERIFY(sync(*manager, group));
        QVERIFY(manager->isGroupSyncedToDock(group));

        // The tile taken out of the Dock by hand.
        QVERIFY(DockService::writePersistentOthers({}));
        QVERIFY(!manager->isGroupSyncedToDock(group));
        QVERIFY(sync(*manager, group));
        QVERIFY(manager->isGroupSyncedToDock(group));

        // A retired style syncs as shelf; the store keeps the group as it is and it still counts as synced.
        AppGroup glass = group;
        glass.iconStyle = AppGroup::IconStyle::Glass;
        glass.skinId = QStringLiteral("paper");
        manager->setGroups({glass});
        QVERIFY(sync(*manager, glass));
        QCOMPARE(manager->groups(), QList<AppGroup>{glass});
        QCOMPARE(recordedHash(glass), GroupManager::dockSyncHash(GroupManager::resettingRetiredIconStyle(glass)));
        QVERIFY(manager->isGroupSyncedToDock(glass));
        QCOMPARE(readBytes(groupFolder(glass.name + QStringLiteral("/Icon\r"))), iconBytes(GroupManager::resettingRetiredIconStyle(glass)));

        // The folder deleted by hand.
        manager->removeMirrorFolder(group);
        QVERIFY(!manager->isGroupSyncedToDock(group));
    }

    // What the checks keep between calls must follow the folders when someone else moves them.
    void syncedStateNoticesFoldersChangedBehindItsBack()
    {
        const QString app = makeFolder(m_home + QStringLiteral("/Applications/Notes.app"));
        auto manager = makeManager();
        AppGroup work = manager->createGroup();
        work.name = QStringLiteral("Work");
        work.apps = {makeItem(QStringLiteral("com.apple.notes"), QStringLiteral("Notes"), app)};
        manager->updateGroup(work);
        AppGroup play = manager->createGroup();
        play.name = QStringLiteral("Play");
        play.apps = work.apps;
        manager->updateGroup(play);
        QVERIFY(syncAll(*manager));
        const auto settled = [] {
            return FileStamp::of(groupsDirectoryURL()).settledAt(FileStamp::nowNanoseconds());
        };
        // Once the folder's times have settled, the answers come from what was kept.
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
        QVERIFY(manager->isGroupSyncedToDock(work));
        QVERIFY(manager->isGroupSyncedToDock(play));

        const QString workFolder = groupFolder(QStringLiteral("Work"));
        const QString moved = groupFolder(QStringLiteral("Moved"));
        QVERIFY(QDir().rename(workFolder, moved));
        QVERIFY(!manager->isGroupSyncedToDock(work));
        QCOMPARE(manager->findMirrorFolder(work)->toLocalFile(), moved + u'/');
        QVERIFY(manager->isGroupSyncedToDock(play));
        QVERIFY(QDir().rename(moved, workFolder));
        QVERIFY(manager->isGroupSyncedToDock(work));

        QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
        QVERIFY(manager->isGroupSyncedToDock(play));
        QVERIFY(QDir(groupFolder(QStringLiteral("Play"))).removeRecursively());
        QVERIFY(!manager->isGroupSyncedToDock(play));
        QVERIFY(manager->isGroupSyncedToDock(work));

        // Another folder claiming the group comes after Work in the listing: Work still owns it.
        // With Work's ".group_id" gone, the claimant is found, and its path has no tile.
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
        QVERIFY(manager->isGroupSyncedToDock(work));
        writeBytes(makeFolder(groupFolder(QStringLiteral("Zed"))) + QStringLiteral("/.group_id"), ModelJson::uuidText(work.id).toUtf8());
        QVERIFY(manager->isGroupSyncedToDock(work));
        QVERIFY(QFile::remove(workFolder + QStringLiteral("/.group_id")));
        QVERIFY(!manager->isGroupSyncedToDock(work));
        QCOMPARE(manager->findMirrorFolder(work)->toLocalFile(), groupFolder(QStringLiteral("Zed")) + u'/');
    }

    // A group whose folder cannot be built is neither written nor recorded as synced.
    void batchRecordsOnlyGroupsItWrote()
    {
        const QString app = makeFolder(m_home + QStringLiteral("/Applications/Mail.app"));
        auto manager = makeManager();
        QList<AppGroup> groups;
        for (const QString &name : {QStringLiteral("One"), QStringLiteral("Broken"), QStringLiteral("Three")}) {
            AppGroup group = manager->createGroup();
            group.name = name;
            group.apps = {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), app)};
            manager->updateGroup(group);
            groups.append(group);
        }
        manager->createGroup(); // empty: not part of the batch
        // ".group_id" is a folder, so it cannot be written.
        makeFolder(groupFolder(ModelJson::uuidText(groups[1].id) + QStringLiteral("/.group_id")));

        // Every card of the main window watches the record: the batch changes it once.
        int recordChanges = 0;
        QObject watcher;
        UserDefaults::standard().observe(GroupManager::syncedGroupHashesKey, &watcher, [&recordChanges] { ++recordChanges; });
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to prepare group 'Broken' for dock: ")));
        QVERIFY(syncAll(*manager));
        QCOMPARE(recordChanges, 1);
        QCOMPARE(persistentOthers(), (QVariantList{expectedTile(groupFolder(QStringLiteral("Three")), QStringLiteral("Three"), 2),
                                                   expectedTile(groupFolder(QStringLiteral("One")), QStringLiteral("One"), 2)}));
        QCOMPARE(dockRestarts(), 1);
        QVERIFY(!recordedHash(groups[0]).isEmpty());
        QVERIFY(recordedHash(groups[1]).isEmpty());
        QVERIFY(!recordedHash(groups[2]).isEmpty());
        QCOMPARE(UserDefaults::standard().stringMap(GroupManager::syncedGroupHashesKey).size(), 2);
    }

    // After a Sync All the folders that deleted groups left behind go, hundreds of them read a few
    // hundred a turn: the window is drawn between the slices, and every orphan still goes while the
    // groups' own folders stay.
    void syncAllSweepsLeftBehindFoldersASliceATurn()
    {
        auto manager = makeManager();
        workAndPlay(*manager);
        constexpr int kOrphans = 900;
        const auto orphan = [this](int i) { return groupFolder(QStringLiteral("Gone%1").arg(i, 3, 10, QLatin1Char('0'))); };
        for (int i = 0; i < kOrphans; ++i) {
            makeFolder(orphan(i));
            writeBytes(orphan(i) + QStringLiteral("/.group_id"), ModelJson::uuidText(QUuid::createUuid()).toUtf8());
            recordAsMade(orphan(i), {".group_id"});
        }
        // Looked at on every turn of the event loop while the sync runs: the first orphan gone while
        // the last still stands means the sweep let the loop turn between them.
        bool sawHalfway = false;
        QTimer turns;
        connect(&turns, &QTimer::timeout, this, [&] {
            sawHalfway = sawHalfway || (!QFileInfo::exists(orphan(0)) && QFileInfo::exists(orphan(kOrphans - 1)));
        });
        turns.start(0);
        QVERIFY(syncAll(*manager));
        turns.stop();
        QVERIFY(sawHalfway);
        const QStringList left = QDir(groupsDirectoryURL()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        QCOMPARE(left, (QStringList{QStringLiteral("Play"), QStringLiteral("Work")}));
        QCOMPARE(persistentOthers().size(), 2);
    }

    void refusalsAndUnusableRecordsCountAsUnsynced()
    {
        auto manager = makeManager();
        const AppGroup a = manager->createGroup();
        QVERIFY(sync(*manager, a));
        QVERIFY(manager->isGroupSyncedToDock(a));
        QVariantMap record = UserDefaults::standard().value(GroupManager::syncedGroupHashesKey).toMap();
        record.insert(QStringLiteral("stray"), qint64(7));
        UserDefaults::standard().setValue(GroupManager::syncedGroupHashesKey, record);
        QVERIFY(!manager->isGroupSyncedToDock(a));

        // Blocked: the folder is rebuilt, but no tile and no record are written.
        AppGroup b = manager->createGroup();
        b.name = QStringLiteral("Second");
        // The system refuses the program's changes of the Dock's list.
        std::optional<RefusedDockWrites> refused(std::in_place);
        QVERIFY(!sync(*manager, b));
        QVERIFY(QFileInfo::exists(groupFolder(QStringLiteral("Second/.group_id"))));
        QCOMPARE(persistentOthers().size(), 1);
        QVERIFY(recordedHash(b).isEmpty());
        refused.reset();
        DockService::clearSyncBlock();

        manager->recordSyncedHash(a); // replaces the unusable record whole
        QCOMPARE(UserDefaults::standard().stringMap(GroupManager::syncedGroupHashesKey).keys(), QStringList{ModelJson::uuidText(a.id)});
    }

    // What a power cut in the middle of a sync leaves: files written without a sync each may come
    // back empty. Nothing that vouches for them may come before them, and nothing may be swept for it.
    void aPowerCutNeverLeavesAVoucherWithoutItsFolder()
    {
        auto flush = std::make_unique<FakeDiskFlush>();
        FakeDiskFlush *disk = flush.get();
        DiskFlush::install(std::move(flush));
        auto manager = makeManager();
        const QList<AppGroup> groups = workAndPlay(*manager);

        // Until the disk has the folders, neither the Dock item nor the record is written: a single
        // sync and a batch alike, each with one flush.
        for (bool batch : {false, true}) {
            QVERIFY(DockService::writePersistentOthers({}));
            UserDefaults::standard().remove(GroupManager::syncedGroupHashesKey);
            disk->holds = true;
            disk->folders.clear();
            bool done = false;
            if (batch)
                manager->syncAllGroupsToDock(nullptr, [&done] { done = true; });
            else
                manager->syncGroupToDock(groups[0], true, nullptr, [&done](bool) { done = true; });
            QTRY_COMPARE_WITH_TIMEOUT(disk->held.size(), 1, 20000);
            QVERIFY(QFileInfo::exists(groupFolder(QStringLiteral("Work/.group_id"))));
            QVERIFY(persistentOthers().isEmpty());
            QVERIFY(recordedHash(groups[0]).isEmpty());
            QVERIFY(!done);
            QCOMPARE(disk->folders, QStringList{groupsDirectoryURL()});
            disk->finishHeld();
            QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
            QCOMPARE(persistentOthers().size(), batch ? 2 : 1);
            QVERIFY(manager->isGroupSyncedToDock(groups[0]));
        }

        // A disk that does not take the files: no item, no record, the sync fails and says why.
        QVERIFY(DockService::writePersistentOthers({}));
        UserDefaults::standard().remove(GroupManager::syncedGroupHashesKey);
        disk->failure = QStringLiteral("Input/output error");
        QTest::ignoreMessage(QtCriticalMsg, "Failed to sync group 'Work' to dock: its folder did not reach the disk: Input/output error");
        QVERIFY(!sync(*manager, groups[0]));
        QTest::ignoreMessage(QtCriticalMsg, "Failed to sync groups to dock: their folders did not reach the disk: Input/output error");
        QCOMPARE(awaitCompletion<bool>([&](std::function<void(bool)> done) { manager->syncAllGroupsToDockWithResult(nullptr, done); }),
                 std::optional<bool>(false));
        QVERIFY(persistentOthers().isEmpty());
        QVERIFY(recordedHash(groups[0]).isEmpty());
        DiskFlush::install(nullptr);
    }

    // Files a power cut emptied: an empty icon is no synced group (the Dock draws a plain folder),
    // and a folder whose ".group_id" came back empty keeps its folder and its Dock item at the next
    // start.
    void filesAPowerCutEmptiedAreNeitherTrustedNorSwept()
    {
        auto manager = makeManager();
        const QList<AppGroup> groups = workAndPlay(*manager);
        QVERIFY(syncAll(*manager));
        QVERIFY(manager->isGroupSyncedToDock(groups[0]));
        const QString workFolder = groupFolder(QStringLiteral("Work"));
        for (const QString &name : {QStringLiteral("Icon\r"), QStringLiteral(".group_id")}) {
            const int handle = ::open(QFile::encodeName(workFolder + u'/' + name).constData(), O_WRONLY | O_TRUNC);
            QVERIFY(handle >= 0);
            ::close(handle);
            if (name.startsWith(u'I'))
                QVERIFY(!manager->isGroupSyncedToDock(groups[0]));
        }
        const QMap<QString, EntrySnapshot> before = snapshotFolder(workFolder);
        manager.reset();
        auto restarted = makeManager();
        restarted->removeOrphanedGroupFolders();
        QCOMPARE(snapshotFolder(workFolder), before);
        QVERIFY(DockService::isFolderInDock(QUrl::fromLocalFile(workFolder)));
        QCOMPARE(persistentOthers().size(), 2);
    }
};

KESTROWAN_TEST_MAIN(TestDockSync)
#include "tst_docksync.moc"
