#include "tests/analytics/InstalledClient.h"
#include "tests/support/TestMain.h"

#include "Tallyline/ApplicationActivity.h"
#include "Tallyline/DefaultSignalPayload.h"
#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/DurationSignalTracker.h"
#include "Tallyline/SessionManager.h"
#include "Tallyline/Tallyline.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qint64 day = 24 * 3600;

std::unique_ptr<DefaultsSuite> suite()
{
    return SignalHub::telemetryDefaultsSuite();
}

QByteArray sessionsJson(const QList<std::pair<qint64, qint64>> &startAndDuration)
{
    QJsonArray array;
    for (const auto &[start, duration] : startAndDuration)
        array.append(QJsonObject{{"st", start}, {"dn", duration}});
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QList<StoredSession> storedSessions()
{
    return StoredSession::decode(suite()->value("recentSessions").toByteArray()).value_or(QList<StoredSession>{});
}

} // namespace

class TallylineSessionsTest : public QObject
{
    Q_OBJECT

    InstalledClient m_client;
    FixedSignalPlatform &platform() { return *m_client.platform; }

    // A new launch: its own session record, which the payload reads.
    std::unique_ptr<SessionManager> launch()
    {
        auto manager = std::make_unique<SessionManager>();
        SessionManager *raw = manager.get();
        SessionStatisticsSource::installProvider([raw] { return raw; });
        [&] { QVERIFY(raw->waitForPersistence(10000)); }();
        return manager;
    }

    void advance(double seconds) { platform().clock = platform().clock.addMSecs(qint64(seconds * 1000)); }

private slots:
    void initTestCase()
    {
        m_client.install();
    }

    void init()
    {
        for (const char *key : {"recentSessions", "deletedSessionsCount", "firstSessionDate", "distinctDaysUsed"})
            suite()->remove(key);
        // Five hours west: the local day ends at 05:00 UTC.
        platform().zone = QTimeZone(-5 * 3600);
        platform().clock = QDateTime(QDate(2026, 12, 7), QTime(4, 59, 30), QTimeZone::utc());
        InstalledClient::takeRecords();
    }

    void cleanup()
    {
        SessionStatisticsSource::installProvider(nullptr);
    }

    void firstLaunchSessionAcrossMidnightAndInactiveTime()
    {
        auto manager = launch();
        QCOMPARE(suite()->stringList("distinctDaysUsed"), QStringList{"2026-12-06"});
        QVERIFY(!suite()->value("deletedSessionsCount").isValid());

        manager->beginSessionStats();
        QVERIFY(manager->isMeasuring());
        const QList<SignalPostBody> records = InstalledClient::takeRecords();
        QCOMPARE(InstalledClient::types(records), QStringList{"Tallyline.Acquisition.newInstallDetected"});
        QCOMPARE(records[0].payload.value("Tallyline.Acquisition.firstSessionDate"), QStringLiteral("2026-12-06"));

        // Below a second nothing is stored.
        advance(0.6);
        manager->updateSessionDuration();
        QVERIFY(manager->recentSessions().isEmpty());

        // 23:59:30 to 00:00:40 local: one session, used on both days.
        advance(69.4);
        manager->updateSessionDuration();
        QVERIFY(manager->waitForPersistence(10000));
        QCOMPARE(storedSessions().size(), 1);
        QCOMPARE(storedSessions()[0].durationInSeconds, 70);
        QCOMPARE(storedSessions()[0].startedAt.toSecsSinceEpoch(), QDateTime(QDate(2026, 12, 7), QTime(4, 59, 30), QTimeZone::utc()).toSecsSinceEpoch());
        QCOMPARE(suite()->stringList("distinctDaysUsed"), (QStringList{"2026-12-06", "2026-12-07"}));
        QCOMPARE(suite()->string("firstSessionDate"), QStringLiteral("2026-12-06"));

        // Ten minutes with another program in front count for nothing; the same entry goes on.
        ApplicationActivity::postDidResignActive();
        QVERIFY(!manager->isMeasuring());
        advance(600);
        ApplicationActivity::postWillBecomeActive();
        QVERIFY(manager->isMeasuring());
        advance(5);
        manager->updateSessionDuration();
        QVERIFY(manager->waitForPersistence(10000));
        QCOMPARE(storedSessions().size(), 1);
        QCOMPARE(storedSessions()[0].durationInSeconds, 75);

        // The next session keeps the first as the previous one.
        manager->beginSessionStats();
        advance(3);
        manager->updateSessionDuration();
        QVERIFY(manager->waitForPersistence(10000));
        QCOMPARE(InstalledClient::takeRecords().size(), 0);
        const QMap<QString, QString> p = DefaultSignalPayload::parameters();
        QCOMPARE(p.value("Tallyline.Retention.totalSessionsCount"), QStringLiteral("2"));
        QCOMPARE(p.value("Tallyline.Retention.previousSessionSeconds"), QStringLiteral("75"));
        QCOMPARE(p.value("Tallyline.Retention.averageSessionSeconds"), QStringLiteral("75"));
        QCOMPARE(p.value("Tallyline.Retention.distinctDaysUsed"), QStringLiteral("2"));
        QCOMPARE(p.value("Tallyline.Acquisition.firstSessionDate"), QStringLiteral("2026-12-06"));
    }

    void oldSessionsAreDroppedAndCountedOnce()
    {
        const qint64 now = platform().clock.toSecsSinceEpoch();
        suite()->setValue("recentSessions", sessionsJson({{now - 100 * day, 10}, {now - 90 * day, 20}, {now - day, 7}}));
        suite()->setValue("deletedSessionsCount", 3);

        auto first = launch();
        QCOMPARE(first->recentSessionDurations(), QList<qint64>{7});
        QCOMPARE(suite()->integer("deletedSessionsCount"), 5);
        first.reset();

        // A launch that ends before any session lasts a second must not count the same two again.
        auto second = launch();
        QCOMPARE(second->recentSessionDurations(), QList<qint64>{7});
        QCOMPARE(suite()->integer("deletedSessionsCount"), 5);
        QCOMPARE(DefaultSignalPayload::parameters().value("Tallyline.Retention.totalSessionsCount"), QStringLiteral("6"));
        second.reset();

        // After 91 days away every session is old: a new install, counted from that day.
        advance(91 * day);
        auto third = launch();
        QVERIFY(third->recentSessions().isEmpty());
        QCOMPARE(suite()->integer("deletedSessionsCount"), 6);
        third->beginSessionStats();
        QVERIFY(third->waitForPersistence(10000));
        QCOMPARE(InstalledClient::types(InstalledClient::takeRecords()), QStringList{"Tallyline.Acquisition.newInstallDetected"});
        QCOMPARE(suite()->string("firstSessionDate"), QStringLiteral("2027-03-07"));
    }

    void averagesAndUnreadableRecords()
    {
        const qint64 now = platform().clock.toSecsSinceEpoch();
        suite()->setValue("recentSessions", sessionsJson({{now - 30, 10}, {now - 20, 20}, {now - 10, 7}}));
        auto manager = launch();
        QCOMPARE(manager->averageSessionSeconds(), 15);
        const QMap<QString, QString> p = DefaultSignalPayload::parameters();
        QCOMPARE(p.value("Tallyline.Retention.previousSessionSeconds"), QStringLiteral("20"));
        QCOMPARE(p.value("Tallyline.Retention.averageSessionSeconds"), QStringLiteral("15"));
        manager.reset();

        suite()->setValue("recentSessions", sessionsJson({{now - 10, 7}}));
        manager = launch();
        QCOMPARE(manager->averageSessionSeconds(), 7);

        // Garbage is no sessions; it stays as it is until a session replaces it.
        suite()->setValue("recentSessions", QByteArray("[{\"st\":\"soon\"}]"));
        suite()->setValue("deletedSessionsCount", 2);
        manager = launch();
        QCOMPARE(manager->averageSessionSeconds(), -1);
        QCOMPARE(suite()->value("recentSessions").toByteArray(), QByteArray("[{\"st\":\"soon\"}]"));
        QCOMPARE(suite()->integer("deletedSessionsCount"), 2);

        // Fractions of a second are read and dropped when written.
        const auto decoded = StoredSession::decode("[{\"st\":1.5,\"dn\":4}]");
        QVERIFY(decoded);
        QCOMPARE(decoded->constFirst().startedAt.toMSecsSinceEpoch(), 1500);
        QCOMPARE(StoredSession::encode(*decoded), QByteArray("[{\"dn\":4,\"st\":1}]"));
        for (const char *bad : {"{}", "[1]", "[{\"st\":1}]", "[{\"st\":1,\"dn\":1.5}]", "[{\"st\":1e300,\"dn\":1}]", "nonsense"})
            QVERIFY2(!StoredSession::decode(bad), bad);
    }

    void distinctDaysFollowTheLocalCalendar()
    {
        launch();
        launch(); // the same day twice: once
        advance(day);
        launch();
        advance(-day);
        const auto manager = launch(); // back to the first day: recorded again, in order
        QCOMPARE(suite()->stringList("distinctDaysUsed"), (QStringList{"2026-12-06", "2026-12-07", "2026-12-06"}));

        // Ten hours east at 08:00 on 7 December it is still 6 December in UTC. The month back
        // starts on 7 November for this user, not on the 6th.
        platform().zone = QTimeZone(10 * 3600);
        platform().clock = QDateTime(QDate(2026, 12, 6), QTime(22, 0), QTimeZone::utc());
        suite()->setValue("distinctDaysUsed", QStringList{"2026-11-06", "2026-11-07", "2026-12-07"});
        const QMap<QString, QString> p = DefaultSignalPayload::parameters();
        QCOMPARE(p.value("Tallyline.Retention.distinctDaysUsedLastMonth"), QStringLiteral("2"));
        QCOMPARE(p.value("Tallyline.Retention.distinctDaysUsed"), QStringLiteral("3"));
        QCOMPARE(SessionManager::countDistinctDaysSince("2026-11-07", {"2026-11-06", "2026-11-07", "2027-01-01"}), 2);
    }

    void durationsLeaveOutInactiveTime()
    {
        auto stopped = [&](const QString &name, const QMap<QString, QString> &stopParameters = {}) {
            Tallyline::stopAndSendDurationSignal(name, stopParameters);
            const QList<SignalPostBody> records = InstalledClient::takeRecords();
            return records.isEmpty() ? SignalPostBody{} : records.constLast();
        };

        Tallyline::startDurationSignal("Export", {{"format", "png"}});
        advance(2.5);
        SignalPostBody export_ = stopped("Export", {{"format", "pdf"}});
        QCOMPARE(export_.type, QStringLiteral("Export"));
        QCOMPARE(export_.payload.value("Tallyline.Signal.durationInSeconds"), QStringLiteral("2.5"));
        QCOMPARE(export_.payload.value("format"), QStringLiteral("pdf"));

        // Inactive while running: left out unless asked for.
        Tallyline::startDurationSignal("Plain");
        Tallyline::startDurationSignal("Whole", {}, true);
        ApplicationActivity::postDidResignActive();
        advance(10);
        ApplicationActivity::postWillBecomeActive();
        advance(5);
        QCOMPARE(stopped("Plain").payload.value("Tallyline.Signal.durationInSeconds"), QStringLiteral("5.0"));
        QCOMPARE(stopped("Whole").payload.value("Tallyline.Signal.durationInSeconds"), QStringLiteral("15.0"));

        // Started while inactive: counted from the return, never below zero.
        ApplicationActivity::postDidResignActive();
        advance(10);
        Tallyline::startDurationSignal("Late");
        advance(20);
        ApplicationActivity::postWillBecomeActive();
        advance(3);
        QCOMPARE(stopped("Late").payload.value("Tallyline.Signal.durationInSeconds"), QStringLiteral("3.0"));

        // Stopped before the application is back: the stretch so far is left out too.
        Tallyline::startDurationSignal("Away");
        advance(2);
        ApplicationActivity::postDidResignActive();
        advance(10);
        QCOMPARE(stopped("Away").payload.value("Tallyline.Signal.durationInSeconds"), QStringLiteral("2.0"));
        ApplicationActivity::postWillBecomeActive();

        // A second start restarts; the start's parameter beats the measured time, the stop's beats both.
        Tallyline::startDurationSignal("Twice", {{"n", "1"}});
        advance(3);
        Tallyline::startDurationSignal("Twice", {{"n", "2"}});
        advance(1);
        SignalPostBody twice = stopped("Twice");
        QCOMPARE(twice.payload.value("Tallyline.Signal.durationInSeconds"), QStringLiteral("1.0"));
        QCOMPARE(twice.payload.value("n"), QStringLiteral("2"));
        Tallyline::startDurationSignal("Given", {{"Tallyline.Signal.durationInSeconds", "start"}});
        QCOMPARE(stopped("Given").payload.value("Tallyline.Signal.durationInSeconds"), QStringLiteral("start"));
        Tallyline::startDurationSignal("Given", {{"Tallyline.Signal.durationInSeconds", "start"}});
        QCOMPARE(stopped("Given", {{"Tallyline.Signal.durationInSeconds", "stop"}}).payload.value("Tallyline.Signal.durationInSeconds"),
                 QStringLiteral("stop"));

        // Nothing started, or cancelled: nothing sent.
        Tallyline::stopAndSendDurationSignal("Never");
        Tallyline::startDurationSignal("Dropped");
        Tallyline::cancelDurationSignal("Dropped");
        Tallyline::stopAndSendDurationSignal("Dropped");
        QVERIFY(InstalledClient::takeRecords().isEmpty());

        QCOMPARE(DurationSignalTracker::durationText(12.3456), QStringLiteral("12.345"));
        QCOMPARE(DurationSignalTracker::durationText(0.0004), QStringLiteral("0.0"));
        QCOMPARE(DurationSignalTracker::durationText(8640000.25), QStringLiteral("8640000.25"));
    }
};

KESTROWAN_TEST_MAIN(TallylineSessionsTest)
#include "tst_tallyline_sessions.moc"
