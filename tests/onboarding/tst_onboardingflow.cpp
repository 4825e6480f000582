// The first run's state and its one write: the step machine, the drafts and their renames, the
// assignments by click and by drop, the name limit, and the finish that stores the groups and syncs
// them to the Dock in one batch.

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/onboarding/OnboardingCompletion.h"
#include "Kestrowan/onboarding/OnboardingFlow.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/fake/FakeRunningApplications.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "tests/onboarding/OnboardingTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int timeout = 20000;

using Event = QPair<QString, QMap<QString, QString>>;

} // namespace

class TestOnboardingFlow : public QObject {
    Q_OBJECT
private:
    QString m_home;
    QString m_program;
    FakeProcessRunner *m_runner = nullptr;
    std::unique_ptr<GroupManager> m_store;
    SettablePermissions m_permissions;
    QList<Event> m_events;
    int m_finished = 0;
    int m_skipped = 0;

    std::unique_ptr<OnboardingFlow> makeFlow(const QList<DockReader::DockApp> &apps = {})
    {
        auto flow = std::make_unique<OnboardingFlow>(OnboardingFlow::Services{m_store.get(), nullptr, &m_permissions},
                                                     [this] { ++m_finished; }, [this] { ++m_skipped; });
        flow->setSignalSink([this](const QString &name, const QMap<QString, QString> &parameters) { m_events << Event{name, parameters}; });
        flow->setDockApps(apps, {});
        return flow;
    }

    QList<DockReader::DockApp> installedApps(const QStringList &names)
    {
        QList<DockReader::DockApp> apps;
        for (const QString &name : names)
            apps << dockApp(name, makeFolder(m_home + QStringLiteral("/Applications/") + name + QStringLiteral(".app")));
        return apps;
    }

    QList<Event> eventsNamed(const QString &name) const
    {
        QList<Event> found;
        for (const Event &event : m_events) {
            if (event.first == name)
                found << event;
        }
        return found;
    }

    QJsonArray storedGroups() const
    {
        m_store->waitUntilSaved();
        return QJsonDocument::fromJson(readBytes(m_store->storageURL())).array();
    }

private slots:
    void initTestCase()
    {
        m_home = qEnvironmentVariable("HOME");
        m_program = m_home + QStringLiteral("/Applications/Kestrowan");
        writeBytes(m_program, "#!/bin/sh\n");
    }

    void init()
    {
        m_store.reset();
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(DockPreferencesFile::filePath());
        UserDefaults::standard().remove(GroupManager::syncedGroupHashesKey);
        UserDefaults::standard().remove(OnboardingFlow::interactionModeKey);
        DockService::clearSyncBlock();
        m_runner = installSucceedingProcessRunner();
        m_store = startedManager(m_program);
        m_permissions.granted = false;
        m_events.clear();
        m_finished = 0;
        m_skipped = 0;
    }

    void stepsMoveOneAtATimeWithinTheFive()
    {
        auto flow = makeFlow();
        flow->stepBack();
        QCOMPARE(flow->step(), 0);
        QVERIFY(m_events.isEmpty());
        flow->stepForward();
        QCOMPARE(flow->step(), 1);
        // The count is taken before the first draft is made.
        QCOMPARE(eventsNamed("onboarding.step_changed").last().second,
                 (QMap<QString, QString>{{"from", "0"}, {"to", "1"}, {"groups_count", "0"}}));
        for (int i = 0; i < 6; ++i)
            flow->stepForward();
        QCOMPARE(flow->step(), OnboardingFlow::lastStep);
        flow->stepBack();
        QCOMPARE(flow->step(), 3);
        QCOMPARE(eventsNamed("onboarding.step_changed").size(), 5);
        QCOMPARE(eventsNamed("onboarding.step_changed").last().second.value("from"), "4");
    }

    void theGroupStepOpensWithOneUntitledDraftBeingRenamed()
    {
        auto flow = makeFlow(installedApps({"Mail"}));
        flow->setStep(1);
        QCOMPARE(flow->groups().size(), 1);
        const DraftGroup first = flow->groups().first();
        QCOMPARE(first.name, localized("onboarding.group.untitled"));
        QCOMPARE(flow->activeGroupID(), first.id);
        QCOMPARE(flow->editingGroupID(), first.id);
        flow->toggleAppInActiveGroup("com.example.mail");
        flow->startCreatingGroup();
        flow->setPendingGroupName("Half");
        // Away and back again: the drafts stay; only the new-group card is reset.
        flow->setStep(2);
        flow->setStep(0);
        flow->setStep(1);
        QCOMPARE(flow->groups().size(), 1);
        QCOMPARE(flow->groups().first().appBundleIDs, QStringList{"com.example.mail"});
        QCOMPARE(flow->activeGroupID(), first.id);
        QVERIFY(!flow->isCreatingGroup());
        QVERIFY(flow->pendingGroupName().isEmpty());
    }

    void theRunningApplicationsComeFirstInTheDocksOrder()
    {
        const QList<DockReader::DockApp> dock{dockApp("A"), dockApp("B"), dockApp("C"), dockApp("D"), dockApp("E")};
        const QList<DockReader::DockApp> ordered =
            OnboardingFlow::runningFirst(dock, {"com.example.b", "com.example.d", "com.example.e", "com.example.unknown"});
        QStringList names;
        for (const DockReader::DockApp &app : ordered)
            names << app.name;
        QCOMPARE(names, (QStringList{"B", "D", "E", "A", "C"}));

        // On screen: the workspace's ordinary applications with a bundle identifier count as running.
        auto running = std::make_unique<FakeRunningApplications>();
        running->running = {{"com.example.regular", "Regular", "", 1, RunningApplication::ActivationPolicy::Regular},
                            {"com.example.helper", "Helper", "", 2, RunningApplication::ActivationPolicy::Accessory},
                            {"", "Nameless", "", 3, RunningApplication::ActivationPolicy::Regular}};
        RunningApplications::install(std::move(running));
        auto flow = makeFlow();
        flow->appear();
        RunningApplications::install(nullptr);
        QCOMPARE(flow->runningBundleIDs(), QSet<QString>{"com.example.regular"});
        QCOMPARE(eventsNamed("onboarding.started").size(), 1);
    }

    void clicksMoveApplicationsBetweenDraftsAndDropsOnlyAdd()
    {
        auto flow = makeFlow(installedApps({"Mail", "Notes", "Music"}));
        // No active group yet: a click changes nothing.
        flow->toggleAppInActiveGroup("com.example.mail");
        QVERIFY(flow->groups().isEmpty());
        flow->setStep(1);
        const QUuid first = flow->groups().first().id;
        flow->toggleAppInActiveGroup("com.example.mail");
        flow->toggleAppInActiveGroup("com.example.notes");
        flow->startCreatingGroup();
        flow->setPendingGroupName("  Play  ");
        flow->createGroupFromPendingName();
        QCOMPARE(flow->groups().size(), 2);
        const QUuid second = flow->groups().last().id;
        QCOMPARE(flow->groups().last().name, "Play");
        QCOMPARE(flow->activeGroupID(), second);
        QVERIFY(!flow->canAddGroup());
        flow->startCreatingGroup();
        QVERIFY(!flow->isCreatingGroup());

        // A click on an application of the other draft moves it here.
        flow->toggleAppInActiveGroup("com.example.mail");
        QCOMPARE(flow->groups()[0].appBundleIDs, QStringList{"com.example.notes"});
        QCOMPARE(flow->groups()[1].appBundleIDs, QStringList{"com.example.mail"});
        QVERIFY(flow->isInActiveGroup("com.example.mail"));
        QVERIFY(flow->isInOtherGroup("com.example.notes"));
        // A second click takes it out of every draft.
        flow->toggleAppInActiveGroup("com.example.mail");
        QVERIFY(flow->groups()[1].appBundleIDs.isEmpty());

        // A drop on the draft that holds the application changes nothing, not even the active one.
        QVERIFY(!flow->assignDroppedApp("com.example.notes", first));
        QCOMPARE(flow->activeGroupID(), second);
        // A drop elsewhere moves it and makes that draft active.
        QVERIFY(flow->assignDroppedApp("com.example.notes", second));
        QVERIFY(flow->groups()[0].appBundleIDs.isEmpty());
        QCOMPARE(flow->groups()[1].appBundleIDs, QStringList{"com.example.notes"});
        QCOMPARE(flow->activeGroupID(), second);
    }

    void aDropNamingNoListedApplicationIsRefused()
    {
        auto flow = makeFlow(installedApps({"Mail"}));
        flow->setStep(1);
        const QUuid draft = flow->groups().first().id;
        for (const QString &text : {QStringLiteral("com.example.elsewhere"), QStringLiteral("/etc/passwd"), QString(),
                                    QStringLiteral("com.example.mail\ncom.example.other")}) {
            QVERIFY(!flow->acceptsDroppedApp(text));
            QVERIFY(!flow->assignDroppedApp(text, draft));
        }
        QVERIFY(flow->groups().first().appBundleIDs.isEmpty());
        QVERIFY(!flow->assignDroppedApp("com.example.mail", QUuid::createUuid()));
        QVERIFY(flow->assignDroppedApp("com.example.mail", draft));
    }

    void renamesCommitFirstAndNeverCrossDrafts()
    {
        auto flow = makeFlow();
        flow->setStep(1);
        const QUuid first = flow->groups().first().id;
        flow->setEditingGroupName("  Work \n");
        flow->commitGroupRename(first);
        QCOMPARE(flow->groups().first().name, "Work");
        QVERIFY(!flow->editingGroupID());

        flow->startCreatingGroup();
        flow->setPendingGroupName("Play");
        flow->createGroupFromPendingName();
        const QUuid second = flow->groups().last().id;

        // Renaming the first, then starting on the second without committing: the first keeps its
        // new name and the second starts from its own.
        flow->beginRenamingDraftGroup(first);
        flow->setEditingGroupName("Office");
        flow->beginRenamingDraftGroup(second);
        QCOMPARE(flow->groups()[0].name, "Office");
        QCOMPARE(flow->editingGroupID(), second);
        QCOMPARE(flow->editingGroupName(), "Play");
        // A late commit for the first (its field lost focus after the move) touches neither.
        flow->setEditingGroupName("Games");
        flow->commitGroupRename(first);
        QCOMPARE(flow->groups()[0].name, "Office");
        QCOMPARE(flow->groups()[1].name, "Play");
        QCOMPARE(flow->editingGroupID(), second);
        flow->commitGroupRename(second);
        QCOMPARE(flow->groups()[1].name, "Games");

        // Blank text keeps the name; selecting another draft saves a rename first.
        flow->beginRenamingDraftGroup(second);
        flow->setEditingGroupName("   ");
        flow->selectDraftGroup(first);
        QCOMPARE(flow->groups()[1].name, "Games");
        QVERIFY(!flow->editingGroupID());
    }

    void theNameLimitCountsCharactersAsTheUserSeesThem()
    {
        QCOMPARE(OnboardingFlow::limitedToCharacters(QString(40, u'x'), 30), QString(30, u'x'));
        // Each family emoji is one character of several code units.
        const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QString families;
        for (int i = 0; i < 31; ++i)
            families += family;
        const QString cut = OnboardingFlow::limitedToCharacters(families, 30);
        QCOMPARE(cut.size(), family.size() * 30);
        QVERIFY(!cut.back().isHighSurrogate());
        // A letter with two combining marks stays whole.
        const QString marked = QStringLiteral("e\u0301\u0323");
        QString letters = QString(29, u'a') + marked + marked;
        QCOMPARE(OnboardingFlow::limitedToCharacters(letters, 30), QString(29, u'a') + marked);
        // A flag (two regional indicators) is one character.
        const QString flag = QStringLiteral("\U0001F1EF\U0001F1F5");
        QCOMPARE(OnboardingFlow::limitedToCharacters(QString(29, u'a') + flag + flag, 30), QString(29, u'a') + flag);

        auto flow = makeFlow();
        flow->setPendingGroupName(families);
        QCOMPARE(flow->pendingGroupName(), cut);
        flow->setPendingGroupName("   ");
        QVERIFY(!flow->canSavePendingName());
        flow->startCreatingGroup();
        flow->createGroupFromPendingName();
        QVERIFY(flow->groups().isEmpty());
    }

    void skippingSendsTheStepAndStoresNothing()
    {
        auto flow = makeFlow(installedApps({"Mail"}));
        flow->setStep(1);
        flow->toggleAppInActiveGroup("com.example.mail");
        flow->setStep(3);
        flow->skip();
        flow->skip();
        QCOMPARE(m_skipped, 1);
        QCOMPARE(eventsNamed("onboarding.skipped").size(), 1);
        QCOMPARE(eventsNamed("onboarding.skipped").first().second, (QMap<QString, QString>{{"step", "3"}}));
        QVERIFY(m_store->groups().isEmpty());
        QVERIFY(!UserDefaults::standard().contains(OnboardingFlow::interactionModeKey));
    }

    void accessibilityArrivingSwitchesToHover()
    {
        auto flow = makeFlow();
        flow->setStep(1);
        m_permissions.setGranted(true);
        QCOMPARE(UserDefaults::standard().string(OnboardingFlow::interactionModeKey), "hover");
        m_permissions.setGranted(false);
        QCOMPARE(UserDefaults::standard().string(OnboardingFlow::interactionModeKey), "hover");
    }

    void finishingStoresTheDraftsAndSyncsOnceInOneBatch()
    {
        AppGroup earlier = makeGroup("Earlier", {makeItem("com.example.tools", "Tools", makeFolder(m_home + "/Applications/Tools.app"))});
        m_store->setGroups({earlier});
        m_permissions.granted = true;
        auto flow = makeFlow(installedApps({"Mail", "Notes", "Music", "Maps"}));
        flow->setStep(1);
        flow->setEditingGroupName("Work");
        flow->commitPendingRename();
        for (const char *id : {"com.example.mail", "com.example.notes", "com.example.gone"})
            flow->toggleAppInActiveGroup(id);
        flow->startCreatingGroup();
        flow->setPendingGroupName("Play");
        flow->createGroupFromPendingName();
        flow->toggleAppInActiveGroup("com.example.music");
        flow->setStep(4);

        // A second press while the first finish runs does nothing.
        flow->finish();
        QVERIFY(flow->isFinishing());
        flow->finish();
        QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, timeout);

        const QList<AppGroup> &groups = m_store->groups();
        QCOMPARE(groups.size(), 3);
        QCOMPARE(groups[1].name, "Work");
        QCOMPARE(groups[1].apps.size(), 2);
        QCOMPARE(groups[1].apps[1].name, "Notes");
        QCOMPARE(groups[1].displayStyle, AppGroup::DisplayStyle::Grid);
        QCOMPARE(groups[1].iconStyle, AppGroup::IconStyle::Shelf);
        QCOMPARE(groups[2].name, "Play");
        QCOMPARE(storedGroups().size(), 3);
        // Every group with items in one write of the Dock's list and one restart.
        QCOMPARE(persistentOthers().size(), 3);
        QCOMPARE(dockRestarts(), 1);
        QVERIFY(m_store->isGroupSyncedToDock(groups[0]));

        QCOMPARE(UserDefaults::standard().string(OnboardingFlow::interactionModeKey), "hover");
        // The counts come from the drafts: the missing application counts too.
        QCOMPARE(eventsNamed("onboarding.completed"),
                 (QList<Event>{{"onboarding.completed", {{"groups_created", "2"}, {"total_apps", "4"}}}}));
        flow->finish();
        QTest::qWait(0);
        QCOMPARE(m_store->groups().size(), 3);
    }

    void finishingWithEmptyDraftsMakesNoGroupAndStillEnds()
    {
        auto flow = makeFlow();
        flow->setStep(1);
        flow->setStep(4);
        flow->finish();
        QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, timeout);
        QVERIFY(m_store->groups().isEmpty());
        QVERIFY(!UserDefaults::standard().contains(OnboardingFlow::interactionModeKey));
        QCOMPARE(eventsNamed("onboarding.completed").first().second,
                 (QMap<QString, QString>{{"groups_created", "0"}, {"total_apps", "0"}}));
    }

    // Once finishing, the first run ends as finished: Skip does nothing, and the flow (the window)
    // may go while the Dock is synced; the application's completion finishes it all the same.
    void theFinishOutlivesSkipAndTheFlow()
    {
        OnboardingCompletion completion({m_store.get(), nullptr, &m_permissions});
        m_permissions.granted = true;
        auto flow = std::make_unique<OnboardingFlow>(OnboardingFlow::Services{m_store.get(), nullptr, &m_permissions, &completion},
                                                     [this] { ++m_finished; }, [this] { ++m_skipped; });
        flow->setSignalSink([this](const QString &name, const QMap<QString, QString> &parameters) { m_events << Event{name, parameters}; });
        flow->setDockApps(installedApps({"Mail"}), {});
        flow->setStep(1);
        flow->toggleAppInActiveGroup("com.example.mail");
        flow->setStep(4);
        UserDefaults::standard().remove(AppSettings::didCompleteOnboardingKey);
        flow->finish();
        flow->skip();
        QCOMPARE(m_skipped, 0);
        QVERIFY(eventsNamed("onboarding.skipped").isEmpty());
        QVERIFY(completion.isRunning());
        flow.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!completion.isRunning(), timeout);
        QVERIFY(m_store->isGroupSyncedToDock(m_store->groups().first()));
        QCOMPARE(m_store->groups().size(), 1);
        QVERIFY(AppSettings::didCompleteOnboarding(UserDefaults::standard()));
        QCOMPARE(UserDefaults::standard().string(OnboardingFlow::interactionModeKey), "hover");
        QCOMPARE(eventsNamed("onboarding.completed").size(), 1);
        UserDefaults::standard().remove(AppSettings::didCompleteOnboardingKey);
    }
};

KESTROWAN_TEST_MAIN(TestOnboardingFlow)
#include "tst_onboardingflow.moc"
