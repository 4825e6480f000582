// Light and dark switched while the main window shows any of its pages: the floating bar of the
// group list is drawn whole in the new look each time the list is shown again, as the window's
// pixels show it (not a fresh render), and again under the pointer.
#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainWindowContent.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Platform/UserDefaults.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/DrawnBars.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QScopeGuard>

namespace {

constexpr int timeout = 20000;

QColor barFill(bool dark)
{
    return RoundedSurface::bar(30, dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light).fill;
}

} // namespace

class TestLookSwitch : public QObject {
    Q_OBJECT

    std::unique_ptr<GroupManager> m_store;
    AppNavigation m_navigation;
    FakeInstalledApps m_apps;
    AppEnvironment m_environment;
    QUuid m_groupID;

    std::unique_ptr<QWidget> makeWindow(bool onboardingDone, QSize size)
    {
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, onboardingDone);
        std::unique_ptr<QWidget> content(makeMainWindowContent(m_environment, nullptr));
        content->resize(size);
        content->show();
        if (!QTest::qWaitForWindowExposed(content.get()))
            return nullptr;
        return content;
    }

    static QWidget *gridBar(QWidget *content)
    {
        auto *grid = content->findChild<GroupGridPage *>();
        return grid ? grid->settingsButton()->parentWidget() : nullptr;
    }

    // The list's bar, once the list is back on screen, drawn whole; and again with the pointer over
    // each of its buttons.
    static bool gridBarIsDrawn(QWidget *content, bool dark, QString *fault)
    {
        QWidget *bar = gridBar(content);
        if (!bar) {
            *fault = QStringLiteral("no bar");
            return false;
        }
        if (!QTest::qWaitFor([&] { return (*fault = barDrawingFault(shownPixels(content), bar, barFill(dark))).isEmpty(); }, timeout))
            return false;
        auto *grid = content->findChild<GroupGridPage *>();
        for (QWidget *button : {static_cast<QWidget *>(grid->settingsButton()), static_cast<QWidget *>(grid->syncAllButton())}) {
            QTest::mouseMove(button, button->rect().center());
            if (!QTest::qWaitFor([&] { return (*fault = barDrawingFault(shownPixels(content), bar, barFill(dark))).isEmpty(); }, timeout)) {
                *fault = QStringLiteral("under the pointer: ") + *fault;
                return false;
            }
        }
        QTest::mouseMove(content, QPoint(content->width() / 2, 10));
        return true;
    }

private slots:
    void init()
    {
        const QString program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
        writeBytes(program, "#!/bin/sh\n");
        Appearance::shared().apply(false);
        m_store = startedManager(program);
        AppGroup work = m_store->createGroup();
        work.name = QStringLiteral("Work");
        m_store->updateGroup(work);
        m_groupID = work.id;
        m_environment.groupManager = m_store.get();
        m_environment.appsService = &m_apps;
        m_environment.navigation = &m_navigation;
        installMainViewPages(m_environment);
        m_navigation.setSelectedPage(std::nullopt);
    }

    void cleanup()
    {
        Appearance::shared().apply(false);
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    void theListsBarIsDrawnWholeAfterEverySwitch_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("language");
        QTest::newRow("small") << QSize(620, 540) << QStringLiteral("en");
        QTest::newRow("large") << QSize(960, 720) << QStringLiteral("en");
        QTest::newRow("japanese") << QSize(620, 540) << QStringLiteral("ja");
    }

    // The switch made with the list itself, the settings or a group's editor on screen, ten times.
    void theListsBarIsDrawnWholeAfterEverySwitch()
    {
        QFETCH(QSize, size);
        QFETCH(QString, language);
        LanguageManager::shared().setCurrentLanguage(language);
        const std::unique_ptr<QWidget> content = makeWindow(true, size);
        QVERIFY(content);
        auto *view = qobject_cast<MainView *>(content.get());
        QVERIFY(view);
        QString fault;
        QVERIFY2(gridBarIsDrawn(content.get(), false, &fault), qPrintable(fault));
        const QList<std::optional<DetailPage>> pages{std::nullopt, DetailPage::settings(), DetailPage::group(m_groupID)};
        int switches = 0;
        for (int round = 0; round < 10; ++round) {
            const bool dark = round % 2 == 0;
            const std::optional<DetailPage> page = pages.at(round % pages.size());
            m_navigation.setSelectedPage(page);
            QTRY_VERIFY_WITH_TIMEOUT(view->shownPage() && view->shownPage()->isVisible() && view->shownPage()->pos().isNull(), timeout);
            Appearance::shared().apply(dark);
            ++switches;
            m_navigation.setSelectedPage(std::nullopt);
            QVERIFY2(gridBarIsDrawn(content.get(), dark, &fault),
                     qPrintable(QStringLiteral("switch %1 to %2 on page %3: %4")
                                    .arg(switches)
                                    .arg(dark ? QStringLiteral("dark") : QStringLiteral("light"))
                                    .arg(page ? page->description() : QStringLiteral("list"), fault)));
        }
    }

    // Switched while the first run is on screen, then the list comes.
    void theListsBarIsDrawnWholeAfterSwitchesDuringTheFirstRun()
    {
        for (int round = 0; round < 4; ++round) {
            const std::unique_ptr<QWidget> content = makeWindow(false, QSize(620, 540));
            QVERIFY(content);
            auto *view = qobject_cast<MainView *>(content.get());
            QVERIFY(view && view->isShowingOnboarding());
            const bool dark = round % 2 == 0;
            for (int i = 0; i < 3; ++i) {
                const bool shownDark = i % 2 == 0 ? dark : !dark;
                Appearance::shared().apply(shownDark);
                // Each look reaches the screen before the next switch.
                QTRY_VERIFY_WITH_TIMEOUT((shownPixels(content.get()).pixelColor(2, 2).lightness() < 128) == shownDark, timeout);
            }
            view->completeOnboarding();
            QTRY_VERIFY_WITH_TIMEOUT(!view->isShowingOnboarding(), timeout);
            QString fault;
            QVERIFY2(gridBarIsDrawn(content.get(), dark, &fault), qPrintable(fault));
        }
    }
};

KESTROWAN_TEST_MAIN(TestLookSwitch)
#include "tst_lookswitch.moc"
