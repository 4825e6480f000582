// The keyboard's place is seen wherever Tab takes it: on the group list (its cards, Settings and
// Sync All), through the settings, and on the reset question's answers, in both looks. Each stop
// shows a ring around the control, read from the window's pixels at 3:1 or more against what
// surrounds it on both sides.
#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainWindowContent.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/ConfirmationAlert.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "Platform/UserDefaults.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>

namespace {

constexpr int timeout = 20000;

// The ring's contrast with what lies on either side of it, read where it crosses the middle of the
// control's left edge (or its top edge, when the left one is clipped): the lower of the two.
// Negative when no ring surrounds the control.
double ringContrast(QWidget *control, QString *where)
{
    KeyboardFocusRing *ring = KeyboardFocusRing::shown();
    if (!ring || ring->target() != control) {
        *where = QStringLiteral("no ring");
        return -1;
    }
    QWidget *window = control->window();
    const QImage picture = window->grab().toImage();
    const qreal scale = picture.devicePixelRatio();
    const QRect box(control->mapTo(window, QPoint(0, 0)), control->size());
    const int middle = KeyboardFocusRing::outset - 1;
    const auto at = [&](int x, int y) { return picture.pixelColor(QPoint(int(x * scale), int(y * scale))); };
    const bool leftClear = box.left() - KeyboardFocusRing::outset - 1 >= 0;
    const QColor drawn = leftClear ? at(box.left() - middle, box.center().y()) : at(box.center().x(), box.top() - middle);
    const QColor outside = leftClear ? at(box.left() - KeyboardFocusRing::outset - 1, box.center().y())
                                     : at(box.center().x(), box.top() - KeyboardFocusRing::outset - 1);
    const QColor gap = leftClear ? at(box.left() - 1, box.center().y()) : at(box.center().x(), box.top() - 1);
    *where = QStringLiteral("%1 ring %2 between %3 and %4").arg(control->metaObject()->className(), drawn.name(), outside.name(), gap.name());
    return std::min(contrastRatio(drawn, outside), contrastRatio(drawn, gap));
}

} // namespace

class TestKeyboardFocus : public QObject {
    Q_OBJECT

    std::unique_ptr<GroupManager> m_store;
    AppNavigation m_navigation;
    FakeInstalledApps m_apps;
    AppEnvironment m_environment;

    std::unique_ptr<QWidget> makeWindow()
    {
        std::unique_ptr<QWidget> content(makeMainWindowContent(m_environment, nullptr));
        content->resize(620, 540);
        content->show();
        content->activateWindow();
        if (!QTest::qWaitForWindowActive(content.get()))
            return nullptr;
        return content;
    }

    // Tab, as the user presses it, to the next control; that control.
    static QWidget *tab(QWidget *window)
    {
        QWidget *before = QApplication::focusWidget();
        QTest::keyClick(before ? before : window, Qt::Key_Tab);
        QWidget *now = nullptr;
        const bool moved = QTest::qWaitFor([&] { return (now = QApplication::focusWidget()) && now != before; }, timeout);
        return moved ? now : nullptr;
    }

private slots:
    void initTestCase()
    {
        KeyboardFocusRing::install();
        const QString program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
        writeBytes(program, "#!/bin/sh\n");
        m_store = startedManager(program);
        for (const QString &name : {QStringLiteral("Work"), QStringLiteral("Media")}) {
            AppGroup group = m_store->createGroup();
            group.name = name;
            m_store->updateGroup(group);
        }
        m_environment.groupManager = m_store.get();
        m_environment.appsService = &m_apps;
        m_environment.navigation = &m_navigation;
        installMainViewPages(m_environment);
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
    }

    void cleanup()
    {
        Appearance::shared().apply(false);
        m_navigation.setSelectedPage(std::nullopt);
    }

    void looks_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    // Round the group list: the cards, the new-group card, Settings and Sync All each show the ring.
    void everyStopOfTheGroupListShowsTheRing_data() { looks_data(); }
    void everyStopOfTheGroupListShowsTheRing()
    {
        QFETCH(bool, dark);
        Appearance::shared().apply(dark);
        const auto window = makeWindow();
        QVERIFY(window);
        auto *grid = window->findChild<GroupGridPage *>();
        QVERIFY(grid);
        QSet<QWidget *> reached;
        for (int press = 0; press < 12; ++press) {
            QWidget *control = tab(window.get());
            QVERIFY(control);
            QString where;
            QTRY_VERIFY2_WITH_TIMEOUT(ringContrast(control, &where) >= 3.0, qPrintable(where), 5000);
            reached << control;
        }
        QVERIFY(reached.contains(grid->settingsButton()));
        QVERIFY(reached.contains(grid->syncAllButton()));
        // A click moves the keyboard without a ring.
        clickWidget(grid->settingsButton());
        QTRY_VERIFY_WITH_TIMEOUT(!KeyboardFocusRing::shown() || !KeyboardFocusRing::shown()->target()->isVisible(), timeout);
    }

    // Ten presses of Tab through the settings: each one shows where the keyboard went.
    void everyStopOfTheSettingsShowsTheRing_data() { looks_data(); }
    void everyStopOfTheSettingsShowsTheRing()
    {
        QFETCH(bool, dark);
        Appearance::shared().apply(dark);
        const auto window = makeWindow();
        QVERIFY(window);
        m_navigation.setSelectedPage(DetailPage::settings());
        QTRY_VERIFY_WITH_TIMEOUT(window->findChild<SettingsPanel *>() && window->findChild<SettingsPanel *>()->isVisible(), timeout);
        for (int press = 0; press < 10; ++press) {
            QWidget *control = tab(window.get());
            QVERIFY(control);
            QString where;
            QTRY_VERIFY2_WITH_TIMEOUT(ringContrast(control, &where) >= 3.0, qPrintable(QStringLiteral("press %1: %2").arg(press + 1).arg(where)), 5000);
        }
    }

    // Scrolled to the bottom of the settings, Tab goes round past the header to the first control
    // and on through every stop: each one comes whole into view with its ring, whichever way the
    // page was scrolled.
    void tabBringsEveryStopOfTheSettingsIntoView()
    {
        const auto window = makeWindow();
        QVERIFY(window);
        m_navigation.setSelectedPage(DetailPage::settings());
        SettingsPanel *panel = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((panel = window->findChild<SettingsPanel *>()) && panel->isVisible(), timeout);
        QScrollBar *bar = panel->scrollArea()->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 0, timeout);
        bar->setValue(bar->maximum());
        QWidget *viewport = panel->scrollArea()->viewport();
        QWidget *page = panel->scrollArea()->widget();
        QSet<QWidget *> inside;
        int wrapsToTheTop = 0;
        for (int press = 1; press <= 40; ++press) {
            const int before = bar->value();
            QWidget *control = tab(window.get());
            QVERIFY(control);
            if (!page->isAncestorOf(control))
                continue;
            inside << control;
            wrapsToTheTop += before > bar->value() && before == bar->maximum();
            const int outset = KeyboardFocusRing::outset;
            const QRect ringed = QRect(control->mapTo(viewport, QPoint(0, 0)), control->size()).adjusted(-outset, -outset, outset, outset);
            QVERIFY2(viewport->rect().contains(ringed),
                     qPrintable(QStringLiteral("press %1: %2 at %3,%4 %5x%6 in a view %7 high, scrolled to %8")
                                    .arg(press)
                                    .arg(control->metaObject()->className())
                                    .arg(ringed.x())
                                    .arg(ringed.y())
                                    .arg(ringed.width())
                                    .arg(ringed.height())
                                    .arg(viewport->height())
                                    .arg(bar->value()) + QStringLiteral(" of %1").arg(bar->maximum())));
            QString where;
            QTRY_VERIFY2_WITH_TIMEOUT(ringContrast(control, &where) >= 3.0, qPrintable(where), 5000);
        }
        QVERIFY2(inside.size() >= 10, qPrintable(QString::number(inside.size())));
        QVERIFY(wrapsToTheTop >= 1);
    }

    // The reset question opens with the keyboard on Cancel, ringed on the panel; Tab moves the ring
    // to the destructive answer.
    void theQuestionsAnswersShowTheRing_data() { looks_data(); }
    void theQuestionsAnswersShowTheRing()
    {
        QFETCH(bool, dark);
        Appearance::shared().apply(dark);
        const auto window = makeWindow();
        QVERIFY(window);
        m_navigation.setSelectedPage(DetailPage::settings());
        SettingsPanel *panel = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((panel = window->findChild<SettingsPanel *>()) && panel->isVisible(), timeout);
        auto *reset = panel->findChild<QAbstractButton *>(QStringLiteral("resetAll"));
        QVERIFY(reset);
        reset->click();
        QTRY_VERIFY_WITH_TIMEOUT(panel->confirmation() && panel->confirmation()->isVisible(), timeout);
        ConfirmationAlert *alert = panel->confirmation();
        alert->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(alert));
        QString where;
        QTRY_VERIFY2_WITH_TIMEOUT(ringContrast(alert->cancelButton(), &where) >= 3.0, qPrintable(where), 5000);
        QTest::keyClick(alert->cancelButton(), Qt::Key_Tab);
        QTRY_VERIFY2_WITH_TIMEOUT(ringContrast(alert->confirmButton(), &where) >= 3.0, qPrintable(where), 5000);
        QTest::keyClick(alert, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!panel->confirmation(), timeout);
    }
};

KESTROWAN_TEST_MAIN(TestKeyboardFocus)
#include "tst_keyboardfocus.moc"
