// The end of the first run through the real window: once the user presses the last button, the
// first run completes whatever the window does meanwhile (closed while the Dock restarts, opened
// again, Skip pressed), and its groups are added once.

#include "FakeShellServices.h"

#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/app/MainWindowFrame.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/onboarding/OnboardingView.h"
#include "Kestrowan/onboarding/TextButton.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "tests/app/FakeDesktop.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "Platform/fake/FakeStatusItem.h"
#include "Platform/fake/FakeSystemAppearance.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "tests/onboarding/OnboardingTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>

namespace {

constexpr int timeout = 20000;
constexpr int rounds = 5;

} // namespace

class TestFirstRunFinish : public QObject {
    Q_OBJECT
private:
    FakeDockRestarter *m_restarter = nullptr;
    QString m_mailPath;

    UserDefaults &defaults() { return UserDefaults::standard(); }

    std::unique_ptr<KestrowanApp> launched(ShellJournal &journal)
    {
        auto app = std::make_unique<KestrowanApp>(journalFactories(journal));
        app->launch();
        return app;
    }

    static OnboardingView *onboardingIn(QWidget *window)
    {
        return window ? window->findChild<OnboardingView *>() : nullptr;
    }

    static QAbstractButton *finishButton(OnboardingView *view)
    {
        return view->findChild<QAbstractButton *>(QStringLiteral("finishButton"));
    }

    // The window's first run on its last step, with one draft group holding one Dock application.
    OnboardingView *onLastStepWithOneGroup(KestrowanApp &app)
    {
        MainWindowFrame *window = app.mainWindow();
        if (!window || !QTest::qWaitForWindowExposed(window))
            return nullptr;
        OnboardingView *view = onboardingIn(window);
        if (!view)
            return nullptr;
        // The flow reads the Dock once it is on screen; the test's Dock comes after that.
        QTest::qWait(0);
        OnboardingFlow &flow = view->flow();
        flow.setDockApps({dockApp(QStringLiteral("Mail"), m_mailPath)}, {});
        flow.setStep(1);
        flow.toggleAppInActiveGroup(QStringLiteral("com.example.mail"));
        flow.setStep(OnboardingFlow::lastStep);
        return view;
    }

    // Presses the last button as the user does and waits until the Dock's restart is under way.
    bool pressFinish(OnboardingView *view)
    {
        QAbstractButton *button = finishButton(view);
        if (!button || !button->isEnabled())
            return false;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        return QTest::qWaitFor([this] { return !m_restarter->held.isEmpty(); }, timeout);
    }

    // The user drafts one group, presses the last button and closes the window while the Dock
    // restarts; the name of the group drafted.
    std::optional<QString> finishAndCloseTheWindow(KestrowanApp &app)
    {
        OnboardingView *view = onLastStepWithOneGroup(app);
        if (!view || view->flow().isFinishing())
            return std::nullopt;
        const QString name = view->flow().groups().first().name;
        if (!pressFinish(view))
            return std::nullopt;
        QPointer<MainWindowFrame> window = app.mainWindow();
        window->close();
        if (!QTest::qWaitFor([&window] { return !window; }, timeout))
            return std::nullopt;
        return name;
    }

    // Runs `round` in a fresh program, several times over: each time at once after a start.
    template <typename Round>
    void inFreshPrograms(Round round)
    {
        for (int i = 0; i < rounds && !QTest::currentTestFailed(); ++i) {
            init();
            ShellJournal journal;
            auto app = launched(journal);
            round(*app);
            app.reset();
            cleanup();
        }
    }

    void letTheDockComeBack()
    {
        m_restarter->holds = false;
        m_restarter->finishHeld();
    }

    int groupsNamed(KestrowanApp &app, const QString &name)
    {
        int count = 0;
        for (const AppGroup &group : app.groupManager().groups())
            count += group.name == name;
        return count;
    }

private slots:
    void init()
    {
        installFakeDesktop();
        resetToFirstStart();
        // A Dock that takes its time to come back, as a real one can take up to half a minute.
        auto restarter = std::make_unique<FakeDockRestarter>();
        restarter->holds = true;
        m_restarter = restarter.get();
        DockRestarter::install(std::move(restarter));
        m_mailPath = makeFolder(qEnvironmentVariable("HOME") + QStringLiteral("/Applications/Mail.app"));
    }

    void cleanup()
    {
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
    }

    void closingTheWindowWhileTheDockRestartsStillFinishes()
    {
        inFreshPrograms([this](KestrowanApp &app) {
            const std::optional<QString> name = finishAndCloseTheWindow(app);
            QVERIFY(name);
            QVERIFY(!AppSettings::didCompleteOnboarding(defaults()));
            letTheDockComeBack();
            QTRY_VERIFY_WITH_TIMEOUT(AppSettings::didCompleteOnboarding(defaults()), timeout);
            QCOMPARE(AppSettings::interactionMode(defaults()), QStringLiteral("hover"));
            QCOMPARE(groupsNamed(app, *name), 1);
            QTRY_VERIFY_WITH_TIMEOUT(app.groupManager().isGroupSyncedToDock(app.groupManager().groups().first()), timeout);

            // The window opened next shows the groups, not the first run again.
            app.openMainWindow();
            QVERIFY(QTest::qWaitForWindowExposed(app.mainWindow()));
            QVERIFY(!onboardingIn(app.mainWindow()));
        });
    }

    void aWindowOpenedDuringTheFinishShowsItAndAddsNothingTwice()
    {
        inFreshPrograms([this](KestrowanApp &app) {
            const std::optional<QString> name = finishAndCloseTheWindow(app);
            QVERIFY(name);

            app.openMainWindow();
            QPointer<MainWindowFrame> window = app.mainWindow();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            OnboardingView *again = onboardingIn(window);
            QVERIFY(again);
            // The finish under way, on the last step with the same drafts; nothing can start it twice.
            QCOMPARE(again->flow().step(), OnboardingFlow::lastStep);
            QVERIFY(again->flow().isFinishing());
            QCOMPARE(again->flow().groups().first().name, *name);
            QVERIFY(!finishButton(again)->isEnabled());
            QVERIFY(!again->skipButton()->isEnabled());
            QTest::mouseClick(finishButton(again), Qt::LeftButton, {}, finishButton(again)->rect().center());
            again->flow().finish();
            QCOMPARE(groupsNamed(app, *name), 1);

            letTheDockComeBack();
            QTRY_VERIFY_WITH_TIMEOUT(AppSettings::didCompleteOnboarding(defaults()), timeout);
            // The window on screen hands over to the groups as it would have for the first.
            QTRY_VERIFY_WITH_TIMEOUT(!onboardingIn(window), timeout);
            QCOMPARE(groupsNamed(app, *name), 1);
            QCOMPARE(app.groupManager().groups().size(), 1);
        });
    }

    void skipDuringTheFinishDoesNotEndItAsSkipped()
    {
        inFreshPrograms([this](KestrowanApp &app) {
            OnboardingView *view = onLastStepWithOneGroup(app);
            QVERIFY(view);
            QVERIFY(pressFinish(view));
            QPointer<OnboardingView> shown = view;
            QTest::mouseClick(view->skipButton(), Qt::LeftButton, {}, view->skipButton()->rect().center());
            QCoreApplication::processEvents();
            // The first run is being finished: Skip ends nothing, and the finish is still on screen.
            QVERIFY(shown);
            QVERIFY(shown->flow().isFinishing());
            QVERIFY(!AppSettings::didCompleteOnboarding(defaults()));

            letTheDockComeBack();
            QTRY_VERIFY_WITH_TIMEOUT(AppSettings::didCompleteOnboarding(defaults()), timeout);
            // Finished, not skipped: what only the finish does has been done.
            QCOMPARE(AppSettings::interactionMode(defaults()), QStringLiteral("hover"));
            QTRY_VERIFY_WITH_TIMEOUT(!onboardingIn(app.mainWindow()), timeout);
            QCOMPARE(app.groupManager().groups().size(), 1);
        });
    }

    // The application's completion is kept for the life of the program: a first run started again
    // from the settings is finished by it as the first was, with the window closed again meanwhile.
    void aFirstRunStartedAgainIsFinishedToo()
    {
        ShellJournal journal;
        auto app = launched(journal);
        for (int run = 0; run < 3; ++run) {
            if (run > 0) {
                // What the settings' "restart onboarding" does, then the window opened again.
                defaults().setValue(AppSettings::didCompleteOnboardingKey, false);
                m_restarter->holds = true;
                app->openMainWindow();
            }
            QVERIFY(finishAndCloseTheWindow(*app));
            letTheDockComeBack();
            QTRY_VERIFY_WITH_TIMEOUT(AppSettings::didCompleteOnboarding(defaults()), timeout);
            QCOMPARE(app->groupManager().groups().size(), run + 1);
        }
    }

    // Quitting before the Dock came back: the groups are stored, and the next start does not offer
    // the first run again (which would add them a second time).
    void quittingDuringTheFinishEndsTheFirstRun()
    {
        ShellJournal journal;
        auto app = launched(journal);
        OnboardingView *view = onLastStepWithOneGroup(*app);
        QVERIFY(view);
        const QString name = view->flow().groups().first().name;
        QVERIFY(pressFinish(view));
        // Marked as under way before the groups were stored.
        QVERIFY(defaults().boolean(AppSettings::firstRunFinishingKey));
        QCOMPARE(groupsNamed(*app, name), 1);
        app.reset();
        QVERIFY(AppSettings::didCompleteOnboarding(defaults()));
        QVERIFY(!defaults().contains(AppSettings::firstRunFinishingKey));
    }

    // A finish the program's end cut short (killed, a power cut) left only its mark: the next start
    // counts the first run as finished and opens the groups.
    void aStartAfterAFinishCutShortOpensTheGroups()
    {
        defaults().setValue(AppSettings::firstRunFinishingKey, true);
        ShellJournal journal;
        auto app = launched(journal);
        QVERIFY(AppSettings::didCompleteOnboarding(defaults()));
        QVERIFY(!defaults().contains(AppSettings::firstRunFinishingKey));
        QVERIFY(QTest::qWaitForWindowExposed(app->mainWindow()));
        QVERIFY(!onboardingIn(app->mainWindow()));
    }
};

KESTROWAN_TEST_MAIN(TestFirstRunFinish)
#include "tst_firstrunfinish.moc"
