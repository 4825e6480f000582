#include "FakeShellServices.h"

#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/app/MainWindowFrame.h"
#include "Kestrowan/app/ShellRules.h"
#include "Kestrowan/groups/GroupShortcut.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "tests/docktiles/DockTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QMenu>
#include <QSignalSpy>

using Policy = ApplicationActivation::Policy;

class TestStartup : public QObject {
    Q_OBJECT
private:
    FakeApplicationActivation *m_activation = nullptr;
    FakeStatusItem *m_statusItem = nullptr;
    UserDefaults &defaults() { return UserDefaults::standard(); }

    // The app with its delegate and scene run as a launch runs them.
    std::unique_ptr<KestrowanApp> launched(ShellJournal &journal)
    {
        auto app = std::make_unique<KestrowanApp>(journalFactories(journal));
        app->launch();
        return app;
    }

private slots:
    void init()
    {
        UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
        auto activation = std::make_unique<FakeApplicationActivation>();
        m_activation = activation.get();
        ApplicationActivation::install(std::move(activation));
        SystemAppearance::install(std::make_unique<FakeSystemAppearance>());
        m_statusItem = nullptr;
        StatusItem::installFactory([this] {
            auto item = std::make_unique<FakeStatusItem>();
            m_statusItem = item.get();
            return item;
        });
        QDir(appSupportDirectoryURL()).removeRecursively();
    }

    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
    }

    void servicesAreBuiltOnceInOrderBeforeAnyWindow()
    {
        const QUuid groupID = QUuid::createUuid();
        saveShortcuts({GroupShortcut{groupID, 18, GroupShortcut::controlModifier}});
        ShellJournal journal;
        KestrowanApp app(journalFactories(journal));
        QCOMPARE(journal.entries,
                 QStringList({"GroupManager", "AppUpdater", "InstalledAppsService", "PermissionManager", "SkinManager",
                              "ShortcutStateStore", "KeyboardShortcutService"}));
        QVERIFY(QFileInfo(appSupportDirectoryURL()).isDir());
        QVERIFY(QFileInfo(groupsDirectoryURL()).isDir());
        QCOMPARE(app.groupManager().storageURL(), appSupportDirectoryURL() + "/groups.json");
        QCOMPARE(app.appsService().cacheURL(), appSupportDirectoryURL() + "/installed_apps_cache.json");
        QVERIFY(!app.navigation().selectedPage());
        // Stored shortcuts are there, but no hot key works before the runtime starts.
        QCOMPARE(app.keyboardShortcutService().shortcuts().size(), 1);
        QCOMPARE(journal.count("shortcuts.register"), 0);
        QVERIFY(!app.hoverService());
        QVERIFY(!app.mainWindow());
        QVERIFY(!app.didBootstrapRuntime());
        QVERIFY(!app.isMainWindowRequested());
    }

    void aFreshUserStartsWithTheDefaults()
    {
        QCOMPARE(AppSettings::interactionMode(defaults()), QString("click"));
        QCOMPARE(AppSettings::clickModeBehavior(defaults()), QString("enhanced"));
        QCOMPARE(AppSettings::appearanceMode(defaults()), QString("system"));
        QVERIFY(!AppSettings::showInDock(defaults()));
        QVERIFY(!AppSettings::didCompleteOnboarding(defaults()));
    }

    void languageOverrideBeforeTheInterface_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("appleLanguages");
        QTest::addColumn<int>("synchronised");
        QTest::newRow("absent") << QVariant() << QVariant(QStringList{"de"}) << 0;
        QTest::newRow("system") << QVariant("system") << QVariant(QStringList{"de"}) << 0;
        QTest::newRow("ja") << QVariant("ja") << QVariant(QVariantList{"ja"}) << 1;
        QTest::newRow("unsupported") << QVariant("xx") << QVariant(QVariantList{"xx"}) << 1;
    }

    void languageOverrideBeforeTheInterface()
    {
        QFETCH(QVariant, stored);
        QFETCH(QVariant, appleLanguages);
        QFETCH(int, synchronised);
        FakeUserDefaults fake;
        fake.setValue("AppleLanguages", QStringList{"de"});
        if (stored.isValid())
            fake.setValue("appLanguage", stored);
        LanguageManager::applyLanguageOverrideAtStartup(fake);
        QCOMPARE(fake.stringList("AppleLanguages"), appleLanguages.toStringList());
        QCOMPARE(fake.synchronizeCount, synchronised);
    }

    void launchRunsTheBootstrapOnceAndOpensTheWindow()
    {
        ShellJournal journal;
        LogCapture log;
        auto app = launched(journal);
        QCOMPARE(journal.count("HoverService"), 1);
        QCOMPARE(journal.count("analytics.configure"), 1);
        QCOMPARE(journal.signalCount("app.launched"), 1);
        const auto launchedSignal = journal.signalsSent.first();
        QCOMPARE(launchedSignal.second.value("version"), QString("2.5"));
        QCOMPARE(launchedSignal.second.value("build"), QString("77"));
        QCOMPARE(launchedSignal.second.value("group_count"), QString("0"));
        QCOMPARE(launchedSignal.second.value("interaction_mode"), QString("click"));
        QCOMPARE(launchedSignal.second.value("channel"), QString("full"));
        // Hot keys restart in the order the service expects, after the reconcile.
        const qsizetype reconcile = journal.entries.indexOf("shortcuts.reconcile");
        QVERIFY(reconcile > 0);
        QCOMPARE(journal.entries.mid(reconcile + 1, 3), QStringList({"shortcuts.stop", "shortcuts.install", "shortcuts.register"}));
        QCOMPARE(log.count("^Runtime bootstrap complete$"), 1);
        QVERIFY(app->mainWindow());
        QVERIFY(app->mainWindow()->isVisible());
        QVERIFY(app->isMainWindowVisible());
        QCOMPARE(app->mainWindow()->windowTitle(), QString("Kestrowan"));
        QCOMPARE(app->mainWindow()->objectName(), QString("main"));
        QCOMPARE(app->mainWindow()->size(), QSize(620, 540));
        QCOMPARE(m_activation->policy, Policy::Regular);
        QVERIFY(m_statusItem);
        QCOMPARE(app->appDelegate().appUpdater(), &app->appUpdater());
        // The scene may be evaluated again and again: nothing is installed or started twice.
        app->evaluateScene();
        app->bootstrapRuntime();
        QCOMPARE(journal.signalCount("app.launched"), 1);
        QCOMPARE(journal.count("HoverService"), 1);
    }

    void aDelegateThatFinishesFirstWaitsForTheScene()
    {
        ShellJournal journal;
        KestrowanApp app(journalFactories(journal));
        app.appDelegate().applicationWillFinishLaunching();
        app.appDelegate().applicationDidFinishLaunching();
        QVERIFY(!app.didBootstrapRuntime());
        QVERIFY(app.appDelegate().isMainWindowRequestPending());
        QVERIFY(!app.mainWindow());
        app.evaluateScene();
        QVERIFY(!app.appDelegate().isMainWindowRequestPending());
        QVERIFY(app.mainWindow() && app.mainWindow()->isVisible());
        // The main view's first appearance ran the bootstrap.
        QVERIFY(app.didBootstrapRuntime());
        QCOMPARE(journal.signalCount("app.launched"), 1);
        QCOMPARE(journal.count("HoverService"), 1);
        app.evaluateScene();
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.cbegin(), windows.cend(), MainWindowFrame::isMainWindow), 1);
    }

    void recoveryPassesApplyTheModeTwiceMore()
    {
        ShellJournal journal;
        auto app = launched(journal);
        JournalHoverService *hover = journalHover(*app);
        QVERIFY(app->scheduledStartupRecovery());
        const qsizetype atLaunch = hover->modesSet.size();
        QVERIFY(atLaunch >= 1);
        // Each pass applies the mode and sets the current one again.
        QTRY_COMPARE_WITH_TIMEOUT(hover->modesSet.size(), atLaunch + 4, 20000);
        for (InteractionMode mode : hover->modesSet)
            QCOMPARE(mode, InteractionMode::Click);
        app->scheduleStartupRecovery();
        QVERIFY(app->scheduledStartupRecovery());
    }

    void theModeTable_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("granted");
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<int>("action");
        const int hover = int(InteractionAction::SetHover), click = int(InteractionAction::SetClick),
                  stop = int(InteractionAction::Stop);
        QTest::newRow("hover granted") << "hover" << true << "native" << hover;
        QTest::newRow("hover denied") << "hover" << false << "enhanced" << stop;
        QTest::newRow("click native") << "click" << true << "native" << stop;
        QTest::newRow("click enhanced") << "click" << true << "enhanced" << click;
        QTest::newRow("click odd behaviour") << "click" << true << "sometimes" << click;
        QTest::newRow("click denied") << "click" << false << "enhanced" << stop;
        QTest::newRow("empty mode") << "" << true << "enhanced" << stop;
        QTest::newRow("other case") << "Hover" << true << "enhanced" << stop;
    }

    void theModeTable()
    {
        QFETCH(QString, mode);
        QFETCH(bool, granted);
        QFETCH(QString, behaviour);
        QFETCH(int, action);
        QCOMPARE(int(interactionActionFor(mode, granted, behaviour)), action);
    }

    void permissionAndSettingChangesReapplyTheMode()
    {
        defaults().setValue("interactionMode", "hover");
        ShellJournal journal;
        auto app = launched(journal);
        JournalPermissionManager &permission = journalPermission(*app);
        JournalHoverService *hover = journalHover(*app);
        QCOMPARE(hover->mode(), InteractionMode::Hover);
        permission.change(false);
        QTRY_COMPARE_WITH_TIMEOUT(hover->mode(), InteractionMode::None, 10000);
        QCOMPARE(journal.signalCount("permission.accessibility_granted"), 0);
        permission.change(true);
        QTRY_COMPARE_WITH_TIMEOUT(hover->mode(), InteractionMode::Hover, 10000);
        QCOMPARE(journal.signalCount("permission.accessibility_granted"), 1);

        defaults().setValue("interactionMode", "click");
        QCOMPARE(journal.signalCount("interaction_mode.changed"), 1);
        QCOMPARE(journal.signalsSent.last().second.value("mode"), QString("click"));
        QCOMPARE(hover->mode(), InteractionMode::Click);
        defaults().setValue("clickModeBehavior", "native");
        QCOMPARE(hover->mode(), InteractionMode::None);
        QCOMPARE(journal.signalCount("interaction_mode.changed"), 1);
    }

    void theActivationPolicyRule()
    {
        QCOMPARE(targetActivationPolicy(false, false, false, false), Policy::Accessory);
        QCOMPARE(targetActivationPolicy(true, false, false, false), Policy::Regular);
        QCOMPARE(targetActivationPolicy(false, true, false, false), Policy::Regular);
        QCOMPARE(targetActivationPolicy(false, false, true, false), Policy::Regular);
        QCOMPARE(targetActivationPolicy(false, false, false, true), Policy::Regular);
    }

    void thePolicyFollowsTheWindowAndTheSetting()
    {
        ShellJournal journal;
        LogCapture log;
        auto app = launched(journal);
        QCOMPARE(m_activation->policy, Policy::Regular);
        QCOMPARE(log.count("^ActivationPolicy update -> regular$"), 1);
        app->applyActivationPolicy(false);
        QCOMPARE(log.count("^ActivationPolicy update"), 1);

        // Closed and reopened within the grace: still regular.
        app->mainWindow()->close();
        QVERIFY(!app->isMainWindowVisible());
        app->appDelegate().applicationShouldHandleReopen(false);
        QVERIFY(app->mainWindow() && app->mainWindow()->isVisible());
        QTest::qWait(0);
        QVERIFY(app->isMainWindowRequested());

        // Closed for good: menu bar only, and the program keeps running.
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        app->mainWindow()->close();
        QTRY_COMPARE_WITH_TIMEOUT(m_activation->policy, Policy::Accessory, 10000);
        QVERIFY(!app->isMainWindowRequested());
        QCOMPARE(log.count("^ActivationPolicy update -> accessory$"), 1);
        QCOMPARE(quitting.count(), 0);

        // The Dock icon setting alone brings the icon back, and the glyph is given again.
        const int glyphs = m_statusItem->imageAssignments;
        defaults().setValue("showInDock", true);
        QCOMPARE(m_activation->policy, Policy::Regular);
        QTRY_COMPARE_WITH_TIMEOUT(m_statusItem->imageAssignments, glyphs + 1, 10000);
        defaults().setValue("showInDock", false);
        QCOMPARE(m_activation->policy, Policy::Accessory);
    }

    void appearancePassesNeverReopenAClosedWindow()
    {
        defaults().setValue("didCompleteOnboarding", true);
        ShellJournal journal;
        auto app = launched(journal);
        QVERIFY(app->mainWindow()->isVisible());
        app->mainWindow()->close();
        QTRY_VERIFY_WITH_TIMEOUT(!app->mainWindow(), 10000);
        defaults().setValue("appearanceMode", "dark");
        app->handleAppDidBecomeActive();
        app->applyAppearance();
        app->restyleMainWindows();
        QVERIFY(!KestrowanApp::isMainWindowOpen());
        QVERIFY(Appearance::shared().isDark());
        QCOMPARE(QApplication::palette().color(QPalette::Window), Appearance::darkPalette().color(QPalette::Window));
        defaults().setValue("appearanceMode", "system");
        QVERIFY(!Appearance::shared().isDark());
    }

    void beforeOnboardingTheWindowKeepsItsSize()
    {
        ShellJournal journal;
        auto app = launched(journal);
        MainWindowFrame *window = app->mainWindow();
        QCOMPARE(window->minimumSize(), window->maximumSize());
        defaults().setValue("didCompleteOnboarding", true);
        QTRY_VERIFY_WITH_TIMEOUT(window->minimumSize() != window->maximumSize(), 10000);
        // Once resizable, the window still keeps the group grid's least size.
        QCOMPARE(window->minimumSize(), QSize(600, 400));
        window->resize(300, 200);
        QCOMPARE(window->size(), QSize(600, 400));
    }

    // The desktop's close key closes the main window; the program goes on.
    void theCloseKeyClosesTheMainWindow()
    {
        ShellJournal journal;
        auto app = launched(journal);
        QPointer<MainWindowFrame> window = app->mainWindow();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const QKeyCombination close = QKeySequence(QKeySequence::Close)[0];
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.data(), close.key(),
                        close.keyboardModifiers());
        QTRY_VERIFY_WITH_TIMEOUT(!window, 10000);
        QVERIFY(!KestrowanApp::isMainWindowOpen());
    }

    void onlyOneMainWindowIsKept()
    {
        auto makeWindow = [] {
            auto *window = new QWidget(nullptr, Qt::Window);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->setWindowTitle("Kestrowan");
            return QPointer<QWidget>(window);
        };
        QPointer<QWidget> first = makeWindow(), second = makeWindow();
        second->show();
        KestrowanApp::closeDuplicateMainWindows();
        QTRY_VERIFY(!first);
        QVERIFY(second);
        QPointer<QWidget> third = makeWindow();
        second->hide();
        KestrowanApp::closeDuplicateMainWindows();
        QTRY_COMPARE(int(bool(second)) + int(bool(third)), 1);
    }

    void aHotKeyShowsThePopupAroundThePointer()
    {
        ShellJournal journal;
        auto app = launched(journal);
        for (const char *name : {"One", "Two", "Three"}) {
            AppGroup group = app->groupManager().createGroup();
            group.name = name;
            app->groupManager().updateGroup(group);
        }
        defaults().setValue("clickModeBehavior", "native");
        const QUuid third = app->groupManager().groups().at(2).id;
        JournalShortcutService &shortcuts = journalShortcuts(*app);
        QVERIFY(shortcuts.onTriggerGroup);
        shortcuts.onTriggerGroup(third);
        shortcuts.onTriggerGroup(QUuid::createUuid());
        JournalHoverService *hover = journalHover(*app);
        QCOMPARE(hover->popups.size(), 1);
        QCOMPARE(hover->popups.first().first, third);
        QCOMPARE(hover->popups.first().second, QRectF(460, 370, 80, 60));
    }

    void groupChangesReachTheMenuTheShortcutsAndTheTracking()
    {
        ShellJournal journal;
        auto app = launched(journal);
        JournalHoverService *hover = journalHover(*app);
        const int refreshes = hover->refreshes;
        AppGroup group = app->groupManager().createGroup();
        group.name = "Renamed";
        app->groupManager().updateGroup(group);
        // Followed once the change's event is through.
        QTRY_VERIFY(hover->refreshes > refreshes);
        QCOMPARE(journalShortcuts(*app).reconciledWith, QList<QUuid>{group.id});
        QCOMPARE(app->appDelegate().statusGroups().size(), 1);
        QCOMPARE(app->appDelegate().statusGroups().first().name, QString("Renamed"));
        app->groupManager().deleteGroup(group, true);
        QTRY_VERIFY(app->appDelegate().statusGroups().isEmpty());
        QVERIFY(journalShortcuts(*app).reconciledWith.isEmpty());
    }

    void editRequestsGoStraightToTheEditor()
    {
        ShellJournal journal;
        auto app = launched(journal);
        AppGroup group = app->groupManager().createGroup();
        app->requestEditGroup(group.id);
        QTRY_COMPARE_WITH_TIMEOUT(app->navigation().selectedPage(), std::optional<DetailPage>(DetailPage::group(group.id)), 10000);
    }

    void aLinkToAnUnknownGroupShowsTheGroupList()
    {
        ShellJournal journal;
        auto app = launched(journal);
        app->navigation().setSelectedPage(DetailPage::settings());
        LogCapture log;
        const QUuid unknown = QUuid::createUuid();
        app->appDelegate().openURLs({QUrl("kestrowan://open/group/" + ModelJson::uuidText(unknown))});
        QTRY_COMPARE_WITH_TIMEOUT(log.count("^No group " + ModelJson::uuidText(unknown) + "; showing the group list instead$"), 1, 10000);
        QCOMPARE(app->navigation().selectedPage(), std::optional<DetailPage>());
        QCOMPARE(log.count("^Applying deferred group navigation"), 0);
        QVERIFY(app->mainWindow() && app->mainWindow()->isVisible());
    }

    void aCorruptGroupsFileLeavesFoldersAndTilesAlone()
    {
        installSucceedingProcessRunner();
        QDir().mkpath(groupsDirectoryURL());
        writeBytes(appSupportDirectoryURL() + "/groups.json", "{ this is not json");
        const QString folder = makeFolder(groupsDirectoryURL() + "/Work");
        writeBytes(folder + "/.group_id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toUtf8());
        const QVariantMap tile{{"tile-data", QVariantMap{{"file-data", QVariantMap{{"_CFURLString", QUrl::fromLocalFile(folder).toString()}, {"_CFURLStringType", qint64(15)}}}, {"file-label", "Work"}}},
                               {"tile-type", "directory-tile"}};
        writeDockFile({{"persistent-others", QVariantList{tile}}});
        const QByteArray dockBefore = dockFileBytes();

        ShellJournal journal;
        auto app = launched(journal);
        QVERIFY(app->groupManager().loadError());
        QTRY_VERIFY_WITH_TIMEOUT(app->scheduledStartupRecovery(), 1000);
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(QFileInfo::exists(folder + "/.group_id"));
        QCOMPARE(dockFileBytes(), dockBefore);
    }
};

KESTROWAN_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
