// Light and dark switched while a group's editor is on screen or out of sight behind another page:
// the editor's floating sync bar is drawn whole in the new look each time, as the window's pixels
// show it, and again under the pointer.
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/PageHost.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Platform/UserDefaults.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/DrawnBars.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QScopeGuard>

namespace {

constexpr int timeout = 20000;

QColor barFill(bool dark)
{
    return RoundedSurface::bar(30, dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light).fill;
}

// The bar drawn whole now, then with the pointer over each of its buttons.
bool barIsDrawn(QWidget *window, DockSyncBar *bar, bool dark, QString *fault)
{
    if (!QTest::qWaitFor([&] { return (*fault = barDrawingFault(shownPixels(window), bar, barFill(dark))).isEmpty(); }, timeout))
        return false;
    for (QAbstractButton *button : bar->findChildren<QAbstractButton *>()) {
        if (!button->isVisibleTo(bar))
            continue;
        QTest::mouseMove(button, button->rect().center());
        if (!QTest::qWaitFor([&] { return (*fault = barDrawingFault(shownPixels(window), bar, barFill(dark))).isEmpty(); }, timeout)) {
            *fault = QStringLiteral("under the pointer: ") + *fault;
            return false;
        }
    }
    QTest::mouseMove(window, QPoint(window->width() / 2, 10));
    return true;
}

} // namespace

class TestEditorLookSwitch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useSourceResources(); }

    void theSyncBarIsDrawnWholeAfterEverySwitch_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("language");
        QTest::newRow("small") << QSize(620, 540) << QStringLiteral("en");
        QTest::newRow("large") << QSize(960, 720) << QStringLiteral("en");
        QTest::newRow("japanese") << QSize(620, 540) << QStringLiteral("ja");
    }

    void theSyncBarIsDrawnWholeAfterEverySwitch()
    {
        QFETCH(QSize, size);
        QFETCH(QString, language);
        const auto restore = qScopeGuard([] {
            Appearance::shared().apply(false);
            LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
        });
        Appearance::shared().apply(false);
        LanguageManager::shared().setCurrentLanguage(language);
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
        QTemporaryDir dir;
        const std::unique_ptr<GroupManager> store = makeEditorStore(dir);
        store->setGroups({});
        FakeDockSync dock;
        dock.tile = true;
        AppGroup group = store->createGroup();
        group.name = QStringLiteral("Switched");
        group.apps = {appItem(QStringLiteral("org.example.Mail"), QStringLiteral("Mail"))};
        store->updateGroup(group);
        dock.syncedContents = {group};

        // The window's pages slide in and out as the main window's do: the editor, and another page
        // the user goes to meanwhile.
        PageHost window;
        GroupEditorServices services;
        services.groupManager = store.get();
        services.dockSync = &dock;
        auto *page = new GroupEditorPage(services, group, false, [] {});
        auto *elsewhere = new QWidget(&window);
        elsewhere->hide();
        window.setPage(page, PageHost::Edge::Trailing, false, false);
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        page->nameField()->setFocus();
        QTest::keyClick(page->nameField(), Qt::Key_End);
        QTest::keyClicks(page->nameField(), QStringLiteral("s"));
        auto *bar = page->findChild<DockSyncBar *>();
        QVERIFY(bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible() && bar->geometry().bottom() == page->height() - 18 - 1, timeout);
        QString fault;
        QVERIFY2(barIsDrawn(&window, bar, false, &fault), qPrintable(fault));
        for (int round = 0; round < 10; ++round) {
            const bool dark = round % 2 == 0;
            const bool away = round % 4 < 2;
            if (away) {
                window.setPage(elsewhere, PageHost::Edge::Trailing, true, false);
                QTRY_VERIFY_WITH_TIMEOUT(!bar->isVisible() && elsewhere->pos().isNull(), timeout);
            }
            Appearance::shared().apply(dark);
            if (away)
                window.setPage(page, PageHost::Edge::Leading, true, false);
            QVERIFY2(barIsDrawn(&window, bar, dark, &fault),
                     qPrintable(QStringLiteral("switch %1 to %2 %3: %4")
                                    .arg(round + 1)
                                    .arg(dark ? QStringLiteral("dark") : QStringLiteral("light"),
                                         away ? QStringLiteral("elsewhere") : QStringLiteral("on the editor"), fault)));
        }
    }
};

KESTROWAN_TEST_MAIN(TestEditorLookSwitch)
#include "tst_editorlookswitch.moc"
