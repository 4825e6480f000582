// The main window's edits of the store: quick add with its duplicate rules, picker commits and
// deletion bound to a group's id, every edit saved, and sync all with its outcome.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/MainWindowActions.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/support/FullDisk.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>

#include <cerrno>

namespace {

QStringList paths(const AppGroup &group)
{
    QStringList list;
    for (const AppItem &item : group.apps)
        list.append(item.path);
    return list;
}

QUrl fileURL(const QString &path) { return QUrl::fromLocalFile(path); }

} // namespace

class TestWindowActions : public QObject {
    Q_OBJECT

private:
    QString m_home;
    QString m_program;
    FakeProcessRunner *m_runner = nullptr;

    AppGroup storedGroup(GroupManager &store, const QString &name, const QList<AppItem> &apps = {})
    {
        AppGroup group = store.createGroup();
        group.name = name;
        group.apps = apps;
        store.updateGroup(group);
        return group;
    }

    QString file(const QString &relative)
    {
        const QString path = m_home + u'/' + relative;
        writeBytes(path, "x");
        return path;
    }

    std::pair<bool, QString> syncAll(MainWindowActions &actions)
    {
        QSignalSpy finished(&actions, &MainWindowActions::syncAllFinished);
        actions.syncAll();
        if (!finished.wait(20000))
            return {false, QStringLiteral("never finished")};
        return {finished.first().at(0).toBool(), finished.first().at(1).toString()};
    }

private slots:
    void initTestCase()
    {
        m_home = qEnvironmentVariable("HOME");
        m_program = m_home + QStringLiteral("/Applications/Kestrowan");
        writeBytes(m_program, "#!/bin/sh\n");
    }

    void init()
    {
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(DockPreferencesFile::filePath());
        UserDefaults::standard().remove(GroupManager::syncedGroupHashesKey);
        DockService::clearSyncBlock();
        m_runner = installSucceedingProcessRunner();
    }

    void quickAddDropsDuplicatesByPathAndByIdentifier()
    {
        auto store = startedManager(m_program);
        const QString report = file(QStringLiteral("Documents/Report.pdf"));
        const QString notes = file(QStringLiteral("Documents/Notes.txt"));
        const QString plan = file(QStringLiteral("Documents/Plan.txt"));
        const QString mail = makeFolder(m_home + QStringLiteral("/Applications/Mail.app"));
        const QString mailCopy = makeFolder(m_home + QStringLiteral("/Backup/Mail.app"));
        for (const QString &bundle : {mail, mailCopy})
            writeBytes(bundle + QStringLiteral("/Contents/Info.plist"),
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
                       "<string>com.mail</string></dict></plist>");
        const AppGroup work = storedGroup(*store, QStringLiteral("Work"), {makeItem(QStringLiteral("file:") + report, QStringLiteral("Report"), report)});
        MainWindowActions actions(*store, nullptr);

        // Three chosen files, one already in the group: the other two go to the end in order.
        QCOMPARE(actions.addURLsToGroup({fileURL(notes), fileURL(report), fileURL(plan)}, work.id), 2);
        QCOMPARE(paths(*actions.group(work.id)), QStringList({report, notes, plan}));
        // A link to a file already held leads to the same item.
        QVERIFY(QFile::link(notes, m_home + QStringLiteral("/NotesLink.txt")));
        QVERIFY(!actions.addURLToGroup(fileURL(m_home + QStringLiteral("/NotesLink.txt")), work.id));
        // A second copy of an application has another path and the same identifier.
        QVERIFY(actions.addURLToGroup(fileURL(mail), work.id));
        QVERIFY(!actions.addURLToGroup(fileURL(mailCopy), work.id));
        // One panel choosing the same target twice adds it once.
        const QString extra = file(QStringLiteral("Documents/Extra.txt"));
        QCOMPARE(actions.addURLsToGroup({fileURL(extra), fileURL(extra)}, work.id), 1);
        QVERIFY(actions.addURLToGroup(QUrl(QStringLiteral("https://example.com/a")), work.id));
        QVERIFY(!actions.addURLToGroup(QUrl(QStringLiteral("https://example.com/a")), work.id));
        QVERIFY(!actions.addURLToGroup(QUrl(QStringLiteral("javascript:alert(1)")), work.id));
        QCOMPARE(actions.group(work.id)->apps.size(), 6);

        // Saved at once: a new run reads the same list.
        const QList<AppItem> expected = actions.group(work.id)->apps;
        store.reset();
        auto relaunched = startedManager(m_program);
        QCOMPARE(relaunched->groups().size(), 1);
        QCOMPARE(relaunched->groups().first().apps, expected);
    }

    void editsAreBoundToTheGroupTheyWereMadeFor()
    {
        auto store = startedManager(m_program);
        const AppGroup first = storedGroup(*store, QStringLiteral("First"));
        const AppGroup second = storedGroup(*store, QStringLiteral("Second"));
        MainWindowActions actions(*store, nullptr);
        const QString report = file(QStringLiteral("Report.pdf"));

        // The first group goes while its picker is open; the second now sits where it stood.
        actions.deleteGroup(first.id);
        QTRY_COMPARE_WITH_TIMEOUT(store->groups().size(), 1, 20000);
        const QList<AppItem> picked{makeItem(QStringLiteral("com.mail"), QStringLiteral("Mail"), QStringLiteral("/Applications/Mail.app"))};
        QVERIFY(!actions.replaceGroupApps(first.id, picked));
        QVERIFY(!actions.addURLToGroup(fileURL(report), first.id));
        QCOMPARE(store->groups().first().id, second.id);
        QVERIFY(store->groups().first().apps.isEmpty());
        actions.deleteGroup(first.id);

        // A commit replaces the whole list and is saved.
        QVERIFY(actions.replaceGroupApps(second.id, picked));
        store.reset();
        auto relaunched = startedManager(m_program);
        QCOMPARE(relaunched->groups().size(), 1);
        QCOMPARE(relaunched->groups().first().apps, picked);
    }

    void syncAllReportsItsOutcome()
    {
        auto store = startedManager(m_program);
        MainWindowActions actions(*store, nullptr);
        // Nothing to place is a success.
        QCOMPARE(syncAll(actions), std::make_pair(true, QString()));

        const QString projects = makeFolder(m_home + QStringLiteral("/Projects"));
        const QString music = makeFolder(m_home + QStringLiteral("/Music"));
        const AppGroup work = storedGroup(*store, QStringLiteral("Work"), {makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects)});
        const AppGroup play = storedGroup(*store, QStringLiteral("Play"), {makeItem(QStringLiteral("file:") + music, QStringLiteral("Music"), music)});
        QCOMPARE(syncAll(actions), std::make_pair(true, QString()));
        QCOMPARE(persistentOthers().size(), 2);
        QVERIFY(store->isGroupSyncedToDock(work));
        QVERIFY(store->isGroupSyncedToDock(play));

        // A blocked Dock: no mark, an error to show.
        AppGroup changed = work;
        changed.name = QStringLiteral("Work 2");
        store->updateGroup(changed);
        // The system refuses the program's changes of the Dock's list.
        std::optional<RefusedDockWrites> refused(std::in_place);
        QCOMPARE(syncAll(actions), std::make_pair(false, localized(QStringLiteral("main.syncAllBlocked"))));
        QVERIFY(!store->isGroupSyncedToDock(changed));

        // Folders that cannot be built: the run fails, with its own message.
        refused.reset();
        DockService::clearSyncBlock();
        QVERIFY(QDir(groupsDirectoryURL()).removeRecursively());
        writeBytes(groupsDirectoryURL(), "not a folder");
        QCOMPARE(syncAll(actions), std::make_pair(false, localized(QStringLiteral("main.syncAllFailed"))));
    }

    // A copy (a dropped item kept aside, a damaged file's backup) that meets a full disk says so, in
    // English, whatever the interface's language.
    void aCopyThatMeetsAFullDiskSaysSo()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("es"));
        const QString source = m_home + QStringLiteral("/Downloads/big.bin");
        writeBytes(source, QByteArray(64 * 1024, 'b'));
        for (const SafeWrite::Durability durability : {SafeWrite::Durability::Disk, SafeWrite::Durability::Rebuilt}) {
            FullDisk full(1000);
            QVERIFY(full.active());
            int error = 0;
            QCOMPARE(SafeWrite::copyFile(source, m_home + QStringLiteral("/copy.bin"), SafeWrite::Existing::Refuse, durability, {}, &error),
                     std::optional<QString>(QStringLiteral("File too large")));
            QCOMPARE(error, EFBIG);
            QVERIFY(!QFileInfo::exists(m_home + QStringLiteral("/copy.bin")));
        }
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("system"));
    }

    // A full disk is told as one, never as a Dock that refused the change; the log gives the system's
    // reason, in English, whatever language the interface was switched to.
    void aFullDiskIsToldForWhatItIs()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("es"));
        auto store = startedManager(m_program);
        const QString projects = makeFolder(m_home + QStringLiteral("/Projects"));
        storedGroup(*store, QStringLiteral("Work"), {makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects)});
        MainWindowActions actions(*store, nullptr);
        QCOMPARE(syncAll(actions), std::make_pair(true, QString()));
        // New groups, each a tile more in the Dock's list.
        for (const QString &name : {QStringLiteral("Play"), QStringLiteral("Read"), QStringLiteral("Plan"), QStringLiteral("Home")})
            storedGroup(*store, name, {makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects)});
        store->waitUntilSaved();
        const QByteArray dockBefore = readBytes(DockPreferencesFile::filePath());
        // The records of what the program made in the folders, each about one folder's size, still
        // fit: only the Dock's list, grown by four items, does not.
        qint64 largestRecord = 0;
        for (const QFileInfo &record : QDir(appSupportDirectoryURL() + QStringLiteral("/Made Entries")).entryInfoList(QDir::Files | QDir::Hidden))
            largestRecord = std::max(largestRecord, record.size() + 64);
        {
            FullDisk full(rlim_t(std::max(qint64(dockBefore.size()), largestRecord)));
            QVERIFY(full.active());
            LogCapture log;
            QCOMPARE(syncAll(actions), std::make_pair(false, localized(QStringLiteral("main.syncAllNoRoom"))));
            QCOMPARE(log.count(QStringLiteral("^Failed to update Dock items: File too large$")), 1);
            QCOMPARE(log.count(QStringLiteral("Privacy")), 0);
            QVERIFY(!DockService::syncBlocked());

        }
        QCOMPARE(readBytes(DockPreferencesFile::filePath()), dockBefore);
        QCOMPARE(syncAll(actions), std::make_pair(true, QString()));

        // A groups file that does not parse is logged with the same words in either language.
        store.reset();
        writeBytes(appSupportDirectoryURL() + QStringLiteral("/groups.json"), "[{\"id\": ");
        QStringList reasons;
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("es")}) {
            LanguageManager::shared().setCurrentLanguage(language);
            LogCapture log;
            startedManager(m_program);
            QCOMPARE(log.count(QStringLiteral("^Failed to load groups: ")), 1);
            reasons.append(log.lines().filter(QRegularExpression(QStringLiteral("^Failed to load groups: "))).first());
        }
        QCOMPARE(reasons.first(), reasons.last());
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("system"));
    }
};

KESTROWAN_TEST_MAIN(TestWindowActions)
#include "tst_windowactions.moc"
