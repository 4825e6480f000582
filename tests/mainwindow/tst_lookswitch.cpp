// Light and dark switched while the main window shows any of its pages: the floating bar of the
// group list is drawn whole in the new look each time the list is shown again, as the window's
// pixels show it (not a fresh render), and again under the pointer. And every page, in either
// look, comes inside the window, never as a window of its own for a moment.
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
#include <QMenu>
#include <QScopeGuard>

namespace {

constexpr int timeout = 20000;

QColor barFill(bool dark)
{
    return RoundedSurface::bar(30, dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light).fill;
}

// The windows shown while it lives, by their class.
class WindowsShown final : public QObject {
public:
    WindowsShown() { qApp->installEventFilter(this); }
    ~WindowsShown() override { qApp->removeEventFilter(this); }
    QStringList shown;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *widget = qobject_cast<QWidget *>(object); widget && widget->isWindow())
                shown.append(QString::fromLatin1(widget->metaObject()->className()));
        }
        return false;
    }
};

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

    // Each page opened from another, in both looks, while a menu is open (the status item's, which
    // the user may have open as a deep link opens an editor): no part of the page shows as a window
    // of its own on the way, which would flash on the screen and close the menu. A group of
    // documents' editor has the section of openers by file type.
    void everyPageComesInsideTheWindowAndLeavesAnOpenMenuOpen()
    {
        const QString document = QDir::homePath() + QStringLiteral("/Documents/report.pdf");
        writeBytes(document, "%PDF-1.4\n");
        AppGroup reading = m_store->createGroup();
        reading.name = QStringLiteral("Reading");
        reading.apps = {makeItem(QStringLiteral("file:") + document, QStringLiteral("report.pdf"), document)};
        m_store->updateGroup(reading);
        const std::unique_ptr<QWidget> content = makeWindow(true, QSize(620, 540));
        QVERIFY(content);
        auto *view = qobject_cast<MainView *>(content.get());
        QVERIFY(view);
        const QList<std::optional<DetailPage>> pages{DetailPage::group(reading.id), DetailPage::settings(), DetailPage::group(m_groupID),
                                                     std::nullopt, DetailPage::group(reading.id)};
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            for (const std::optional<DetailPage> &page : pages) {
                const QString where = QStringLiteral("%1 in the %2 look")
                                          .arg(page ? page->description() : QStringLiteral("the list"),
                                               dark ? QStringLiteral("dark") : QStringLiteral("light"));
                QMenu menu;
                menu.addAction(QStringLiteral("Quit"));
                menu.popup(content->mapToGlobal(QPoint(20, 20)));
                QVERIFY(QTest::qWaitForWindowExposed(&menu));
                WindowsShown windows;
                m_navigation.setSelectedPage(page);
                QTRY_VERIFY_WITH_TIMEOUT(view->currentPage() == page && view->shownPage() && view->shownPage()->isVisible(), timeout);
                QVERIFY2(windows.shown.isEmpty(), qPrintable(where + QStringLiteral(": shown as windows: ") + windows.shown.join(u',')));
                QVERIFY2(menu.isVisible(), qPrintable(where + QStringLiteral(": the menu closed")));
                menu.close();
            }
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
