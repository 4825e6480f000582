// Pictures of the main window for people to look at: the empty grid, six groups, both pickers, in
// light and dark and once in Japanese. Saved to "<build>/screenshots"; each is checked for its
// background and for texts that fit.
#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/mainwindow/AddToGroupMenu.h"
#include "Kestrowan/mainwindow/AppPickerView.h"
#include "Kestrowan/mainwindow/DockAppPickerView.h"
#include "Kestrowan/mainwindow/GroupCardView.h"
#include "Kestrowan/mainwindow/GroupGrid.h"
#include "Kestrowan/mainwindow/QuickAddButton.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/mainwindow/PageHost.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/RealApps.h"
#include "tests/support/TestMain.h"
#include "tests/support/SettledIcons.h"
#include "tests/support/DrawnBars.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/RoundedSurface.h"

#include <QDir>
#include <QLabel>
#include <QScopeGuard>
#include <QAbstractButton>
#include <QLineEdit>
#include <QPainter>

namespace {

QImage save(QWidget *widget, const QString &name)
{
    widget->show();
    QApplication::processEvents();
    // The cards' icons are composed after their first frame: picture the window once they are.
    (void)widget->grab();
    const auto composed = [widget] {
        for (const GroupIconView *icon : widget->findChildren<GroupIconView *>()) {
            if (!icon->visibleRegion().isEmpty() && !icon->isComposed())
                return false;
        }
        return true;
    };
    if (!QTest::qWaitFor(composed, 20000))
        qWarning("%s: an icon was still being composed when pictured", qPrintable(name));
    settleDecodedIcons(widget);
    if (!QTest::qWaitFor(composed, 20000))
        qWarning("%s: an icon was still being composed when pictured", qPrintable(name));
    const QImage image = widget->grab().toImage();
    const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    image.save(folder + u'/' + name + QStringLiteral(".png"));
    return image;
}

QString suffix(bool dark, const QString &language)
{
    return QString(dark ? QStringLiteral("-dark") : QStringLiteral("-light")) + (language == QLatin1String("en") ? QString() : u'-' + language);
}

} // namespace

class TestMainWindowShots : public QObject {
    Q_OBJECT

private:
    QString m_program;
    QList<AppItem> m_apps;

    void addLooks()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");
        QTest::newRow("light") << false << QStringLiteral("en");
        QTest::newRow("dark") << true << QStringLiteral("en");
        QTest::newRow("light ja") << false << QStringLiteral("ja");
    }

    void setLook(bool dark, const QString &language)
    {
        LanguageManager::shared().setCurrentLanguage(language);
        applyLook(dark, language);
    }

    // Six groups as a user would have them: some synced, one untitled, one long.
    void fillStore(GroupManager &store)
    {
        const QString home = QDir::homePath();
        const QString projects = makeFolder(home + QStringLiteral("/Projects"));
        const QString report = home + QStringLiteral("/Documents/Quarterly Report.pdf");
        writeBytes(report, "%PDF-1.4\n");
        // The applications, by what they are (see RealApps::wanted()).
        const AppItem &calculator = m_apps[0], &viewer = m_apps[1], &paint = m_apps[2], &photos = m_apps[3],
                      &terminal = m_apps[4], &archiver = m_apps[5], &editor = m_apps[6], &processes = m_apps[7],
                      &pdf = m_apps[8], &unicodeTerminal = m_apps[9];
        const QList<std::pair<QString, QList<AppItem>>> groups{
            {QStringLiteral("Work"), {editor, terminal, calculator, archiver,
                                      makeItem(QStringLiteral("file:") + projects, QStringLiteral("Projects"), projects),
                                      makeItem(QStringLiteral("file:") + report, QStringLiteral("Quarterly Report"), report),
                                      pdf, processes}},
            {QStringLiteral("Media"), {viewer, paint, photos}},
            {QStringLiteral("Creative tools and everything else I use on weekends"), {paint, viewer, editor, photos, calculator}},
            {QString(), {}},
            {QStringLiteral("Utilities"), {archiver, processes, unicodeTerminal, terminal, calculator, editor}},
            {QStringLiteral("Reading"), {pdf}},
        };
        const QList<AppGroup::DisplayStyle> styles{AppGroup::DisplayStyle::Grid, AppGroup::DisplayStyle::Fan,
                                                   AppGroup::DisplayStyle::List, AppGroup::DisplayStyle::Grid,
                                                   AppGroup::DisplayStyle::Grid, AppGroup::DisplayStyle::List};
        for (int i = 0; i < groups.size(); ++i) {
            AppGroup group = store.createGroup();
            group.name = groups[i].first;
            group.apps = groups[i].second;
            group.displayStyle = styles[i];
            if (i == 2)
                group.iconStyle = AppGroup::IconStyle::Pelko;
            if (i == 4)
                group.iconStyle = AppGroup::IconStyle::Gradient;
            store.updateGroup(group);
        }
        // Three of them are in the Dock as they are.
        for (int i = 0; i < 3; ++i)
            QVERIFY(awaitCompletion<bool>([&](std::function<void(bool)> done) { store.syncGroupToDock(store.groups()[i], true, nullptr, done); }).value_or(false));
    }

private slots:
    void initTestCase()
    {
        m_program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
        writeBytes(m_program, "#!/bin/sh\n");
        installSucceedingProcessRunner();
        const RealApps::Found found = RealApps::applications();
        QVERIFY2(found.missing.isEmpty(), qPrintable(found.missing));
        m_apps = found.items;
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        MainViewFactories::shared().addToGroupMenu = [](const AddToGroupMenuActions &actions) {
            return new AddToGroupMenu(actions.onDockApps, actions.onApps, actions.onFiles, actions.onFolders);
        };
    }

    void init() { QDir(appSupportDirectoryURL()).removeRecursively(); }

    void grid_data() { addLooks(); }
    void grid()
    {
        QFETCH(bool, dark);
        QFETCH(QString, language);
        setLook(dark, language);
        auto store = startedManager(m_program);
        AppNavigation navigation;
        FakeInstalledApps apps;
        {
            MainView empty(*store, apps, navigation, nullptr);
            empty.resize(620, 540);
            const QImage shot = save(&empty, QStringLiteral("main-grid-empty") + suffix(dark, language));
            QCOMPARE(shot.pixelColor(3, 3), AppColors::bg.resolve(dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light));
        }
        fillStore(*store);
        MainView view(*store, apps, navigation, nullptr);
        view.resize(620, 540);
        save(&view, QStringLiteral("main-grid-six") + suffix(dark, language));
        // Sync All under way: the bar counts the folders built.
        view.gridPage()->setSyncAllProgress(4, 6);
        save(&view, QStringLiteral("main-grid-syncing") + suffix(dark, language));
        view.gridPage()->finishSyncAll();

        // The pointer on a lower card, its quick-add menu open above the button: the menu is a
        // window of its own, drawn onto the picture where it stands.
        GroupCardView *card = view.gridPage()->grid()->cards().at(3);
        QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), card->mapToGlobal(QPointF(20, 20)));
        QApplication::sendEvent(card, &enter);
        QTRY_COMPARE(card->scaledRect(card->visualRect()).width() > card->visualRect().width(), true);
        QTest::mouseClick(card->quickAddButton(), Qt::LeftButton);
        QVERIFY(card->isShowingAddMenu());
        QWidget *menu = QApplication::activePopupWidget();
        QVERIFY(menu);
        QImage picture = view.grab().toImage();
        {
            QPainter painter(&picture);
            painter.drawImage(view.mapFromGlobal(menu->pos()), menu->grab().toImage());
        }
        picture.save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/main-grid-quickadd") + suffix(dark, language) + QStringLiteral(".png"));
        menu->close();
        // Every button of the bar shows its whole text.
        for (QWidget *button : view.gridPage()->findChildren<QAbstractButton *>())
            QVERIFY(button->width() >= button->sizeHint().width());
    }

    // The cards in Spanish, whose Dock state is the longest beside the style pill.
    // The list as the window shows it after the look was switched on another page and the list came
    // back: pictured from the window's own pixels, not drawn afresh for the picture.
    void gridAfterSwitch_data() { addLooks(); }
    void gridAfterSwitch()
    {
        QFETCH(bool, dark);
        QFETCH(QString, language);
        setLook(!dark, language);
        Appearance::shared().apply(!dark);
        auto store = startedManager(m_program);
        fillStore(*store);
        AppNavigation navigation;
        FakeInstalledApps apps;
        // The program's own pages, the settings among them.
        AppEnvironment environment;
        environment.groupManager = store.get();
        environment.appsService = &apps;
        environment.navigation = &navigation;
        const MainViewFactories factories = MainViewFactories::shared();
        const auto restore = qScopeGuard([factories] {
            MainViewFactories::shared() = factories;
            Appearance::shared().apply(false);
        });
        installMainViewPages(environment);
        MainView view(*store, apps, navigation, nullptr);
        view.resize(620, 540);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        settleDecodedIcons(&view);
        navigation.setSelectedPage(DetailPage::settings());
        QTRY_VERIFY_WITH_TIMEOUT(view.shownPage() && view.shownPage()->isVisible() && view.shownPage()->pos().isNull(), 20000);
        Appearance::shared().apply(dark);
        navigation.setSelectedPage(std::nullopt);
        QWidget *bar = view.gridPage()->settingsButton()->parentWidget();
        const QColor fill = RoundedSurface::bar(30, dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light).fill;
        QString fault;
        QVERIFY2(QTest::qWaitFor([&] { return (fault = barDrawingFault(shownPixels(&view), bar, fill)).isEmpty(); }, 20000), qPrintable(fault));
        // The settings have slid fully out: the picture they slide out as is gone.
        const auto sliding = [&view] {
            const QList<QLabel *> labels = view.findChild<PageHost *>()->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
            return std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *label) { return !label->pixmap().isNull(); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(view.gridPage()->pos().isNull() && !sliding(), 20000);
        settleDecodedIcons(&view);
        const QImage shown = shownPixels(&view);
        shown.save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/main-grid-switched") + suffix(dark, language) + QStringLiteral(".png"));
    }

    void spanishCards_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void spanishCards()
    {
        QFETCH(bool, dark);
        setLook(dark, QStringLiteral("es"));
        auto store = startedManager(m_program);
        AppNavigation navigation;
        FakeInstalledApps apps;
        fillStore(*store);
        MainView view(*store, apps, navigation, nullptr);
        view.resize(620, 540);
        save(&view, QStringLiteral("main-cardsspanish") + suffix(dark, QStringLiteral("en")));
        for (GroupCardView *card : view.gridPage()->grid()->cards()) {
            if (card->showsSyncState())
                QVERIFY(QFontMetricsF(SystemFont::font(11)).horizontalAdvance(card->syncStateText()) <= card->syncStateRect().width() + 0.5);
        }
        setLook(false, QStringLiteral("en"));
    }

    void pickers_data() { addLooks(); }
    void pickers()
    {
        QFETCH(bool, dark);
        QFETCH(QString, language);
        setLook(dark, language);
        FakeInstalledApps apps;
        QList<AppItem> listed = m_apps;
        std::sort(listed.begin(), listed.end(), [](const AppItem &a, const AppItem &b) { return a.name < b.name; });
        apps.publish(listed, false);
        const QList<AppItem> group{m_apps[1], m_apps[2], m_apps[5]};

        AppPickerView installed(apps, group);
        installed.resize(360, 420);
        save(&installed, QStringLiteral("main-picker-apps") + suffix(dark, language));
        installed.searchField()->setText(QStringLiteral("zzz"));
        save(&installed, QStringLiteral("main-picker-apps-nomatch") + suffix(dark, language));

        DockAppPickerView dock(group, m_apps.mid(0, 10));
        dock.resize(360, 420);
        save(&dock, QStringLiteral("main-picker-dock") + suffix(dark, language));
    }
};

KESTROWAN_TEST_MAIN(TestMainWindowShots)
#include "tst_mainwindowshots.moc"
