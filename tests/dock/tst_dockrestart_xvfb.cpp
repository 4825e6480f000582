// Dock restarts and tiles left behind, end to end: the program's own restart and store against the
// stand-in Dock under its keeper on a real X server.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/groups/AsyncProcess.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Platform/Accessibility.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>

#include <thread>

namespace {

// Generous: a sanitizer build on a busy machine restarts the Dock slowly.
constexpr int timeout = 120000;

QStringList tileTitles()
{
    QStringList titles;
    for (const DockItemInfo &item : DockPositionResolver::readDockItems())
        titles.append(item.title);
    return titles;
}

AppItem folderItem(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
}

// Asked from a thread that may wait for the Dock's answer; the main thread reads its copy of the
// Dock's tree, which follows a new Dock a moment after it answers.
qint64 runningDock()
{
    std::optional<qint64> pid;
    std::thread([&pid] { pid = Accessibility::shared().dockProcessIdentifier(); }).join();
    return pid.value_or(0);
}

} // namespace

class TestDockRestartXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;
    FakeProcessRunner *m_runner = nullptr;

    AppGroup addGroup(GroupManager &store, const QString &name)
    {
        AppGroup group = store.createGroup();
        group.name = name;
        group.apps = {folderItem(m_dock.makeFolder(QStringLiteral("Documents/") + name))};
        store.updateGroup(group);
        return group;
    }

    bool sync(GroupManager &store, const AppGroup &group)
    {
        std::optional<bool> synced;
        store.syncGroupToDock(group, true, nullptr, [&synced](bool ok) { synced = ok; });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(synced.has_value(), timeout); }();
        return synced.value_or(false);
    }

    void remove(GroupManager &store, const AppGroup &group)
    {
        bool done = false;
        store.deleteGroup(group, false, [&done] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, timeout);
    }

private slots:
    void initTestCase()
    {
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_dock.makeApplication(QStringLiteral("Alpha"))}, {});
        QVERIFY(m_dock.start() > 0);
        // Tools the mirror folders run succeed; anything else (a service manager, a script runner, a
        // process killer) would be written down here.
        m_runner = new FakeProcessRunner;
        for (const char *tool : {"/usr/bin/touch", "/usr/bin/chflags"})
            m_runner->results.insert(QString::fromLatin1(tool), ProcessResult{0, std::nullopt});
        ProcessRunner::install(std::unique_ptr<ProcessRunner>(m_runner));
    }

    void twoRestartsInARowReachOnlyThisSessionsDock()
    {
        const qint64 before = runningDock();
        QVERIFY(before > 0);
        std::optional<bool> first, second;
        qint64 afterFirst = 0, afterSecond = 0;
        bool secondWaitedForFirst = false;
        // A rename's restart and then a delete's, asked for at once: the second waits for the first.
        restartDock([&](bool restarted) {
            first = restarted;
            afterFirst = runningDock();
        });
        restartDock([&](bool restarted) {
            secondWaitedForFirst = first.has_value();
            second = restarted;
            afterSecond = runningDock();
        });
        QTRY_VERIFY_WITH_TIMEOUT(first.has_value() && second.has_value(), timeout);
        QVERIFY(*first);
        QVERIFY(*second);
        QVERIFY(secondWaitedForFirst);
        // Each completion came once a new Dock answered.
        QVERIFY(afterFirst > 0 && afterFirst != before);
        QVERIFY(afterSecond > 0 && afterSecond != afterFirst);
        QVERIFY2(m_runner->invocations.isEmpty(), qPrintable(m_runner->executables().join(u' ')));
    }

    void aTileThatCouldNotBeRemovedGoesAtTheNextSyncOrStart()
    {
        auto store = startedManager(writeProgramStandIn(m_dock.home));
        const AppGroup work = addGroup(*store, QStringLiteral("Work"));
        const AppGroup play = addGroup(*store, QStringLiteral("Play"));
        const AppGroup rest = addGroup(*store, QStringLiteral("Rest"));
        QVERIFY(sync(*store, work));
        QVERIFY(sync(*store, play));
        QVERIFY(sync(*store, rest));
        QTRY_VERIFY2_WITH_TIMEOUT(tileTitles().contains(QStringLiteral("Work")) && tileTitles().contains(QStringLiteral("Rest")),
                                  qPrintable(tileTitles().join(u'|')), timeout);
        const QUrl workFolder = store->findMirrorFolder(work).value_or(QUrl());
        const QUrl restFolder = store->findMirrorFolder(rest).value_or(QUrl());
        QVERIFY(!workFolder.isEmpty() && !restFolder.isEmpty());

        // The Dock refused a change earlier: deleting now cannot take the tile out.
        QSignalSpy leftBehind(store.get(), &GroupManager::dockTilesLeftBehind);
        // The system refuses the program's changes of the Dock's list.
        std::optional<RefusedDockWrites> refused(std::in_place);
        remove(*store, work);
        QCOMPARE(leftBehind.count(), 1);
        QVERIFY(DockService::isFolderInDock(workFolder));
        QVERIFY(QFileInfo::exists(workFolder.toLocalFile()));

        // The user's next sync goes through, and takes the dead tile and its folder with it.
        refused.reset();
        DockService::clearSyncBlock();
        QVERIFY(sync(*store, play));
        QTRY_VERIFY_WITH_TIMEOUT(!DockService::isFolderInDock(workFolder), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(workFolder.toLocalFile()), timeout);
        QTRY_VERIFY2_WITH_TIMEOUT(!tileTitles().contains(QStringLiteral("Work")) && tileTitles().contains(QStringLiteral("Play")),
                                  qPrintable(tileTitles().join(u'|')), timeout);

        // Left behind again, then a start of the program removes it.
        refused.emplace();
        remove(*store, rest);
        QCOMPARE(leftBehind.count(), 2);
        QVERIFY(DockService::isFolderInDock(restFolder));
        store.reset();
        refused.reset();
        DockService::clearSyncBlock();
        auto started = startedManager(writeProgramStandIn(m_dock.home));
        started->removeOrphanedGroupFolders();
        QTRY_VERIFY_WITH_TIMEOUT(!DockService::isFolderInDock(restFolder), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(restFolder.toLocalFile()), timeout);
        QTRY_VERIFY2_WITH_TIMEOUT(!tileTitles().contains(QStringLiteral("Rest")) && tileTitles().contains(QStringLiteral("Play")),
                                  qPrintable(tileTitles().join(u'|')), timeout);
        for (const QString &tool : m_runner->executables())
            QVERIFY2(tool == QStringLiteral("/usr/bin/touch") || tool == QStringLiteral("/usr/bin/chflags"), qPrintable(tool));
    }

    void aDockFileOfTooManyKeysIsLeftAsItIs()
    {
        // Far under the size limit, but every rewrite of a tree this large would take seconds: the
        // program leaves the file alone as soon as it reads it, as it does one it cannot read, and
        // the sync says it failed; it does not tell the user that the system blocks its writes.
        const QByteArray huge = HostileFiles::xmlDockFileOfManyKeys(130000);
        writeBytes(m_dock.preferences, huge);
        auto store = startedManager(writeProgramStandIn(m_dock.home));
        const AppGroup group = addGroup(*store, QStringLiteral("Heavy"));
        DockService::clearSyncBlock();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused a XML property list .*more than 250000 values")));
        QVERIFY(!sync(*store, group));
        QVERIFY(readBytes(m_dock.preferences) == huge);
        QVERIFY(!DockService::syncBlocked());
        store.reset();
        DockService::clearSyncBlock();
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_dock.makeApplication(QStringLiteral("Alpha"))}, {});
    }
};

KESTROWAN_TEST_MAIN(TestDockRestartXvfb)

#include "tst_dockrestart_xvfb.moc"
