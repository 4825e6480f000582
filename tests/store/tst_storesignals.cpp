// The usage signals of the group store, seen where they end up: the product-analytics client posts
// each one to a loopback server, so what the test reads is what would have left the machine.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/UserDefaults.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "analytics/NVLXAnalytics.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString productAnalyticsOffKey = QStringLiteral("nvlx_analytics_ph_disabled");
const QString marker = QStringLiteral("test.marker");

} // namespace

class TestStoreSignals : public QObject {
    Q_OBJECT

private:
    LoopbackServer m_server;
    QString m_home;
    QString m_program;
    QString m_app;

    // Every capture received so far, in arrival order, as "event name=value ...". The client's own
    // "$"-properties are left out, so any other parameter shows up as a difference.
    QStringList events() const
    {
        QStringList found;
        for (const LoopbackServer::Request &request : m_server.requests()) {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            QString line = body.value(QStringLiteral("event")).toString();
            const QJsonObject properties = body.value(QStringLiteral("properties")).toObject();
            for (auto it = properties.begin(); it != properties.end(); ++it) {
                if (!it.key().startsWith(u'$'))
                    line += u' ' + it.key() + u'=' + (it.value().isString() ? it->toString() : QStringLiteral("<not text>"));
            }
            if (request.method != "POST" || request.path != "/capture/"
                || body.value(QStringLiteral("api_key")).toString() != QStringLiteral("test-key"))
                line += QStringLiteral(" <misaddressed>");
            found.append(line);
        }
        return found;
    }

    // Posts a marker and waits for it: what the steps before it posted has had its chance to arrive
    // by then. A stray post that lags behind the marker can hide a fault, never fail a sound run.
    bool nothingMoreThan(const QStringList &expected)
    {
        NVLXAnalytics::signal(marker);
        if (!QTest::qWaitFor([this] { return events().contains(marker); }, 20000))
            return false;
        QStringList received = events();
        received.removeOne(marker);
        if (received == expected)
            return true;
        qWarning() << "expected" << expected << "received" << received;
        return false;
    }

    std::unique_ptr<GroupManager> makeManager() const { return startedManager(m_program); }
    AppGroup createFilledGroup(GroupManager &manager, const QString &name, int itemCount) const
    {
        AppGroup group = manager.createGroup();
        group.name = name;
        for (int i = 0; i < itemCount; ++i)
            group.apps.append(makeItem(QStringLiteral("com.example.app%1").arg(i), QStringLiteral("App %1").arg(i), m_app));
        manager.updateGroup(group);
        return group;
    }
    // A ".group_id" that is a folder cannot be written, so the group's mirror folder cannot be built.
    void breakMirrorFolder(const AppGroup &group) const
    {
        makeFolder(groupsDirectoryURL() + u'/' + ModelJson::uuidText(group.id) + QStringLiteral("/.group_id"));
    }
    static bool sync(GroupManager &manager, const AppGroup &group)
    {
        return awaitCompletion<bool>([&](std::function<void(bool)> done) { manager.syncGroupToDock(group, true, nullptr, done); })
            .value_or(false);
    }
    static bool syncAll(GroupManager &manager)
    {
        return awaitDone([&](std::function<void()> done) { manager.syncAllGroupsToDock(nullptr, done); });
    }
    static bool remove(GroupManager &manager, const AppGroup &group, bool keepDock)
    {
        return awaitDone([&](std::function<void()> done) { manager.deleteGroup(group, keepDock, done); });
    }

private slots:
    void initTestCase()
    {
        m_home = qEnvironmentVariable("HOME");
        m_program = writeProgramStandIn(m_home);
        m_app = makeFolder(m_home + QStringLiteral("/Applications/Mail.app"));
        NVLXAnalytics::configure(std::nullopt, QStringLiteral("test-key"), m_server.baseURL().toString());
    }

    void init()
    {
        resetToFirstStart();
        UserDefaults::standard().remove(productAnalyticsOffKey);
        m_server.clear();
    }

    // Each count is the number stored once the change is made, whichever way the group leaves.
    void creatingAndDeletingReportTheGroupCount()
    {
        auto manager = makeManager();
        QStringList expected;
        const AppGroup loose = manager->createGroup();
        expected << QStringLiteral("group.created total_groups=1");
        QTRY_COMPARE(events(), expected);
        const AppGroup docked = createFilledGroup(*manager, QStringLiteral("Docked"), 1);
        expected << QStringLiteral("group.created total_groups=2");
        QTRY_COMPARE(events(), expected);
        const AppGroup kept = createFilledGroup(*manager, QStringLiteral("Kept"), 1);
        expected << QStringLiteral("group.created total_groups=3");
        QTRY_COMPARE(events(), expected);
        for (const AppGroup &group : {docked, kept}) {
            QVERIFY(sync(*manager, group));
            expected << QStringLiteral("dock.synced app_count=1");
            QTRY_COMPARE(events(), expected);
        }

        // No mirror folder: the group goes at once.
        QVERIFY(remove(*manager, loose, false));
        expected << QStringLiteral("group.deleted total_groups=2");
        QTRY_COMPARE(events(), expected);
        // In the Dock: the signal waits for the tile's removal.
        QVERIFY(remove(*manager, docked, false));
        QVERIFY(!manager->findMirrorFolder(docked));
        expected << QStringLiteral("group.deleted total_groups=1");
        QTRY_COMPARE(events(), expected);
        // The Dock's tile stays, the group still goes.
        QVERIFY(remove(*manager, kept, true));
        QCOMPARE(persistentOthers().size(), 1);
        expected << QStringLiteral("group.deleted total_groups=0");
        QTRY_COMPARE(events(), expected);
        QVERIFY(manager->groups().isEmpty());

        // Loading the groups back and saving them are not user actions.
        auto relaunched = makeManager();
        relaunched->saveGroups();
        QVERIFY(nothingMoreThan(expected));
    }

    // Only a sync that reached the Dock is reported: one signal per group, or one for a whole batch.
    void onlySyncsThatReachedTheDockAreReported()
    {
        auto manager = makeManager();
        QStringList expected;
        // One at a time: posts made together may arrive in any order.
        const AppGroup three = createFilledGroup(*manager, QStringLiteral("Three"), 3);
        expected << QStringLiteral("group.created total_groups=1");
        QTRY_COMPARE(events(), expected);
        const AppGroup empty = manager->createGroup();
        expected << QStringLiteral("group.created total_groups=2");
        QTRY_COMPARE(events(), expected);
        createFilledGroup(*manager, QStringLiteral("Two"), 2);
        expected << QStringLiteral("group.created total_groups=3");
        QTRY_COMPARE(events(), expected);

        QVERIFY(sync(*manager, three));
        expected << QStringLiteral("dock.synced app_count=3");
        QTRY_COMPARE(events(), expected);
        // An empty group syncs like any other.
        QVERIFY(sync(*manager, empty));
        expected << QStringLiteral("dock.synced app_count=0");
        QTRY_COMPARE(events(), expected);

        // Every group with items, one of which cannot be prepared: the count is of the tiles written.
        const AppGroup broken = createFilledGroup(*manager, QStringLiteral("Broken"), 1);
        expected << QStringLiteral("group.created total_groups=4");
        QTRY_COMPARE(events(), expected);
        breakMirrorFolder(broken);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to prepare group 'Broken' for dock: ")));
        QVERIFY(syncAll(*manager));
        expected << QStringLiteral("dock.batch_synced group_count=2");
        QTRY_COMPARE(events(), expected);

        // Nothing reported when nothing reached the Dock.
        breakMirrorFolder(broken);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to sync group 'Broken' to dock: ")));
        QVERIFY(!sync(*manager, broken));
        // The tiles gone, and the system refusing the program's changes of the Dock's list.
        QVERIFY(DockService::writePersistentOthers({}));
        std::optional<RefusedDockWrites> refused(std::in_place);
        QVERIFY(!sync(*manager, three));
        QVERIFY(syncAll(*manager));
        refused.reset();
        DockService::clearSyncBlock();
        manager->setGroups({empty});
        QVERIFY(syncAll(*manager));
        QVERIFY(nothingMoreThan(expected));
    }

    void switchedOffProductAnalyticsSendsNothing()
    {
        UserDefaults::standard().setValue(productAnalyticsOffKey, true);
        auto manager = makeManager();
        const AppGroup loose = manager->createGroup();
        const AppGroup filled = createFilledGroup(*manager, QStringLiteral("Filled"), 2);
        QVERIFY(sync(*manager, filled));
        QVERIFY(syncAll(*manager));
        QVERIFY(remove(*manager, loose, false));
        QVERIFY(remove(*manager, filled, false));
        QVERIFY(manager->groups().isEmpty());

        // The switch is read on every event: turned back on, the next one is sent.
        UserDefaults::standard().remove(productAnalyticsOffKey);
        QVERIFY(nothingMoreThan({}));
        manager->createGroup();
        QTRY_COMPARE(events(), (QStringList{marker, QStringLiteral("group.created total_groups=1")}));
    }
};

KESTROWAN_TEST_MAIN(TestStoreSignals)
#include "tst_storesignals.moc"
