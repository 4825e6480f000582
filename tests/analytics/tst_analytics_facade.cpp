#include "tests/analytics/QuietTimings.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestMain.h"

#include "Platform/UserDefaults.h"
#include "Tallyline/ApplicationActivity.h"
#include "Tallyline/SignalCache.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalManager.h"
#include "Tallyline/SignalTimings.h"
#include "analytics/HawklineClient.h"
#include "analytics/NVLXAnalytics.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QGuiApplication>
#include <QTimeZone>

namespace {

const QString tdKey = QStringLiteral("nvlx_analytics_td_disabled");
const QString legacyKey = QStringLiteral("nvlx_analytics_disabled");
const QString phKey = QStringLiteral("nvlx_analytics_ph_disabled");
const QString appID = QStringLiteral("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");

QJsonObject bodyOf(const LoopbackServer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

QStringList capturedEvents(const LoopbackServer &server)
{
    QStringList events;
    for (const auto &request : server.requestsTo("/capture/"))
        events.append(bodyOf(request).value("event").toString());
    return events;
}

std::shared_ptr<SignalManager> installedManager()
{
    return std::dynamic_pointer_cast<SignalManager>(SignalHub::shared()->signalManager());
}

// The usage signals the installed client has recorded so far (taken out of its cache).
QStringList takeUsageSignals()
{
    QCoreApplication::processEvents();
    const auto manager = installedManager();
    if (!manager || !manager->waitForBackgroundWork(5000))
        return {QStringLiteral("<no client>")};
    QStringList types;
    while (manager->signalCache()->signalCount() > 0) {
        for (const SignalPostBody &record : manager->signalCache()->popSignalBatch())
            types.append(record.type);
    }
    return types;
}

// Sets a switch: -1 leaves the key absent.
void setSwitch(const QString &key, int value)
{
    if (value < 0)
        UserDefaults::standard().remove(key);
    else
        UserDefaults::standard().setValue(key, value == 1);
}

} // namespace

class AnalyticsFacadeTest : public QObject
{
    Q_OBJECT

    LoopbackServer m_server;

    QString hawklineHost() const { return m_server.baseURL().toString(); }

private slots:
    void initTestCase()
    {
        useQuietSignalTimings();
        SignalHubConfiguration::setDefaultAPIBaseURL(m_server.baseURL());
    }

    void init()
    {
        for (const QString &key : {tdKey, legacyKey, phKey})
            UserDefaults::standard().remove(key);
    }

    // Runs first: the facade's state lives for the whole process.
    void eventsBeforeConfigureGoNowhere()
    {
        NVLXAnalytics::signal(QStringLiteral("too.early"), {{"a", "b"}});
        NVLXAnalytics::identify(QStringLiteral("nobody"));
        QVERIFY(!SignalHub::isInitialized());
        QTest::qWait(50);
        QVERIFY(m_server.requests().isEmpty());
    }

    void buildWithoutIdentifiersSetsUpNothing()
    {
        QTest::ignoreMessage(QtInfoMsg, "Analytics are not configured in this build; no usage signals or product analytics are sent");
        NVLXAnalytics::configureFromBuild(BundleInformation::analytics(QVariantMap{}));
        NVLXAnalytics::signal(QStringLiteral("nowhere"));
        QVERIFY(!SignalHub::isInitialized());
        QTest::qWait(50);
        QVERIFY(m_server.requests().isEmpty());
    }

    void bundleInformationCarriesTheBuildConfiguration()
    {
        const QRegularExpression version(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"));
        QVERIFY(version.match(BundleInformation::string(QStringLiteral("CFBundleShortVersionString")).value_or(QString())).hasMatch());
        QVERIFY(BundleInformation::string(QStringLiteral("CFBundleVersion")));

        const BundleInformation::Analytics full = BundleInformation::analytics(
            {{QStringLiteral("KestrowanTallylineAppID"), appID},
             {QStringLiteral("KestrowanTallylineBaseURL"), QStringLiteral("https://signals.example.org")},
             {QStringLiteral("KestrowanHawklineAPIKey"), QStringLiteral("key")},
             {QStringLiteral("KestrowanHawklineHost"), QStringLiteral("https://events.example.org")}});
        QCOMPARE(full.tallylineAppID, std::optional<QString>(appID));
        QCOMPARE(full.tallylineBaseURL, std::optional<QUrl>(QUrl(QStringLiteral("https://signals.example.org"))));
        QCOMPARE(full.hawklineAPIKey, std::optional<QString>(QStringLiteral("key")));
        QCOMPARE(full.hawklineHost, QStringLiteral("https://events.example.org"));

        // Blank values, a base URL that is no URL, and a key without a host set up nothing.
        const BundleInformation::Analytics odd = BundleInformation::analytics(
            {{QStringLiteral("KestrowanTallylineAppID"), QStringLiteral("  ")},
             {QStringLiteral("KestrowanTallylineBaseURL"), QStringLiteral("not a url")},
             {QStringLiteral("KestrowanHawklineAPIKey"), QStringLiteral("key")}});
        QCOMPARE(odd.tallylineAppID, std::nullopt);
        QCOMPARE(odd.tallylineBaseURL, std::nullopt);
        QCOMPARE(odd.hawklineAPIKey, std::nullopt);
    }

    void keyWithoutAppIDConfiguresOnlyProductAnalytics()
    {
        NVLXAnalytics::configure(std::nullopt, QStringLiteral("key-1"), hawklineHost());
        QVERIFY(!SignalHub::isInitialized());
        NVLXAnalytics::signal(QStringLiteral("only.hawkline"));
        QTRY_COMPARE(capturedEvents(m_server), QStringList{"only.hawkline"});
        QCOMPARE(bodyOf(m_server.requests().constFirst()).value("api_key").toString(), QStringLiteral("key-1"));
        m_server.clear();
    }

    void buildIdentifiersConfigureBothBackEnds()
    {
        const QUrl before = SignalHubConfiguration::defaultAPIBaseURL();
        NVLXAnalytics::configureFromBuild({appID, m_server.baseURL(), QStringLiteral("key-build"), hawklineHost()});
        QVERIFY(SignalHub::isInitialized());
        QCOMPARE(SignalHubConfiguration::defaultAPIBaseURL(), m_server.baseURL());
        NVLXAnalytics::signal(QStringLiteral("from.build"));
        QCOMPARE(takeUsageSignals(), QStringList{"from.build"});
        QTRY_COMPARE(capturedEvents(m_server), QStringList{"from.build"});
        QCOMPARE(bodyOf(m_server.requests().constFirst()).value("api_key").toString(), QStringLiteral("key-build"));
        SignalHubConfiguration::setDefaultAPIBaseURL(before);
        m_server.clear();
    }

    void configureSetsUpBothBackEnds()
    {
        NVLXAnalytics::configure(appID, QStringLiteral("key-2"), hawklineHost() + QStringLiteral("/"));
        QVERIFY(SignalHub::isInitialized());
        NVLXAnalytics::signal(QStringLiteral("app.launched"), {{"channel", "full"}});
        QCOMPARE(takeUsageSignals(), QStringList{"app.launched"});
        QTRY_COMPARE(capturedEvents(m_server), QStringList{"app.launched"});
        QCOMPARE(bodyOf(m_server.requests().constFirst()).value("api_key").toString(), QStringLiteral("key-2"));
        m_server.clear();
    }

    void usageSignalsCarryThisMachinesValues()
    {
        NVLXAnalytics::signal(QStringLiteral("probe"));
        QCoreApplication::processEvents();
        const auto manager = installedManager();
        QVERIFY(manager->waitForBackgroundWork(5000));
        const QList<SignalPostBody> records = manager->signalCache()->popSignalBatch();
        QCOMPARE(records.size(), 1);
        const SignalPostBody &record = records.first();
        QCOMPARE(record.appID, appID);
        QVERIFY(record.payload.value("Tallyline.Device.screenResolutionWidth").endsWith(".0"));
        QVERIFY(QStringList({"Light", "Dark"}).contains(record.payload.value("Tallyline.UserPreference.colorScheme")));
        QCOMPARE(record.payload.value("Tallyline.UserPreference.layoutDirection"), QStringLiteral("leftToRight"));
        QVERIFY(QRegularExpression("^macOS \\d+\\.\\d+\\.\\d+$").match(record.payload.value("systemVersion")).hasMatch());
        QVERIFY(!record.payload.value("modelName").isEmpty());
        // Versions come from the bundle information the build fills in.
        QCOMPARE(record.payload.value("appVersion"), BundleInformation::string(QStringLiteral("CFBundleShortVersionString")).value());
        QCOMPARE(record.payload.value("buildNumber"), BundleInformation::string(QStringLiteral("CFBundleVersion")).value());
        QVERIFY(record.payload.value("appVersion") != QStringLiteral("0"));

        // The client's suite lives in the program's own defaults store.
        const QString suiteName = SignalHub::telemetryDefaultsSuiteName(appID);
        const QString user = UserDefaults::suite(suiteName).string(QStringLiteral("defaultUserIdentifier"));
        QCOMPARE(user.size(), 36);
        QCOMPARE(SignalHub::shared()->hashedDefaultUser(), record.clientUser);
        m_server.clear();
    }

    void programSignalsCarryRetentionFigures()
    {
        // The first signal's payload brings the session record to life, which notes today as a day
        // of use in the client's suite.
        NVLXAnalytics::signal(QStringLiteral("first"));
        const QString suiteName = SignalHub::telemetryDefaultsSuiteName(appID);
        QTRY_COMPARE_WITH_TIMEOUT(UserDefaults::suite(suiteName).stringList(QStringLiteral("distinctDaysUsed")).size(), 1, 20000);
        takeUsageSignals();

        NVLXAnalytics::signal(QStringLiteral("group.created"));
        QCoreApplication::processEvents();
        QVERIFY(installedManager()->waitForBackgroundWork(5000));
        const QList<SignalPostBody> records = installedManager()->signalCache()->popSignalBatch();
        QCOMPARE(records.size(), 1);
        const QMap<QString, QString> &payload = records.first().payload;
        QCOMPARE(payload.value("Tallyline.Retention.distinctDaysUsed"), QStringLiteral("1"));
        QCOMPARE(payload.value("Tallyline.Retention.distinctDaysUsedLastMonth"), QStringLiteral("1"));
        QCOMPARE(payload.value("Tallyline.Retention.totalSessionsCount"), QStringLiteral("0"));
        QCOMPARE(payload.value("Tallyline.Retention.averageSessionSeconds"), QStringLiteral("-1"));
        QVERIFY(payload.contains("Tallyline.Acquisition.firstSessionDate"));
        m_server.clear();
    }

    void activationReachesTheClient()
    {
        QStringList seen;
        const int token = ApplicationActivity::addObserver([&] { seen.append("resign"); }, [&] { seen.append("active"); });
        auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
        QVERIFY(application);
        emit application->applicationStateChanged(Qt::ApplicationActive);
        emit application->applicationStateChanged(Qt::ApplicationInactive);
        emit application->applicationStateChanged(Qt::ApplicationHidden); // still away: once is enough
        emit application->applicationStateChanged(Qt::ApplicationActive);
        ApplicationActivity::removeObserver(token);
        // Whichever state the offscreen platform started in, the moves alternate.
        const QStringList tail = seen.mid(seen.size() - 2);
        QCOMPARE(tail, (QStringList{"resign", "active"}));
        QVERIFY(seen.size() <= 3);
    }

    void offSwitches_data()
    {
        QTest::addColumn<int>("td");
        QTest::addColumn<int>("legacy");
        QTest::addColumn<int>("ph");
        QTest::addColumn<bool>("tallyline");
        QTest::addColumn<bool>("hawkline");
        QTest::addColumn<bool>("any");
        QTest::newRow("all absent") << -1 << -1 << -1 << true << true << true;
        QTest::newRow("usage off") << 1 << -1 << -1 << false << true << true;
        QTest::newRow("usage off, legacy says on") << 1 << 0 << -1 << false << true << true;
        QTest::newRow("legacy off only") << 0 << 1 << -1 << false << true << true;
        QTest::newRow("legacy off, no usage key") << -1 << 1 << -1 << false << true << true;
        QTest::newRow("product off") << -1 << -1 << 1 << true << false << true;
        QTest::newRow("product explicitly on") << 0 << 0 << 0 << true << true << true;
        QTest::newRow("everything off") << 1 << -1 << 1 << false << false << false;
        QTest::newRow("legacy and product off") << -1 << 1 << 1 << false << false << false;
    }
    void offSwitches()
    {
        QFETCH(int, td);
        QFETCH(int, legacy);
        QFETCH(int, ph);
        QFETCH(bool, tallyline);
        QFETCH(bool, hawkline);
        QFETCH(bool, any);
        setSwitch(tdKey, td);
        setSwitch(legacyKey, legacy);
        setSwitch(phKey, ph);
        QCOMPARE(NVLXAnalytics::isTallylineEnabled(), tallyline);
        QCOMPARE(NVLXAnalytics::isHawklineEnabled(), hawkline);
        QCOMPARE(NVLXAnalytics::isEnabled(), any);

        m_server.clear();
        NVLXAnalytics::signal(QStringLiteral("switched"));
        QCOMPARE(takeUsageSignals(), tallyline ? QStringList{"switched"} : QStringList());
        // A marker sent with everything on shows that the product-analytics post had its chance.
        init();
        NVLXAnalytics::signal(QStringLiteral("marker"));
        QTRY_VERIFY(capturedEvents(m_server).contains("marker"));
        QCOMPARE(capturedEvents(m_server).contains("switched"), hawkline);
        takeUsageSignals();
    }

    void settersWriteTheSwitches()
    {
        UserDefaults &defaults = UserDefaults::standard();
        defaults.setValue(legacyKey, true);
        QVERIFY(!NVLXAnalytics::isTallylineEnabled());
        NVLXAnalytics::setTallylineEnabled(true);
        QVERIFY(!defaults.contains(legacyKey));
        QCOMPARE(defaults.value(tdKey), QVariant(false));
        QVERIFY(NVLXAnalytics::isTallylineEnabled());

        NVLXAnalytics::setHawklineEnabled(false);
        QCOMPARE(defaults.value(phKey), QVariant(true));
        defaults.setValue(legacyKey, true);
        NVLXAnalytics::setEnabled(false);
        QCOMPARE(defaults.value(tdKey), QVariant(true));
        QCOMPARE(defaults.value(phKey), QVariant(true));
        QVERIFY(!defaults.contains(legacyKey));
        QVERIFY(!NVLXAnalytics::isEnabled());
        NVLXAnalytics::setEnabled(true);
        QVERIFY(NVLXAnalytics::isTallylineEnabled() && NVLXAnalytics::isHawklineEnabled());
    }

    void identityFollowsTheProductSwitch()
    {
        UserDefaults &defaults = UserDefaults::standard();
        const QString before = defaults.string(HawklineClient::distinctIdKey());
        QCOMPARE(before.size(), 36);

        defaults.setValue(phKey, true);
        NVLXAnalytics::identify(QStringLiteral("ignored"));
        QCOMPARE(defaults.string(HawklineClient::distinctIdKey()), before);
        NVLXAnalytics::resetIdentity();
        const QString reset = defaults.string(HawklineClient::distinctIdKey());
        QVERIFY(reset != before);
        QCOMPARE(reset, reset.toUpper());
        NVLXAnalytics::signal(QStringLiteral("usage.only"));
        QCOMPARE(takeUsageSignals(), QStringList{"usage.only"});
    }

    void captureBodyIsExact()
    {
        m_server.clear();
        HawklineClient client(QStringLiteral("proj-key"), hawklineHost() + QStringLiteral("/"));
        client.setClock([] { return QDateTime(QDate(2026, 12, 6), QTime(18, 41, 0, 999), QTimeZone(3600)); });
        UserDefaults::standard().setValue(HawklineClient::distinctIdKey(), QStringLiteral("DISTINCT-1"));
        client.capture(QStringLiteral("popup.opened"),
                       {{"app_count", "3"}, {"$lib", "mine"}, {"$lib_version", "9"}});
        QTRY_COMPARE(m_server.requests().size(), 1);
        const LoopbackServer::Request request = m_server.requests().constFirst();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/capture/"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(QJsonDocument(bodyOf(request)).toJson(QJsonDocument::Compact),
                 QByteArray("{\"api_key\":\"proj-key\",\"distinct_id\":\"DISTINCT-1\",\"event\":\"popup.opened\","
                            "\"properties\":{\"$lib\":\"nvlx-analytics\",\"$lib_version\":\"1.0.0\",\"app_count\":\"3\"},"
                            "\"timestamp\":\"2026-12-06T17:41:00Z\"}"));

        m_server.clear();
        client.capture(QStringLiteral("empty"));
        QTRY_COMPARE(m_server.requests().size(), 1);
        QCOMPARE(bodyOf(m_server.requests().constFirst()).value("properties").toObject(),
                 (QJsonObject{{"$lib", "nvlx-analytics"}, {"$lib_version", "1.0.0"}}));
    }

    void hostKeepsAllButOneTrailingSlash()
    {
        QCOMPARE(HawklineClient("k", "https://h.example").host(), QStringLiteral("https://h.example"));
        QCOMPARE(HawklineClient("k", "https://h.example/").host(), QStringLiteral("https://h.example"));
        QCOMPARE(HawklineClient("k", "https://h.example//").host(), QStringLiteral("https://h.example/"));

        m_server.clear();
        HawklineClient doubled(QStringLiteral("k"), hawklineHost() + QStringLiteral("//"));
        doubled.capture(QStringLiteral("x"));
        // The network layer may fold the doubled slash on the wire; the request still arrives.
        QTRY_COMPARE(m_server.requests().size(), 1);
        QVERIFY(m_server.requests().constFirst().path.endsWith("/capture/"));

        // Not a URL at all: dropped before any request, without a complaint.
        HawklineClient broken(QStringLiteral("k"), QStringLiteral("not a host"));
        broken.capture(QStringLiteral("x"));
    }

    void distinctIdIsKeptUntilIdentified()
    {
        UserDefaults &defaults = UserDefaults::standard();
        defaults.remove(HawklineClient::distinctIdKey());
        HawklineClient first(QStringLiteral("k"), hawklineHost());
        const QString stored = defaults.string(HawklineClient::distinctIdKey());
        QCOMPARE(stored.size(), 36);
        HawklineClient second(QStringLiteral("k"), hawklineHost());
        QCOMPARE(defaults.string(HawklineClient::distinctIdKey()), stored);

        // Without a stored id every capture carries a fresh one, and none is stored.
        defaults.remove(HawklineClient::distinctIdKey());
        m_server.clear();
        second.capture(QStringLiteral("a"));
        second.capture(QStringLiteral("b"));
        QTRY_COMPARE(m_server.requests().size(), 2);
        QVERIFY(bodyOf(m_server.requests()[0]).value("distinct_id") != bodyOf(m_server.requests()[1]).value("distinct_id"));
        QVERIFY(!defaults.contains(HawklineClient::distinctIdKey()));

        defaults.setValue(HawklineClient::distinctIdKey(), QStringLiteral("OLD"));
        m_server.clear();
        second.identify(QStringLiteral("NEW"), {{"plan", "pro"}});
        QCOMPARE(defaults.string(HawklineClient::distinctIdKey()), QStringLiteral("NEW"));
        second.capture(QStringLiteral("after"));
        QTRY_COMPARE(m_server.requests().size(), 2);
        QJsonObject identify;
        QJsonObject after;
        for (const auto &request : m_server.requests()) {
            const QJsonObject body = bodyOf(request);
            (body.value("event") == QStringLiteral("$identify") ? identify : after) = body;
        }
        QCOMPARE(identify.value("distinct_id").toString(), QStringLiteral("NEW"));
        QCOMPARE(identify.value("properties").toObject(),
                 (QJsonObject{{"$anon_distinct_id", "OLD"}, {"$set", QJsonObject{{"plan", "pro"}, {"$lib", "nvlx-analytics"}}}}));
        QCOMPARE(after.value("distinct_id").toString(), QStringLiteral("NEW"));
    }

    // Last: it starts the client again with sessions that begin at once.
    void theUsageSwitchesStopTheClientsOwnSignalsAndItsCache_data()
    {
        QTest::addColumn<int>("td");
        QTest::addColumn<int>("legacy");
        QTest::newRow("usage off") << 1 << -1;
        QTest::newRow("both off") << 1 << 1;
        QTest::newRow("legacy off") << -1 << 1;
    }
    void theUsageSwitchesStopTheClientsOwnSignalsAndItsCache()
    {
        QFETCH(int, td);
        QFETCH(int, legacy);
        SignalTimings timings = SignalTimings::current();
        timings.firstSessionDelay = std::chrono::milliseconds(0);
        SignalTimings::setCurrent(timings);
        const QString cacheFile = SignalCache::signalCacheFileURL();
        QFile::remove(cacheFile);
        setSwitch(tdKey, td);
        setSwitch(legacyKey, legacy);
        // Product analytics stay out of it: no request of theirs is left open when the test ends.
        setSwitch(phKey, 1);
        m_server.clear();

        NVLXAnalytics::configure(appID);
        // The first session begins: with usage signals off, not even the client's own
        // "Tallyline.Session.started" is recorded.
        const QUuid beforeFirstSession = SignalHub::shared()->configuration()->sessionID();
        QTRY_VERIFY(SignalHub::shared()->configuration()->sessionID() != beforeFirstSession);
        QCOMPARE(takeUsageSignals(), QStringList());

        // Records the client holds when the switch is turned go nowhere: no send, no cache file.
        setSwitch(tdKey, -1);
        setSwitch(legacyKey, -1);
        NVLXAnalytics::signal(QStringLiteral("before.off"));
        QCoreApplication::processEvents();
        QVERIFY(installedManager()->waitForBackgroundWork(5000));
        QCOMPARE(installedManager()->signalCache()->signalCount(), 1);
        setSwitch(tdKey, td);
        setSwitch(legacyKey, legacy);
        installedManager()->sendCachedSignalBatch();
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
        QVERIFY(!QFile::exists(cacheFile));
        QVERIFY(m_server.requests().isEmpty());
        useQuietSignalTimings();
    }
};

KESTROWAN_TEST_MAIN(AnalyticsFacadeTest)
#include "tst_analytics_facade.moc"
