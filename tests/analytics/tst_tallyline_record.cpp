#include "tests/analytics/FixedSignalPlatform.h"
#include "tests/support/TestMain.h"

#include "Tallyline/DefaultSignalPayload.h"
#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/LogHandler.h"
#include "Tallyline/SessionStatisticsSource.h"
#include "Tallyline/Sha256Hex.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalJSONEncoder.h"
#include "Tallyline/SignalPostBody.h"
#include "Tallyline/SystemSignalPlatform.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace {

class MapSuite final : public DefaultsSuite
{
public:
    MapSuite() : DefaultsSuite(QStringLiteral("test")) {}
    QVariant value(const QString &key) const override { return values.value(key); }
    void setValue(const QString &key, const QVariant &value) override { values.insert(key, value); }
    void remove(const QString &key) override { values.remove(key); }
    QVariantMap values;
};

class FixedSessions final : public SessionStatisticsSource
{
public:
    void beginSessionStats() override {}
    qint64 averageSessionSeconds() const override { return 15; }
    QList<qint64> recentSessionDurations() const override { return durations; }
    QList<qint64> durations;
};

class Enricher final : public SignalEnricher
{
public:
    explicit Enricher(QMap<QString, QString> entries) : m_entries(std::move(entries)) {}
    QMap<QString, QString> enrich(const QString &, const std::optional<QString> &, std::optional<double>) const override
    {
        return m_entries;
    }

private:
    QMap<QString, QString> m_entries;
};

std::unique_ptr<SignalHubConfiguration> fixedConfiguration()
{
    auto configuration = std::make_unique<SignalHubConfiguration>(QStringLiteral("APP-1"), QStringLiteral("pepper"));
    configuration->setLogHandler(std::nullopt);
    return configuration;
}

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

class TallylineRecordTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SignalHubConfiguration> m_configuration;
    SignalHubConfiguration *fixedConfiguration_()
    {
        m_configuration = fixedConfiguration();
        return m_configuration.get();
    }

private slots:
    void hashesAreSaltedSha256()
    {
        QCOMPARE(sha256Hex(QString(), QString()), QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
        QCOMPARE(sha256Hex(QStringLiteral("user-1"), QStringLiteral("pepper")), sha256Hex(QStringLiteral("user-1pepper")));
        QCOMPARE(sha256Hex(QStringLiteral("ü")).size(), 64);
    }

    void logHandlerDeliversFromItsLevelUp()
    {
        QStringList received;
        auto collect = [&](LogHandler::LogLevel level, const QString &message) {
            received.append(LogHandler::description(level) + QLatin1Char(':') + message);
        };
        LogHandler errorsOnly(LogHandler::LogLevel::error, collect);
        errorsOnly.log(LogHandler::LogLevel::debug, QStringLiteral("d"));
        errorsOnly.log(LogHandler::LogLevel::info, QStringLiteral("i"));
        errorsOnly.log(LogHandler::LogLevel::error, QStringLiteral("e"));
        QCOMPARE(received, QStringList{QStringLiteral("ERROR:e")});

        received.clear();
        LogHandler everything(LogHandler::LogLevel::debug, collect);
        everything.log(LogHandler::LogLevel::debug, QStringLiteral("d"));
        everything.log(LogHandler::LogLevel::info, QStringLiteral("i"));
        everything.log(LogHandler::LogLevel::error, QStringLiteral("e"));
        QCOMPARE(received.size(), 3);

        QVERIFY(!LogHandler::levelFromRawValue(3));
        QVERIFY(!LogHandler::levelFromRawValue(-1));
        QCOMPARE(*LogHandler::levelFromRawValue(2), LogHandler::LogLevel::error);
    }

    void wireDatesAreWholeSecondsInUtc()
    {
        // 23:59:59.900 at UTC-5 is the next day in UTC; the fraction is cut, never rounded up.
        const QDateTime local(QDate(2026, 12, 31), QTime(23, 59, 59, 900), QTimeZone(-5 * 3600));
        QCOMPARE(SignalJSONEncoder::dateString(local), QStringLiteral("2027-01-01T04:59:59+0000"));
    }

    void recordEncodesExactlyOnTheWireAndInTheCache()
    {
        const SignalHubConfiguration &configuration = *fixedConfiguration_();
        FixedSignalPlatform platform;
        const auto record = SignalPostBody::build(configuration, QStringLiteral("app.launched"),
                                                  {{QStringLiteral("mode"), QStringLiteral("hover")}}, std::nullopt,
                                                  std::nullopt, {}, QStringLiteral("user-1"), platform.clock);
        QVERIFY(record);
        const QString session = configuration.sessionID().toString(QUuid::WithoutBraces).toUpper();
        const QString expectedStart =
            QStringLiteral("{\"appID\":\"APP-1\",\"clientUser\":\"3ec3e5ada7d357d0c5c638f71248a9815f7abbcbc14c29d0fbd0001d56b88875\","
                           "\"isTestMode\":\"false\",\"payload\":{\"mode\":\"hover\"},\"receivedAt\":");
        const QString expectedEnd = QStringLiteral(",\"sessionID\":\"%1\",\"type\":\"app.launched\"}").arg(session);
        QCOMPARE(compact(record->toJson(SignalPostBody::DateEncoding::wireText)),
                 expectedStart + QStringLiteral("\"2026-12-06T17:41:00+0000\"") + expectedEnd);
        QCOMPARE(compact(record->toJson(SignalPostBody::DateEncoding::referenceSeconds)),
                 expectedStart + QStringLiteral("818271660.25") + expectedEnd);

        // The cache form comes back equal, fraction of a second included.
        const auto restored = SignalPostBody::fromCacheJson(record->toJson(SignalPostBody::DateEncoding::referenceSeconds));
        QVERIFY(restored);
        QCOMPARE(*restored, *record);
    }

    void recordBuildingMergesAndRefuses()
    {
        SignalHubConfiguration &configuration = *fixedConfiguration_();
        configuration.setMetadataEnrichers({std::make_shared<Enricher>(QMap<QString, QString>{{"k", "first"}, {"e", "1"}}),
                                            std::make_shared<Enricher>(QMap<QString, QString>{{"k", "second"}, {"d", "enriched"}})});
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QMap<QString, QString> defaults{{"d", "default"}, {"p", "default"}, {"Tallyline.Device.platform", "macOS"}};
        const QMap<QString, QString> parameters{{"p", "given"}, {"Tallyline.Device.platform", "mine"}};

        auto record = SignalPostBody::build(configuration, "t", parameters, 0.0, QStringLiteral("custom"), defaults, "user-1", now);
        QVERIFY(record);
        QCOMPARE(record->payload.value("k"), QStringLiteral("second"));
        QCOMPARE(record->payload.value("d"), QStringLiteral("enriched"));
        QCOMPARE(record->payload.value("p"), QStringLiteral("given"));
        QCOMPARE(record->payload.value("Tallyline.Device.platform"), QStringLiteral("mine"));
        QCOMPARE(record->clientUser, sha256Hex("custom", "pepper"));
        QCOMPARE(record->toJson(SignalPostBody::DateEncoding::wireText).value("floatValue").toDouble(-1), 0.0);

        record = SignalPostBody::build(configuration, "t", {}, std::nullopt, std::nullopt, {}, "user-1", now);
        QVERIFY(!record->toJson(SignalPostBody::DateEncoding::wireText).contains("floatValue"));
        QCOMPARE(record->isTestMode, QStringLiteral("false"));
        configuration.setTestMode(true);
        QCOMPARE(SignalPostBody::build(configuration, "t", {}, std::nullopt, std::nullopt, {}, "u", now)->isTestMode,
                 QStringLiteral("true"));

        // Numbers JSON cannot hold never become records, so they can never spoil a batch or the file.
        QVERIFY(!SignalPostBody::build(configuration, "t", {}, std::numeric_limits<double>::quiet_NaN(), std::nullopt, {}, "u", now));
        QVERIFY(!SignalPostBody::build(configuration, "t", {}, std::numeric_limits<double>::infinity(), std::nullopt, {}, "u", now));
    }

    void cacheRecordsMissingOrMistypedFieldsAreRefused()
    {
        const SignalHubConfiguration &configuration = *fixedConfiguration_();
        const auto record = SignalPostBody::build(configuration, "t", {{"a", "b"}}, 2.5, std::nullopt, {}, "u",
                                                  QDateTime::currentDateTimeUtc());
        const QJsonObject good = record->toJson(SignalPostBody::DateEncoding::referenceSeconds);
        QVERIFY(SignalPostBody::fromCacheJson(good));

        for (const char *key : {"receivedAt", "appID", "clientUser", "sessionID", "type", "payload", "isTestMode"}) {
            QJsonObject missing = good;
            missing.remove(QLatin1String(key));
            QVERIFY2(!SignalPostBody::fromCacheJson(missing), key);
        }
        QJsonObject withoutNumber = good;
        withoutNumber.remove("floatValue");
        QVERIFY(!SignalPostBody::fromCacheJson(withoutNumber)->floatValue);

        QJsonObject textDate = good;
        textDate.insert("receivedAt", "2026-12-06T17:41:00+0000");
        QVERIFY(!SignalPostBody::fromCacheJson(textDate));
        QJsonObject hugeDate = good;
        hugeDate.insert("receivedAt", 1e300);
        QVERIFY(!SignalPostBody::fromCacheJson(hugeDate));
        QJsonObject numericPayload = good;
        numericPayload.insert("payload", QJsonObject{{"a", 1}});
        QVERIFY(!SignalPostBody::fromCacheJson(numericPayload));
        QJsonObject textNumber = good;
        textNumber.insert("floatValue", "2.5");
        QVERIFY(!SignalPostBody::fromCacheJson(textNumber));
    }

    void timeZoneTexts_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("text");
        QTest::newRow("utc") << 0 << "UTC+0";
        QTest::newRow("india") << 5 * 3600 + 1800 << "UTC+5:30";
        QTest::newRow("west") << -5 * 3600 << "UTC-5";
        QTest::newRow("newfoundland") << -(3 * 3600 + 1800) << "UTC-3:30";
        QTest::newRow("chatham") << 12 * 3600 + 45 * 60 << "UTC+12:45";
    }
    void timeZoneTexts()
    {
        QFETCH(int, offset);
        QFETCH(QString, text);
        QCOMPARE(DefaultSignalPayload::timeZoneText(offset), text);
    }

    void payloadDescribesTheMachineAndTheCalendar()
    {
        FixedSignalPlatform platform;
        platform.zone = QTimeZone(5 * 3600 + 1800);
        platform.clock = QDateTime(QDate(2026, 12, 6), QTime(18, 0), QTimeZone::utc()); // 23:30 Sunday in +5:30
        const QMap<QString, QString> p = DefaultSignalPayload::parameters(platform, nullptr, nullptr);

        QCOMPARE(p.value("systemVersion"), QStringLiteral("macOS 14.2.1"));
        QCOMPARE(p.value("majorMinorSystemVersion"), QStringLiteral("macOS 14.2"));
        QCOMPARE(p.value("majorSystemVersion"), QStringLiteral("macOS 14"));
        QCOMPARE(p.value("Tallyline.AppInfo.versionAndBuildNumber"), QStringLiteral("1.4 (build 41)"));
        QCOMPARE(p.value("locale"), QStringLiteral("en_US"));
        QCOMPARE(p.value("region"), QStringLiteral("US"));
        QCOMPARE(p.value("appLanguage"), QStringLiteral("en"));
        QCOMPARE(p.value("preferredLanguage"), QStringLiteral("en"));
        QCOMPARE(p.value("isAppStore"), QStringLiteral("true"));
        QCOMPARE(p.value("isTestFlight"), QStringLiteral("false"));
        QCOMPARE(p.value("Tallyline.Device.screenResolutionWidth"), QStringLiteral("1440.0"));
        QCOMPARE(p.value("Tallyline.Device.screenScaleFactor"), QStringLiteral("2.0"));
        QCOMPARE(p.value("Tallyline.Device.timeZone"), QStringLiteral("UTC+5:30"));
        QCOMPARE(p.value("Tallyline.Calendar.dayOfWeek"), QStringLiteral("7"));
        QCOMPARE(p.value("Tallyline.Calendar.isWeekend"), QStringLiteral("true"));
        QCOMPARE(p.value("Tallyline.Calendar.dayOfYear"), QStringLiteral("340"));
        QCOMPARE(p.value("Tallyline.Calendar.quarterOfYear"), QStringLiteral("4"));
        QCOMPARE(p.value("Tallyline.Calendar.hourOfDay"), QStringLiteral("24"));
        QCOMPARE(p.value("Tallyline.Acquisition.firstSessionDate"), QStringLiteral("2026-12-06"));
        QCOMPARE(p.value("Tallyline.Retention.averageSessionSeconds"), QStringLiteral("-1"));
        QCOMPARE(p.value("Tallyline.Retention.totalSessionsCount"), QStringLiteral("0"));
        QVERIFY(!p.contains("Tallyline.Retention.previousSessionSeconds"));
        QVERIFY(!p.contains("extensionIdentifier"));
        for (auto it = p.cbegin(); it != p.cend(); ++it)
            QVERIFY2(!it.key().startsWith("Tallyline.Accessibility."), qPrintable(it.key()));
        QCOMPARE(p.size(), 48 + 8 + 5);

        // Half past midnight on a Monday, seen from five hours west.
        platform.zone = QTimeZone(-5 * 3600);
        platform.clock = QDateTime(QDate(2026, 12, 7), QTime(5, 30), QTimeZone::utc());
        platform.screen.reset();
        platform.bundleInfo.clear();
        platform.languages.clear();
        platform.access = SignalPlatform::UniversalAccess{true, false};
        const QMap<QString, QString> q = DefaultSignalPayload::parameters(platform, nullptr, nullptr);
        QCOMPARE(q.value("Tallyline.Calendar.hourOfDay"), QStringLiteral("1"));
        QCOMPARE(q.value("Tallyline.Calendar.dayOfWeek"), QStringLiteral("1"));
        QCOMPARE(q.value("Tallyline.Calendar.isWeekend"), QStringLiteral("false"));
        QCOMPARE(q.value("Tallyline.Device.screenResolutionHeight"), QStringLiteral("N/A"));
        QCOMPARE(q.value("appVersion"), QStringLiteral("0"));
        QCOMPARE(q.value("Tallyline.AppInfo.versionAndBuildNumber"), QStringLiteral("0 (build 0)"));
        QCOMPARE(q.value("preferredLanguage"), QStringLiteral("zz"));
        QCOMPARE(q.value("Tallyline.Accessibility.isReduceMotionEnabled"), QStringLiteral("true"));
        QCOMPARE(q.value("Tallyline.Accessibility.isInvertColorsEnabled"), QStringLiteral("false"));
    }

    void retentionFiguresComeFromTheSuiteAndSessions()
    {
        FixedSignalPlatform platform;
        platform.clock = QDateTime(QDate(2026, 12, 6), QTime(12, 0), QTimeZone::utc());
        MapSuite suite;
        suite.values.insert("firstSessionDate", "2026-01-02");
        // The cut-off is 2026-11-06; that day itself counts.
        suite.values.insert("distinctDaysUsed", QStringList{"2026-10-01", "2026-11-05", "2026-11-06", "2026-12-06"});
        suite.values.insert("deletedSessionsCount", qint64(4));
        FixedSessions sessions;
        sessions.durations = {10, 20, 7};

        const QMap<QString, QString> p = DefaultSignalPayload::parameters(platform, &suite, &sessions);
        QCOMPARE(p.value("Tallyline.Acquisition.firstSessionDate"), QStringLiteral("2026-01-02"));
        QCOMPARE(p.value("Tallyline.Retention.distinctDaysUsed"), QStringLiteral("4"));
        QCOMPARE(p.value("Tallyline.Retention.distinctDaysUsedLastMonth"), QStringLiteral("2"));
        QCOMPARE(p.value("Tallyline.Retention.totalSessionsCount"), QStringLiteral("7"));
        QCOMPARE(p.value("Tallyline.Retention.previousSessionSeconds"), QStringLiteral("20"));
        QCOMPARE(p.value("Tallyline.Retention.averageSessionSeconds"), QStringLiteral("15"));

        // Stored values of the wrong type read as absent.
        suite.values.insert("distinctDaysUsed", QVariantList{1, 2});
        suite.values.insert("firstSessionDate", 12);
        const QMap<QString, QString> q = DefaultSignalPayload::parameters(platform, &suite, &sessions);
        QCOMPARE(q.value("Tallyline.Retention.distinctDaysUsed"), QStringLiteral("0"));
        QCOMPARE(q.value("Tallyline.Acquisition.firstSessionDate"), QStringLiteral("2026-12-06"));
    }

    void machineModelNameFallsBackToUname()
    {
        QCOMPARE(SystemSignalPlatform::modelNameFrom(QByteArray("ThinkPad X1\n"), "x86_64"), QStringLiteral("ThinkPad X1"));
        QCOMPARE(SystemSignalPlatform::modelNameFrom(QByteArray("Box\0junk", 8), "x86_64"), QStringLiteral("Box"));
        QCOMPARE(SystemSignalPlatform::modelNameFrom(QByteArray(" \n"), "aarch64"), QStringLiteral("aarch64"));
        QVERIFY(!SystemSignalPlatform().modelName().isEmpty());
        QVERIFY(SystemSignalPlatform().systemVersion().segmentCount() >= 1);
    }
};

KESTROWAN_TEST_MAIN(TallylineRecordTest)
#include "tst_tallyline_record.moc"
