// The keyboard shortcut service over fake hot keys, what the popup offers of it, and the shortcut
// state store.

#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/dock/ShortcutStateStore.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupControllerPresenter.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeHotKeys.h"
#include "Platform/fake/FakeRunningApplications.h"
#include "Platform/fake/FakeWorkspaceNotifications.h"
#include "Kestrowan/shell/LineBreaking.h"
#include "tests/support/TestMain.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

constexpr quint32 control = HotKeyModifier::control;

QList<QUuid> makeIDs(int count)
{
    QList<QUuid> ids;
    for (int i = 0; i < count; ++i)
        ids.append(QUuid::createUuid());
    return ids;
}

// The service with fake hot keys, its handler installed as the program's start-up installs it.
struct ShortcutsWithHotKeys {
    FakeHotKeys *hotKeys;
    KeyboardShortcutService service;
    QList<QUuid> triggered;

    explicit ShortcutsWithHotKeys(bool installHandler = true)
    {
        auto fake = std::make_unique<FakeHotKeys>();
        hotKeys = fake.get();
        HotKeys::install(std::move(fake));
        service.onTriggerGroup = [this](const QUuid &id) { triggered.append(id); };
        if (installHandler) {
            service.stopHotKeys();
            service.installHotKeyHandler();
            service.registerAllHotKeys();
        }
    }
    ~ShortcutsWithHotKeys() { HotKeys::install(nullptr); }

    QList<quint16> keys() const
    {
        QList<quint16> codes;
        for (const GroupShortcut &shortcut : service.shortcuts())
            codes.append(shortcut.keyCode);
        return codes;
    }
};

AppItem item(const QString &bundleIdentifier, const QString &path)
{
    return AppItem{QUuid::createUuid(), bundleIdentifier, QStringLiteral("item"), path};
}

} // namespace

class TestShortcuts : public QObject {
    Q_OBJECT

private slots:
    void theFirstSixGroupsGetControlDigitsAndAFreedKeyMovesOn()
    {
        ShortcutsWithHotKeys keys;
        QList<QUuid> groups = makeIDs(8);
        keys.service.reconcileShortcuts(groups);
        QCOMPARE(keys.keys(), (QList<quint16>{18, 19, 20, 21, 23, 22}));
        for (quint32 i = 0; i < 6; ++i) {
            QCOMPARE(keys.service.shortcuts().at(i).groupID, groups.at(i));
            QCOMPARE(keys.service.shortcuts().at(i).modifierRawValue, quint64(0x40000));
            QCOMPARE(keys.hotKeys->registrationFor(i)->modifiers, control);
            QCOMPARE(keys.hotKeys->registrationFor(i)->id.signature, quint32(0x4B535457));
        }
        QVERIFY(!keys.service.isShortcutActive(groups.at(6)));

        // The second group goes: the former seventh takes its key, the eighth still has none.
        groups.removeAt(1);
        keys.service.reconcileShortcuts(groups);
        QCOMPARE(keys.keys(), (QList<quint16>{18, 20, 21, 23, 22, 19}));
        QCOMPARE(keys.service.shortcuts().last().groupID, groups.at(5));
        QCOMPARE(keys.hotKeys->registrationFor(5)->keyCode, quint16(19));
        QCOMPARE(keys.hotKeys->registrations.size(), 6);

        // Reordered, the list follows the groups; a group moved past the sixth keeps its key.
        std::swap(groups[0], groups[6]);
        keys.service.reconcileShortcuts(groups);
        QCOMPARE(keys.service.shortcuts().last().groupID, groups.at(6));
        QCOMPARE(keys.service.shortcuts().last().keyCode, quint16(18));
        QVERIFY(keys.service.isShortcutActive(groups.at(6)));

        // Stored exactly as written: compact JSON data in list order.
        const QByteArray stored = UserDefaults::standard().data(QStringLiteral("groupShortcuts"));
        QVERIFY(stored.startsWith("[{\"groupID\":\"" + groups.at(1).toString(QUuid::WithoutBraces).toUpper().toUtf8()
                                  + "\",\"keyCode\":20,\"modifierRawValue\":262144},"));
        QCOMPARE(loadShortcuts(), keys.service.shortcuts());
    }

    void otherModifiersDoNotTakeADefaultKey()
    {
        ShortcutsWithHotKeys keys;
        const QList<QUuid> groups = makeIDs(2);
        keys.service.setShortcuts({GroupShortcut{groups.at(0), 18, 0x40000 | 0x20000}});
        keys.service.reconcileShortcuts(groups);
        QCOMPARE(keys.keys(), (QList<quint16>{18, 18}));
        QCOMPARE(keys.service.shortcuts().at(1).modifierRawValue, quint64(0x40000));
        QCOMPARE(KeyboardShortcutService::firstFreeDefaultShortcutKey({}), quint16(18));
    }

    void recordedShortcutsKeepOnlyTheFourModifiers()
    {
        ShortcutsWithHotKeys keys;
        QTemporaryDir storage;
        GroupManager manager(storage.path(), storage.path() + QStringLiteral("/Groups"));
        QList<AppGroup> groups;
        for (int i = 0; i < 7; ++i) {
            AppGroup group;
            group.id = QUuid::createUuid();
            groups.append(group);
        }
        manager.setGroups(groups);
        keys.service.setGroupManager(&manager);

        keys.service.setGroupShortcut(groups.at(0).id, 0, 0x50000); // control and caps lock
        keys.service.setGroupShortcut(groups.at(1).id, 1, 0x840000); // control and function
        QCOMPARE(keys.service.shortcuts().at(0).modifierRawValue, quint64(0x40000));
        QCOMPARE(keys.service.shortcuts().at(1).modifierRawValue, quint64(0x40000));
        keys.service.setGroupShortcut(groups.at(0).id, 2, 0x1e0000);
        QCOMPARE(keys.service.shortcuts().size(), 2);
        QCOMPARE(keys.service.shortcuts().at(0).keyCode, quint16(2)); // replaced where it stood
        QCOMPARE(keys.hotKeys->registrationFor(0)->modifiers, quint32(0x1000 | 0x0800 | 0x0200 | 0x0100));

        keys.service.assignDefaultShortcut(groups.at(6).id);
        QCOMPARE(keys.service.shortcuts().size(), 2);
        keys.service.assignDefaultShortcut(groups.at(2).id);
        QCOMPARE(keys.service.shortcuts().last(), (GroupShortcut{groups.at(2).id, 20, 0x40000}));
    }

    void pressesReachTheGroupAndNothingElseDoes()
    {
        ShortcutsWithHotKeys keys;
        const QList<QUuid> groups = makeIDs(3);
        keys.service.reconcileShortcuts(groups);
        keys.hotKeys->press(20, control);
        QVERIFY(keys.triggered.isEmpty()); // after the event has been answered
        QTRY_COMPARE(keys.triggered, QList<QUuid>{groups.at(2)});

        QTest::ignoreMessage(QtWarningMsg, "Ignored a hot-key event without a readable identifier");
        keys.hotKeys->deliver(HotKeyEvent{std::nullopt});
        QTest::ignoreMessage(QtWarningMsg, "Ignored a hot-key event of another signature");
        keys.hotKeys->deliver(HotKeyEvent{EventHotKeyID{0x41424344, 0}});
        keys.hotKeys->deliver(HotKeyEvent{EventHotKeyID{0x4B535457, 3}}); // one past the list
        keys.hotKeys->press(18, control | HotKeyModifier::shift);
        keys.hotKeys->press(18, control);
        QTRY_COMPARE(keys.triggered.size(), 2);
        QCOMPARE(keys.triggered.last(), groups.at(0));
        QCoreApplication::processEvents();
        QCOMPARE(keys.triggered.size(), 2);

        keys.service.stopHotKeys();
        QVERIFY(keys.hotKeys->registrations.isEmpty() && keys.hotKeys->handlers.isEmpty());
        keys.hotKeys->deliver(HotKeyEvent{EventHotKeyID{0x4B535457, 0}});
        QCoreApplication::processEvents();
        QCOMPARE(keys.triggered.size(), 2);
    }

    void aRefusedCombinationIsReportedAndTheOthersWork()
    {
        ShortcutsWithHotKeys keys;
        const QList<QUuid> groups = makeIDs(3);
        keys.hotKeys->taken.insert(qMakePair(quint16(19), control));
        QSignalSpy registrations(&keys.service, &KeyboardShortcutService::registrationsChanged);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Could not register the shortcut Ctrl\\+2 of group .*: held by another program")));
        keys.service.reconcileShortcuts(groups);
        QVERIFY(keys.service.isShortcutActive(groups.at(0)));
        QVERIFY(!keys.service.isShortcutActive(groups.at(1)));
        QCOMPARE(keys.service.registrationFailure(groups.at(1)), QStringLiteral("held by another program"));
        QVERIFY(keys.service.isShortcutActive(groups.at(2)));
        QCOMPARE(keys.hotKeys->registrationFor(2)->keyCode, quint16(20)); // identifiers stay positions
        QVERIFY(registrations.count() > 0);
    }

    void aRefusedCombinationIsNotOfferedByThePopup()
    {
        ShortcutsWithHotKeys keys;
        const QList<QUuid> groups = makeIDs(2);
        keys.hotKeys->taken.insert(qMakePair(quint16(19), control));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("Could not register")));
        keys.service.reconcileShortcuts(groups);
        PopupControllerPresenter presenter;
        presenter.controller().setSignalSink([](const QString &, const QMap<QString, QString> &) {});
        presenter.setKeyboardShortcutService(&keys.service);
        const auto texts = [&](const QUuid &id) {
            AppGroup group;
            group.id = id;
            group.name = QStringLiteral("Group");
            group.apps = {item(QStringLiteral("url:https://example.org"), QStringLiteral("https://example.org"))};
            presenter.showPopup(group, {}, QRectF(600, 100, 56, 56));
            QStringList shown;
            for (const QLabel *label : presenter.controller().panel()->findChildren<QLabel *>())
                shown.append(LineBreaking::visibleText(label->text()));
            presenter.controller().closePopupImmediately();
            return shown.join(u'|');
        };
        const QString first = texts(groups.at(0));
        QVERIFY2(first.contains(QStringLiteral("Ctrl+1")), qPrintable(first));
        QVERIFY(!texts(groups.at(1)).contains(QStringLiteral("Ctrl+2")));
    }

    void beforeTheHandlerNothingIsRegistered()
    {
        ShortcutsWithHotKeys keys(false);
        const QList<QUuid> groups = makeIDs(2);
        keys.service.reconcileShortcuts(groups);
        QCOMPARE(loadShortcuts().size(), 2);
        QVERIFY(keys.hotKeys->registrations.isEmpty());
        QVERIFY(!keys.service.isShortcutActive(groups.at(0)));
        QSignalSpy changed(&keys.service, &KeyboardShortcutService::shortcutsChanged);
        keys.service.setShortcuts(keys.service.shortcuts());
        QCOMPARE(changed.count(), 0);
    }

    // Shortcut state store

    void openedItemsStayActiveForTheWindow()
    {
        WorkspaceNotifications::install(std::make_unique<FakeWorkspaceNotifications>());
        RunningApplications::install(std::make_unique<FakeRunningApplications>());
        ShortcutStateStore store;
        QDateTime now = QDateTime::currentDateTimeUtc();
        store.setClock([&] { return now; });
        const QDateTime opened = now;
        const AppItem document = item(QStringLiteral("file:/home/u/notes.txt"), QStringLiteral("/home/u/notes.txt"));
        const AppItem sameFile = item(QStringLiteral("file:/home/u/notes.txt"), QStringLiteral("/home/u/./notes.txt"));
        const AppItem link = item(QStringLiteral("url:https://example.org/a?b=1"), QStringLiteral("https://example.org/a?b=1"));
        store.markOpened(document);
        store.markOpened(link);
        QVERIFY(store.isItemActive(sameFile));
        QVERIFY(store.recentOpenedAt().contains(QStringLiteral("https://example.org/a?b=1")));

        now = opened.addMSecs(1799900);
        QVERIFY(store.isItemActive(document));
        now = opened.addSecs(1800);
        QVERIFY(!store.isItemActive(document)); // no prune has run, and it is stale all the same
        QCOMPARE(store.recentOpenedAt().size(), 2);
        store.pruneRecentItems();
        QVERIFY(store.recentOpenedAt().isEmpty());
        // A clock set back counts as recent.
        store.markOpened(document);
        now = opened;
        QVERIFY(store.isItemActive(document));
        WorkspaceNotifications::install(nullptr);
        RunningApplications::install(nullptr);
    }

    void runningApplicationsFollowTheWorkspace()
    {
        auto notifications = std::make_unique<FakeWorkspaceNotifications>();
        FakeWorkspaceNotifications *workspace = notifications.get();
        WorkspaceNotifications::install(std::move(notifications));
        auto applications = std::make_unique<FakeRunningApplications>();
        FakeRunningApplications *running = applications.get();
        RunningApplications::install(std::move(applications));
        running->running = {{QStringLiteral("org.example.Editor"), QStringLiteral("Editor"), QStringLiteral("/Apps/Editor.app"), 11},
                            {QStringLiteral("org.example.editor"), QStringLiteral("editor"), QStringLiteral("/apps/editor.app/"), 12},
                            {QString(), QStringLiteral("Bare"), QString(), 13}};
        ShortcutStateStore store;
        QCOMPARE(store.runningBundleIDs().size(), 2);
        QCOMPARE(store.runningAppPaths(), QSet<QString>{QStringLiteral("/apps/editor.app")});
        const AppItem editor = item(QStringLiteral("org.example.Editor"), QStringLiteral("/Apps/Editor.app"));
        const AppItem byPath = item(QStringLiteral("org.other.EDITOR"), QStringLiteral("/APPS/EDITOR.APP"));
        QVERIFY(store.isItemActive(editor));
        QVERIFY(store.isItemActive(byPath));

        QSignalSpy changed(&store, &ShortcutStateStore::runningAppsChanged);
        running->running.clear();
        workspace->post(WorkspaceNotifications::Kind::DidTerminateApplication);
        QTRY_COMPARE(changed.count(), 1);
        QVERIFY(!store.isItemActive(editor));
        workspace->post(WorkspaceNotifications::Kind::DidActivateApplication); // nothing changed
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 1);
        // Opened from the popup, an application counts at once, running or not.
        store.markOpened(editor);
        QVERIFY(store.isItemActive(editor));
        WorkspaceNotifications::install(nullptr);
        RunningApplications::install(nullptr);
    }
};

KESTROWAN_TEST_MAIN(TestShortcuts)
#include "tst_shortcuts.moc"
