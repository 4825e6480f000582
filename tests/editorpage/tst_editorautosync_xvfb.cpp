// The automatic sync end to end beside the stand-in Dock: an edit of a synced group shows the
// countdown, and three seconds later the group's tile carries the new name.
#include "Kestrowan/dock/DockItemInfo.h"
#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/editor/DockStatusChip.h"
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/EditorActionButton.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemCell.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/ReorderTile.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorHeaderRow.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "Platform/UserDefaults.h"
#include "Kestrowan/groups/DockService.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/app/X11Windows.h"
#include "tests/standin/XTestPointer.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenu>
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

} // namespace

class TestEditorAutoSyncXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;

    // A stored group of two folders and its page on the screen at a known place.
    struct TwoFolders {
        GroupManager store;
        AppGroup group;
        std::unique_ptr<GroupEditorPage> page;
    };
    std::unique_ptr<TwoFolders> showTwoFolders(const QString &name, const QString &first, const QString &second)
    {
        auto shown = std::make_unique<TwoFolders>();
        shown->store.ensureStorageDirectories();
        shown->store.loadGroups();
        shown->group = shown->store.createGroup();
        shown->group.name = name;
        shown->group.apps = {fileItem(m_dock.makeFolder(QStringLiteral("Documents/") + first), first),
                             fileItem(m_dock.makeFolder(QStringLiteral("Documents/") + second), second)};
        shown->store.updateGroup(shown->group);
        GroupEditorServices services;
        services.groupManager = &shown->store;
        shown->page = std::make_unique<GroupEditorPage>(services, shown->group, false, [] {});
        shown->page->setGeometry(200, 100, 620, 540);
        shown->page->show();
        if (!QTest::qWaitForWindowExposed(shown->page.get()))
            return nullptr;
        return shown;
    }

private slots:
    void initTestCase()
    {
        useSourceResources();
        // The Dock restarts the program asks for are answered as done; the test restarts its
        // stand-in Dock itself where it wants the Dock to read its list again.
        DockRestarter::install(std::make_unique<FakeDockRestarter>());
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
        QCOMPARE(tileLabels(), QStringList{QStringLiteral("Work")});
        QVERIFY(m_dock.restart() > 0);
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

    // The platform's own drag: press on a cell, pull it over the other item's tile, let go.
    void reorderWithTheRealPointer()
    {
        XTestPointer pointer;
        QVERIFY(pointer.isValid());
        const std::unique_ptr<TwoFolders> shown = showTwoFolders(QStringLiteral("Pair"), QStringLiteral("One"), QStringLiteral("Two"));
        QVERIFY(shown);
        GroupManager &store = shown->store;
        const AppGroup &group = shown->group;
        GroupEditorPage &page = *shown->page;
        EditorItemSection *section = page.itemSection();
        QTRY_VERIFY_WITH_TIMEOUT(section->cells().size() == 2 && section->cells().at(0)->isVisible(), 20000);
        const QPoint start = section->cells().at(0)->mapToGlobal(section->cells().at(0)->rect().center());

        // Each step waits for what the previous one caused; the steps run inside the drag's own loop.
        int step = 0;
        QTimer driver;
        driver.setInterval(40);
        connect(&driver, &QTimer::timeout, this, [&] {
            switch (step) {
            case 0:
                pointer.move(start);
                pointer.press();
                for (int i = 1; i <= 4; ++i)
                    pointer.move(start + QPoint(i * 5, 0));
                step = 1;
                break;
            case 1:
                if (section->tiles().size() == 2 && section->tiles().at(1)->isVisible()) {
                    const QPoint target = section->tiles().at(1)->mapToGlobal(section->tiles().at(1)->rect().center());
                    pointer.move(target - QPoint(6, 0));
                    pointer.move(target);
                    step = 2;
                }
                break;
            case 2:
                if (page.draft()->draft().apps.first().name == QLatin1String("Two")) {
                    pointer.release();
                    step = 3;
                }
                break;
            default:
                break;
            }
        });
        driver.start();
        QTRY_VERIFY_WITH_TIMEOUT(step == 3 && !page.itemActions()->reorderDraggingID(), 20000);
        driver.stop();
        QVERIFY(page.itemActions()->isReordering());
        section->doneButton()->click();
        const QList<AppGroup> saved = storedGroups(store);
        const auto pair = std::find_if(saved.begin(), saved.end(), [&group](const AppGroup &g) { return g.id == group.id; });
        QVERIFY(pair != saved.end());
        QCOMPARE(pair->apps.first().name, QStringLiteral("Two"));
    }

    // Mend: a cell lit when its context menu opened is dark once the menu closes with the pointer
    // elsewhere, its red remove button gone with the light.
    void aCellIsNoLongerLitOnceItsMenuClosesElsewhere()
    {
        XTestPointer pointer;
        QVERIFY(pointer.isValid());
        const std::unique_ptr<TwoFolders> shown = showTwoFolders(QStringLiteral("Lit"), QStringLiteral("Lamp"), QStringLiteral("Wick"));
        QVERIFY(shown);
        GroupEditorPage &page = *shown->page;
        EditorItemSection *section = page.itemSection();
        QTRY_VERIFY_WITH_TIMEOUT(section->cells().size() == 2 && section->cells().at(0)->isVisible(), 20000);
        EditorItemCell *cell = section->cells().at(0);
        const QPoint onCell = cell->mapToGlobal(cell->rect().center());
        pointer.move(onCell + QPoint(0, 6));
        pointer.move(onCell);
        QTRY_VERIFY_WITH_TIMEOUT(cell->isHovering(), 20000);

        pointer.click(onCell, 3);
        QMenu *menu = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) && menu->isVisible(), 20000);
        // Away from the cell and the menu, on the empty middle of the header; a click there closes the menu.
        const QPoint away = page.header()->mapToGlobal(QPoint(page.header()->width() / 2, page.header()->height() / 2));
        QVERIFY(!menu->geometry().contains(away));
        pointer.move(away - QPoint(0, 6));
        pointer.click(away);
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activePopupWidget(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!cell->isHovering(), 20000);
        // The pointer back on the cell lights it again.
        pointer.move(onCell);
        QTRY_VERIFY_WITH_TIMEOUT(cell->isHovering(), 20000);
    }

    // Mend: "Move Up" from an item's menu moves the lit item away from the pointer; it is dark at
    // its new place (no card, no red remove button), and stays dark once the pointer leaves the
    // item that came under it, which lights while the pointer is on it.
    void aMovedCellIsNoLongerLit()
    {
        XTestPointer pointer;
        QVERIFY(pointer.isValid());
        const std::unique_ptr<TwoFolders> shown = showTwoFolders(QStringLiteral("Moved"), QStringLiteral("Left"), QStringLiteral("Right"));
        QVERIFY(shown);
        GroupEditorPage &page = *shown->page;
        EditorItemSection *section = page.itemSection();
        QTRY_VERIFY_WITH_TIMEOUT(section->cells().size() == 2 && section->cells().at(1)->isVisible(), 20000);
        EditorItemCell *moved = section->cells().at(1);
        EditorItemCell *other = section->cells().at(0);
        const QPoint onCell = moved->mapToGlobal(moved->rect().center());
        pointer.move(onCell + QPoint(0, 6));
        pointer.move(onCell);
        QTRY_VERIFY_WITH_TIMEOUT(moved->isHovering(), 20000);

        pointer.click(onCell, 3);
        QMenu *menu = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) && menu->isVisible(), 20000);
        QAction *moveUp = menu->actions().value(0);
        QVERIFY(moveUp);
        QCOMPARE(moveUp->text(), localized(QStringLiteral("editor.moveUp")));
        // Chosen with the keyboard, the pointer resting where it was.
        QTest::keyClick(menu, Qt::Key_Down);
        QTRY_VERIFY_WITH_TIMEOUT(menu->activeAction() == moveUp, 20000);
        QTest::keyClick(menu, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activePopupWidget(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(section->cells().value(0) == moved, 20000);
        // The item has left the resting pointer: dark at its new place, the one now under the
        // pointer lit.
        QTRY_VERIFY_WITH_TIMEOUT(moved->pos() != other->pos() && !moved->isHovering() && other->isHovering(), 20000);
        // The pointer leaves: every item dark.
        const QPoint away = page.header()->mapToGlobal(QPoint(page.header()->width() / 2, page.header()->height() / 2));
        pointer.move(away - QPoint(0, 6));
        pointer.move(away);
        QTRY_VERIFY_WITH_TIMEOUT(!moved->isHovering() && !other->isHovering(), 20000);
        // Back on the place the item left, the one now there lights, and only it; and off again.
        pointer.move(onCell);
        QTRY_VERIFY_WITH_TIMEOUT(!moved->isHovering() && other->isHovering(), 20000);
        pointer.move(away);
        QTRY_VERIFY_WITH_TIMEOUT(!moved->isHovering() && !other->isHovering(), 20000);
    }

    // Mend: Files… and Folders… open the program's own chooser above the editor's window, with the
    // keyboard (the X server's input focus) in it, every time; the window takes the keyboard back
    // once the chooser is closed.
    void theFilePanelsStandAboveTheWindowWithTheKeyboard()
    {
        XTestPointer pointer;
        QVERIFY(pointer.isValid());
        const std::unique_ptr<TwoFolders> shown = showTwoFolders(QStringLiteral("Panels"), QStringLiteral("Sun"), QStringLiteral("Moon"));
        QVERIFY(shown);
        GroupEditorPage &page = *shown->page;
        page.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        EditorItemSection *section = page.itemSection();
        QTRY_VERIFY_WITH_TIMEOUT(section->addBarButtons().size() == 4 && section->addBarButtons().at(2)->isVisible(), 20000);
        for (int round = 0; round < 3; ++round) {
            for (const int which : {2, 3}) {
                QWidget *button = section->addBarButtons().at(which);
                pointer.click(button->mapToGlobal(button->rect().center()));
                QFileDialog *panel = nullptr;
                QTRY_VERIFY_WITH_TIMEOUT((panel = page.findChild<QFileDialog *>(QStringLiteral("addItemsPanel"))) && panel->isVisible(), 20000);
                QVERIFY(panel->testOption(QFileDialog::DontUseNativeDialog));
                QCOMPARE(panel->windowModality(), Qt::WindowModal);
                QCOMPARE(panel->parentWidget()->window(), page.window());
                const QString where = QStringLiteral("round %1, button %2").arg(round).arg(which);
                QVERIFY2(QTest::qWaitFor([&] { return X11Windows().inputFocus() == quint32(panel->winId()); }, 20000), qPrintable(where));
                QTRY_VERIFY_WITH_TIMEOUT(panel->isActiveWindow(), 20000);
                // Above the window: later in the server's stacking order.
                const QList<X11Windows::Window> stack = X11Windows().all();
                const auto at = [&stack](QWidget *window) {
                    for (int i = 0; i < stack.size(); ++i) {
                        if (stack[i].id == quint32(window->winId()))
                            return i;
                    }
                    return -1;
                };
                QVERIFY2(at(panel) > at(&page) && at(&page) >= 0, qPrintable(where));
                QTest::keyClick(panel, Qt::Key_Escape);
                QTRY_VERIFY_WITH_TIMEOUT(!page.findChild<QFileDialog *>(QStringLiteral("addItemsPanel")), 20000);
                QTRY_VERIFY_WITH_TIMEOUT(page.isActiveWindow(), 20000);
            }
        }
    }
};

KESTROWAN_TEST_MAIN(TestEditorAutoSyncXvfb)
#include "tst_editorautosync_xvfb.moc"
