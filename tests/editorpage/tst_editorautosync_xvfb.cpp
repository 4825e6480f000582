// The automatic sync end to end beside the stand-in Dock: an edit of a synced group shows the
// countdown, and three seconds later the group's tile carries the new name.
#include "Kestrowan/dock/DockItemInfo.h"
#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/editor/DockStatusChip.h"
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/ProcessRunner.h"
#include "Platform/UserDefaults.h"
#include "Kestrowan/groups/DockService.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>

namespace {

QStringList tileTitles()
{
    QStringList titles;
    for (const DockItemInfo &item : DockPositionResolver::readDockItems())
        titles.append(item.title);
    return titles;
}

QStringList tileLabels()
{
    QStringList labels;
    for (const DockService::Tile &tile : DockService::readPersistentOthers())
        labels.append(tile.value(QStringLiteral("tile-data")).toMap().value(QStringLiteral("file-label")).toString());
    return labels;
}

// The Dock restarts the program asks for, carried out on this test's stand-in Dock alone.
class SessionDockRestarts final : public ProcessRunner {
public:
    explicit SessionDockRestarts(StandinDockSession &dock) : m_dock(dock) {}
    int restarts = 0;

    void run(const QString &executable, const QStringList &, bool, Completion completion) override
    {
        ProcessResult result;
        if (executable == QLatin1String("/bin/launchctl")) {
            ++restarts;
            result.terminationStatus = m_dock.restart() > 0 ? 0 : 1;
        }
        QTimer::singleShot(0, [completion, result] { completion(result); });
    }

private:
    StandinDockSession &m_dock;
};

// Qt's accessibility bridge asks for a session bus as the application starts; with none named,
// libdbus would launch one of its own. Name one that is not there, so the ask fails at once.
const bool noSessionBus = [] {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrowan-test-bus");
    return true;
}();

} // namespace

class TestEditorAutoSyncXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;

private slots:
    void initTestCase()
    {
        useSourceResources();
        ProcessRunner::install(std::make_unique<SessionDockRestarts>(m_dock));
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_dock.makeApplication(QStringLiteral("Alpha"))}, {});
        QVERIFY(m_dock.start() > 0);
    }

    void editingASyncedGroupRewritesItsTileAfterTheCountdown()
    {
        GroupManager store;
        store.ensureStorageDirectories();
        store.loadGroups();
        AppGroup group = store.createGroup();
        group.name = QStringLiteral("Work");
        group.apps = {fileItem(m_dock.makeFolder(QStringLiteral("Documents/Plans")), QStringLiteral("Plans"))};
        store.updateGroup(group);
        bool synced = false;
        store.syncGroupToDock(group, true, nullptr, [&synced](bool ok) { synced = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(synced, 20000);
        QTRY_VERIFY2_WITH_TIMEOUT(tileTitles().contains(QStringLiteral("Work")), qPrintable(tileTitles().join(u'|')), 20000);

        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
        UserDefaults::standard().setValue(EditorSyncController::autoRefreshDockLabelKey, true);
        GroupEditorServices services;
        services.groupManager = &store;
        GroupEditorPage page(services, group, false, [] {});
        page.resize(620, 540);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.statusChip()->text(), localized(QStringLiteral("editor.dockUpToDate")));
        QVERIFY(!page.syncBar()->isVisible());

        QSignalSpy finished(page.syncController(), &EditorSyncController::syncFinished);
        QElapsedTimer clock;
        clock.start();
        page.nameField()->setFocus();
        QTest::keyClick(page.nameField(), Qt::Key_End);
        QTest::keyClicks(page.nameField(), QStringLiteral(" 2"));
        QVERIFY(page.syncBar()->isVisible());
        QCOMPARE(page.syncBar()->chip()->text(), QStringLiteral("3s"));
        QTRY_COMPARE_WITH_TIMEOUT(page.syncBar()->chip()->text(), QStringLiteral("2s"), 20000);
        QVERIFY(finished.wait(20000));
        QVERIFY(finished.first().first().toBool());
        // The third tick of a second each, counted from the last keystroke.
        QVERIFY2(clock.elapsed() >= 2900, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(page.statusChip()->text(), localized(QStringLiteral("editor.synced")));
        QVERIFY(store.isGroupSyncedToDock(page.draft()->draft()));
        // The tile in the Dock's list carries the new name, and the Dock shows it once it reads
        // its list again.
        QCOMPARE(tileLabels(), QStringList{QStringLiteral("Work 2")});
        QVERIFY(m_dock.restart() > 0);
        QTRY_VERIFY2_WITH_TIMEOUT(tileTitles().contains(QStringLiteral("Work 2")), qPrintable(tileTitles().join(u'|')), 20000);
        QVERIFY(!tileTitles().contains(QStringLiteral("Work")));
    }
};

KESTROWAN_TEST_MAIN(TestEditorAutoSyncXvfb)
#include "tst_editorautosync_xvfb.moc"
