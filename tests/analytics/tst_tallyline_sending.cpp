#include "tests/analytics/FixedSignalPlatform.h"
#include "tests/analytics/QuietTimings.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestMain.h"

#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/Sha256Hex.h"
#include "Tallyline/SignalCache.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalManager.h"
#include "Tallyline/SignalTimings.h"
#include "Tallyline/Tallyline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>

#include <sys/stat.h>

#include <algorithm>

namespace {

// Collects what the client logs, from whichever thread.
struct LogSink
{
    QMutex mutex;
    QStringList lines;

    LogHandler handler(LogHandler::LogLevel level = LogHandler::LogLevel::info)
    {
        return LogHandler(level, [this](LogHandler::LogLevel, const QString &message) {
            QMutexLocker lock(&mutex);
            lines.append(message);
        });
    }
    QStringList all()
    {
        QMutexLocker lock(&mutex);
        return lines;
    }
    bool contains(const QString &text) { return all().contains(text); }
    void clear()
    {
        QMutexLocker lock(&mutex);
        lines.clear();
    }
};

QStringList typesIn(const QByteArray &body)
{
    QStringList types;
    for (const QJsonValue &record : QJsonDocument::fromJson(body).array())
        types.append(record.toObject().value("type").toString());
    return types;
}

QStringList numbered(const QString &prefix, int from, int to)
{
    QStringList names;
    for (int i = from; i < to; ++i)
        names.append(prefix + QString::number(i));
    return names;
}

std::shared_ptr<SignalManager> managerOf(const std::shared_ptr<SignalHub> &hub)
{
    return std::dynamic_pointer_cast<SignalManager>(hub->signalManager());
}

} // namespace

class TallylineSendingTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<LoopbackServer> m_server;
    std::shared_ptr<FixedSignalPlatform> m_platform = std::make_shared<FixedSignalPlatform>();
    LogSink m_log;

    std::shared_ptr<SignalHubConfiguration> configuration(const QUrl &baseURL = {})
    {
        auto configuration = std::make_shared<SignalHubConfiguration>(QStringLiteral("APP-1"), std::nullopt,
                                                                      baseURL.isEmpty() ? m_server->baseURL() : baseURL);
        configuration->setLogHandler(m_log.handler());
        return configuration;
    }

    static void queue(SignalManager &manager, const std::shared_ptr<SignalHubConfiguration> &configuration,
                      const QStringList &types)
    {
        for (const QString &type : types)
            manager.queueSignalForSending(type, {{"index", type}}, std::nullopt, std::nullopt, configuration);
        QVERIFY(manager.waitForBackgroundWork(5000));
    }

    // Hands pending signals over to the manager and waits until their records are built.
    static void settle(const std::shared_ptr<SignalHub> &hub)
    {
        QCoreApplication::processEvents();
        QVERIFY(managerOf(hub)->waitForBackgroundWork(5000));
    }

    static QStringList poppedTypes(const std::shared_ptr<SignalHub> &hub)
    {
        QStringList types;
        for (const SignalPostBody &record : managerOf(hub)->signalCache()->popSignalBatch())
            types.append(record.type);
        return types;
    }

private slots:
    void initTestCase()
    {
        useQuietSignalTimings();
        SignalPlatform::setCurrent(m_platform);
    }

    void init()
    {
        m_server = std::make_unique<LoopbackServer>();
        QFile::remove(SignalCache::signalCacheFileURL());
        m_log.clear();
    }

    void cleanup()
    {
        SignalHub::terminate();
        QCoreApplication::processEvents();
        m_server.reset();
    }

    void endpointKeepsOneSlashBeforeThePath()
    {
        const QUrl base("https://ingest.example.org");
        QCOMPARE(SignalManager::signalAPIURL(base, std::nullopt)->toString(), QStringLiteral("https://ingest.example.org/v2/"));
        QCOMPARE(SignalManager::signalAPIURL(QUrl("https://ingest.example.org/"), std::nullopt)->toString(),
                 QStringLiteral("https://ingest.example.org/v2/"));
        QCOMPARE(SignalManager::signalAPIURL(base, QStringLiteral("team"))->toString(),
                 QStringLiteral("https://ingest.example.org/v2/namespace/team/"));
        QCOMPARE(SignalManager::signalAPIURL(base, QString())->toString(), QStringLiteral("https://ingest.example.org/v2/"));
        QVERIFY(!SignalManager::signalAPIURL(QUrl(), std::nullopt));
    }

    void statusCodesDecideDeliveryAndResending()
    {
        using Kind = SignalClientError::Kind;
        QVERIFY(!SignalClientError::forStatusCode(200));
        QVERIFY(!SignalClientError::forStatusCode(204));
        QCOMPARE(SignalClientError::forStatusCode(199)->kind, Kind::invalidStatusCode);
        QCOMPARE(SignalClientError::forStatusCode(300)->errorDescription(), QStringLiteral("Invalid status code 300"));
        QCOMPARE(SignalClientError::forStatusCode(401)->errorDescription(), QStringLiteral("Unauthorized (401)"));
        QCOMPARE(SignalClientError::forStatusCode(403)->kind, Kind::forbidden);
        QCOMPARE(SignalClientError::forStatusCode(413)->errorDescription(), QStringLiteral("Payload is too large (413)"));
        QCOMPARE(SignalClientError::forStatusCode(0)->statusCode, 0);

        for (int status : {0, 300, 403, 404, 408, 429, 500, 503})
            QVERIFY2(SignalManager::shouldResend(*SignalClientError::forStatusCode(status)), qPrintable(QString::number(status)));
        for (int status : {400, 401, 413, 422})
            QVERIFY2(!SignalManager::shouldResend(*SignalClientError::forStatusCode(status)), qPrintable(QString::number(status)));
        QVERIFY(SignalManager::shouldResend(SignalClientError{Kind::invalidEndpointUrl, 0}));
    }

    void pendingRecordsLeaveInBatchesOfAHundredOldestFirst()
    {
        auto config = configuration();
        SignalManager manager(config);
        queue(manager, config, numbered("s", 0, 250));
        QCOMPARE(manager.signalCache()->signalCount(), 250);

        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 1);
        QVERIFY(m_log.contains("Sending 100 signals leaving a cache of 150 signals"));
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 2);
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 3);
        manager.sendCachedSignalBatch(); // nothing left: no request
        QVERIFY(manager.waitForBackgroundWork(5000));

        const auto requests = m_server->requests();
        QCOMPARE(typesIn(requests[0].body), numbered("s", 0, 100));
        QCOMPARE(typesIn(requests[1].body), numbered("s", 100, 200));
        QCOMPARE(typesIn(requests[2].body), numbered("s", 200, 250));
        QCOMPARE(requests[0].method, QByteArray("POST"));
        QCOMPARE(requests[0].path, QByteArray("/v2/"));
        QCOMPARE(requests[0].headers.value("content-type"), QByteArray("application/json"));
        const QJsonObject first = QJsonDocument::fromJson(requests[0].body).array().first().toObject();
        QCOMPARE(first.value("receivedAt").toString(), QStringLiteral("2026-12-06T17:41:00+0000"));
        QCOMPARE(first.value("payload").toObject().value("index").toString(), QStringLiteral("s0"));
        QCOMPARE(first.value("payload").toObject().value("Tallyline.Device.modelName").toString(), QStringLiteral("TestBook1,1"));
        QCOMPARE(m_server->requests().size(), 3);
    }

    // At debug level the service's answer is logged: however long it is, and whatever it holds, it
    // is one short line.
    void aLongAnswerOfTheServiceIsLoggedShort()
    {
        m_server->setAnswerBody("{\"note\":\"" + QByteArray(100 * 1024, 'x') + "\",\n\"more\":1}");
        auto config = configuration();
        config->setLogHandler(m_log.handler(LogHandler::LogLevel::debug));
        SignalManager manager(config);
        queue(manager, config, {QStringLiteral("answered")});
        manager.sendCachedSignalBatch();
        const auto answerLogged = [this] {
            const QStringList lines = m_log.all();
            return std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) { return line.startsWith(u"{\"note\":\"xxx"); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(answerLogged(), 10000);
        for (const QString &line : m_log.all()) {
            // The client's own description of the record it sends is long; the answer is not.
            if (!line.contains(QStringLiteral("xxxxxxxx")))
                continue;
            QVERIFY2(line.size() <= 1000, qPrintable(QStringLiteral("%1 characters: %2").arg(line.size()).arg(line.left(80))));
            QVERIFY2(!line.contains(u'\n'), qPrintable(line.left(80)));
        }
    }

    void failedBatchIsSentAgainBehindNewerRecords()
    {
        auto config = configuration();
        SignalManager manager(config);
        queue(manager, config, {"a", "b", "c"});
        m_server->setHoldAnswers(true);
        m_server->queueStatus(500);
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 1);

        queue(manager, config, {"d"}); // arrives while the first batch is in flight
        m_server->releaseHeld();
        QTRY_COMPARE(manager.signalCache()->signalCount(), 4);
        QVERIFY(m_log.contains("invalidStatusCode(statusCode: 500)"));

        m_server->setHoldAnswers(false);
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 2);
        QCOMPARE(typesIn(m_server->requests()[1].body), (QStringList{"d", "a", "b", "c"}));
        QTRY_COMPARE(manager.signalCache()->signalCount(), 0);
    }

    void refusedBatchIsDroppedWhileThrottledOneIsKept()
    {
        auto config = configuration();
        SignalManager manager(config);
        queue(manager, config, {"refused"});
        m_server->queueStatus(400);
        manager.sendCachedSignalBatch();
        QTRY_VERIFY(m_log.contains("Dropped 1 signals that the service refused (Invalid status code 400)"));
        QCOMPARE(manager.signalCache()->signalCount(), 0);

        queue(manager, config, {"throttled"});
        m_server->queueStatus(429);
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(manager.signalCache()->signalCount(), 1);
    }

    void batchTooLargeIsSplitUntilOneRecordIsRefused()
    {
        auto config = configuration();
        SignalManager manager(config);
        queue(manager, config, numbered("s", 0, 6));
        m_server->queueStatus(413);
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 1);
        QTRY_COMPARE(manager.signalCache()->batchSize(), 3);
        QTRY_COMPARE(manager.signalCache()->signalCount(), 6);
        QVERIFY(m_log.contains("Sending at most 3 signals at a time"));

        // Both halves go out on their own; the first is still too large and splits again.
        m_server->queueStatus(413);
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 2);
        QCOMPARE(typesIn(m_server->requests()[1].body), numbered("s", 0, 3));
        QTRY_COMPARE(manager.signalCache()->batchSize(), 2);
        m_server->queueStatus(413);
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 3);
        QCOMPARE(typesIn(m_server->requests()[2].body), numbered("s", 3, 5));
        QTRY_COMPARE(manager.signalCache()->batchSize(), 1);
        // A single record that is still refused is dropped.
        m_server->queueStatus(413);
        manager.sendCachedSignalBatch();
        QTRY_VERIFY(m_log.contains("Dropped 1 signals that the service refused (Payload is too large (413))"));
        QCOMPARE(typesIn(m_server->requests()[3].body), QStringList{"s5"});
        QTRY_COMPARE(manager.signalCache()->signalCount(), 5);
        // Deliveries let the batches grow back.
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(manager.signalCache()->batchSize(), 2);
        QCOMPARE(manager.signalCache()->signalCount(), 4);
    }

    void forbiddenOrMissingEndpointKeepsTheBatch()
    {
        auto config = configuration();
        SignalManager manager(config);
        queue(manager, config, {"a"});
        for (int status : {403, 404}) {
            m_server->queueStatus(status);
            manager.sendCachedSignalBatch();
            QTRY_COMPARE(m_server->requests().size(), status == 403 ? 1 : 2);
            QTRY_COMPARE(manager.signalCache()->signalCount(), 1);
        }
        manager.sendCachedSignalBatch();
        QTRY_COMPARE(m_server->requests().size(), 3);
        QTRY_COMPARE(manager.signalCache()->signalCount(), 0);
    }

    void aFullCacheOfRealisticRecordsFitsTheFileLimit()
    {
        // Every record carries the default payload of about sixty keys.
        QMap<QString, QString> payload;
        for (int i = 0; i < 60; ++i)
            payload.insert(QStringLiteral("Tallyline.Category%1.someParameterName").arg(i), QStringLiteral("macOS 15.4.1 value %1").arg(i));
        auto config = configuration();
        const auto record = SignalPostBody::build(*config, "group.created", {{"total_groups", "12"}}, std::nullopt, std::nullopt, payload,
                                                  "0F6C2B56-2A0B-4C51-9A3E-6A2F1E0D9C7B", m_platform->clock);
        QVERIFY(record);
        SignalCache cache(m_log.handler(), SignalCache::signalCacheFileURL());
        cache.appendSignals(QList<SignalPostBody>(SignalCache::maximumNumberOfSignalsKept + 10, *record));
        QCOMPARE(cache.signalCount(), SignalCache::maximumNumberOfSignalsKept);
        QVERIFY(cache.writeSignalCacheFile());
        const qint64 size = QFileInfo(SignalCache::signalCacheFileURL()).size();
        QVERIFY2(size < SignalCache::maximumCacheFileSize, qPrintable(QString::number(size)));
        SignalCache restored(m_log.handler(), SignalCache::signalCacheFileURL());
        restored.readSignalCacheFile();
        QCOMPARE(restored.signalCount(), SignalCache::maximumNumberOfSignalsKept);
    }

    void cacheFileThatIsNoFileIsNeverOpened()
    {
        // A fifo would hang the start; a link to a device would be read without end.
        const QString file = SignalCache::signalCacheFileURL();
        QDir().mkpath(QFileInfo(file).absolutePath());
        for (int kind = 0; kind < 2; ++kind) {
            if (kind == 0)
                QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            else
                QVERIFY(QFile::link(QStringLiteral("/dev/zero"), file));
            SignalCache cache(m_log.handler(), file);
            cache.readSignalCacheFile();
            QCOMPARE(cache.signalCount(), 0);
            QVERIFY(!QFileInfo::exists(file) && !QFileInfo(file).isSymLink());
        }
        QVERIFY(m_log.contains("Discarded Telemetry cache: not a regular file"));
    }

    void unreachableServiceKeepsTheRecords()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QUrl deadURL(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
        closed.close();

        auto config = configuration(deadURL);
        SignalManager manager(config);
        queue(manager, config, {"a", "b"});
        manager.sendCachedSignalBatch();
        QVERIFY(manager.waitForBackgroundWork(5000));
        QTRY_COMPARE(manager.signalCache()->signalCount(), 2);
    }

    void quitWritesTheCacheAndTheNextManagerSendsIt()
    {
        const QString file = SignalCache::signalCacheFileURL();
        {
            auto config = configuration();
            SignalManager manager(config);
            queue(manager, config, numbered("q", 0, 7));
            QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
            QCOMPARE(manager.signalCache()->signalCount(), 0);
            QVERIFY(m_log.contains(QStringLiteral("Saved Telemetry cache %1 bytes of 7 signals").arg(QFileInfo(file).size())));
        }
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QJsonArray cached = QJsonDocument::fromJson(written.readAll()).array();
        written.close();
        QCOMPARE(cached.size(), 7);
        QCOMPARE(cached.first().toObject().value("receivedAt").toDouble(), 818271660.25);
        QVERIFY(m_server->requests().isEmpty());

        auto config = configuration();
        SignalManager next(config);
        QTRY_COMPARE(m_server->requests().size(), 1);
        QCOMPARE(typesIn(m_server->requests()[0].body), numbered("q", 0, 7));
        QVERIFY(!QFile::exists(file));
        QVERIFY(m_log.contains("Loaded 7 signals"));
    }

    void aBatchStillOnTheWireAtQuitIsCached()
    {
        m_server->setHoldAnswers(true);
        const QString file = SignalCache::signalCacheFileURL();
        {
            auto config = configuration();
            SignalManager manager(config);
            queue(manager, config, numbered("w", 0, 3));
            manager.sendCachedSignalBatch();
            QTRY_COMPARE(m_server->requests().size(), 1);
            QCOMPARE(manager.signalCache()->signalCount(), 0);
            QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
        }
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(typesIn(written.readAll()), numbered("w", 0, 3));
        written.close();
        m_server->releaseHeld();
    }

    void longRecordsKeepTheCacheFileUnderItsReadLimit()
    {
        // 5,000 records of 10 KB each pass 32 MiB: the oldest give way so that the file is read back.
        auto config = configuration();
        const auto record = SignalPostBody::build(*config, "long", {{"text", QString(10 * 1024, u'x')}}, std::nullopt,
                                                  std::nullopt, {}, "u", m_platform->clock);
        QVERIFY(record);
        SignalCache cache(m_log.handler(), SignalCache::signalCacheFileURL());
        cache.appendSignals(QList<SignalPostBody>(SignalCache::maximumNumberOfSignalsKept - 1, *record));
        SignalPostBody newest = *record;
        newest.type = QStringLiteral("newest");
        cache.appendSignal(newest);
        QVERIFY(cache.writeSignalCacheFile());
        const qint64 size = QFileInfo(SignalCache::signalCacheFileURL()).size();
        QVERIFY2(size <= SignalCache::maximumCacheFileSize, qPrintable(QString::number(size)));
        QVERIFY(m_log.all().filter(QRegularExpression("^Dropped \\d+ oldest signals: the cache file keeps at most")).size() == 1);

        SignalCache restored(m_log.handler(), SignalCache::signalCacheFileURL());
        restored.readSignalCacheFile();
        QVERIFY(restored.signalCount() > SignalCache::maximumNumberOfSignalsKept / 2);
        QList<SignalPostBody> last;
        while (restored.signalCount() > 0)
            last = restored.popSignalBatch();
        QCOMPARE(last.constLast().type, QStringLiteral("newest"));
    }

    void unreadableOrOversizedCacheFileIsDiscarded()
    {
        const QString file = SignalCache::signalCacheFileURL();
        for (const QByteArray &garbage : {QByteArray("not json"), QByteArray("{\"a\":1}"), QByteArray("[{\"type\":\"x\"}]")}) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(garbage);
            out.close();
            SignalCache cache(m_log.handler(), file);
            cache.readSignalCacheFile();
            QCOMPARE(cache.signalCount(), 0);
            QVERIFY(!QFile::exists(file));
        }
        QVERIFY(m_log.contains("Discarded unreadable Telemetry cache"));

        QFile big(file);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(SignalCache::maximumCacheFileSize + 1));
        big.close();
        SignalCache cache(m_log.handler(), file);
        cache.readSignalCacheFile();
        QCOMPARE(cache.signalCount(), 0);
        QVERIFY(!QFile::exists(file));
    }

    void cacheKeepsOnlyTheNewestRecords()
    {
        auto config = configuration();
        const auto record = SignalPostBody::build(*config, "x", {}, std::nullopt, std::nullopt, {}, "u", m_platform->clock);
        SignalCache cache(m_log.handler(), SignalCache::signalCacheFileURL());
        QList<SignalPostBody> many(SignalCache::maximumNumberOfSignalsKept, *record);
        cache.appendSignals(many);
        SignalPostBody newest = *record;
        newest.type = QStringLiteral("newest");
        cache.appendSignal(newest);
        QCOMPARE(cache.signalCount(), SignalCache::maximumNumberOfSignalsKept);
        QVERIFY(m_log.contains(QStringLiteral("Dropped 1 oldest signals: the cache keeps at most %1").arg(SignalCache::maximumNumberOfSignalsKept)));

        // What is written at quit comes back whole, newest record last.
        QVERIFY(cache.writeSignalCacheFile());
        SignalCache restored(m_log.handler(), SignalCache::signalCacheFileURL());
        restored.readSignalCacheFile();
        QCOMPARE(restored.signalCount(), SignalCache::maximumNumberOfSignalsKept);
        QList<SignalPostBody> last;
        while (restored.signalCount() > 0)
            last = restored.popSignalBatch();
        QCOMPARE(last.constLast().type, QStringLiteral("newest"));
    }

    void clientUsedBeforeInitialisationIsInert()
    {
        // A cache file left by the last run belongs to the real client; a stand-by one must not eat it.
        const QString file = SignalCache::signalCacheFileURL();
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("[]");
        out.close();

        QVERIFY(!SignalHub::isInitialized());
        Tallyline::signal(QStringLiteral("early"));
        Tallyline::requestImmediateSync();
        const auto standBy = SignalHub::shared();
        QCOMPARE(standBy->mode(), SignalHub::Mode::standBy);
        QCoreApplication::processEvents();
        managerOf(standBy)->sendCachedSignalBatch();
        QCOMPARE(managerOf(standBy)->signalCache()->signalCount(), 0);
        QVERIFY(QFile::exists(file));
        QVERIFY(!SignalHub::telemetryDefaultsSuite());
        QTest::qWait(100);
        QVERIFY(m_server->requests().isEmpty());
    }

    void publicPathAppliesPrefixesAndWarns()
    {
        auto config = configuration();
        config->setLogHandler(m_log.handler(LogHandler::LogLevel::error));
        config->setDefaultParameters([] { return QMap<QString, QString>{{"shared", "default"}, {"fromDefaults", "1"}}; });
        Tallyline::initialize(config);
        const auto hub = SignalHub::shared();
        QCOMPARE(hub->mode(), SignalHub::Mode::active);

        Tallyline::signal("tallyline.foo");
        Tallyline::signal("Platform");
        Tallyline::signal("platformX", {{"shared", "given"}});
        settle(hub);
        QCOMPARE(poppedTypes(hub), (QStringList{"tallyline.foo", "Platform", "platformX"}));
        QCOMPARE(m_log.all(), (QStringList{
            "Sending signal with reserved prefix 'Tallyline.' will cause unexpected behavior. Please use another prefix instead.",
            "Sending signal with reserved name 'Platform' will cause unexpected behavior. Please use another name instead."}));

        m_log.clear();
        Tallyline::signal("noPrefix", {{"tallyline.x", "1"}});
        settle(hub);
        QCOMPARE(poppedTypes(hub), QStringList{"noPrefix"});
        QCOMPARE(m_log.all(), QStringList{"Sending parameter with reserved key prefix 'Tallyline.' will cause unexpected behavior. "
                                          "Please use another prefix instead."});

        m_log.clear();
        config->setDefaultParameterPrefix(QStringLiteral("My"));
        config->setDefaultSignalPrefix(QStringLiteral("App."));
        Tallyline::signal("opened", {{"color", "red"}, {"Tallyline.x", "kept"}, {"tallyline.x", "lower"}, {"shared", "given"}});
        SignalHub::internalSignal("Tallyline.internal");
        settle(hub);
        // Only the key that keeps its reserved prefix warns; the prefixed lower-case one does not.
        QCOMPARE(m_log.all(), QStringList{"Sending parameter with reserved key prefix 'Tallyline.' will cause unexpected "
                                          "behavior. Please use another prefix instead."});
        const QList<SignalPostBody> records = managerOf(hub)->signalCache()->popSignalBatch();
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0].type, QStringLiteral("App.opened"));
        QCOMPARE(records[0].payload.value("Mycolor"), QStringLiteral("red"));
        QCOMPARE(records[0].payload.value("Tallyline.x"), QStringLiteral("kept"));
        QCOMPARE(records[0].payload.value("Mytallyline.x"), QStringLiteral("lower"));
        QCOMPARE(records[0].payload.value("Myshared"), QStringLiteral("given"));
        QCOMPARE(records[0].payload.value("MyfromDefaults"), QStringLiteral("1"));
        QCOMPARE(records[1].type, QStringLiteral("Tallyline.internal"));
    }

    void disabledOrPreviewClientDropsEverything()
    {
        auto config = configuration();
        Tallyline::initialize(config);
        const auto hub = SignalHub::shared();
        config->setAnalyticsDisabled(true);
        Tallyline::signal("x");
        Tallyline::generateNewSession();
        settle(hub);
        QCOMPARE(managerOf(hub)->signalCache()->signalCount(), 0);

        config->setAnalyticsDisabled(false);
        config->setSwiftUIPreviewMode(true);
        Tallyline::signal("x");
        settle(hub);
        QCOMPARE(managerOf(hub)->signalCache()->signalCount(), 0);

        config->setSwiftUIPreviewMode(false);
        Tallyline::generateNewSession();
        settle(hub);
        // No session has lasted a second yet, so each start also reports a new install.
        QCOMPARE(poppedTypes(hub), (QStringList{"Tallyline.Acquisition.newInstallDetected", "Tallyline.Session.started"}));
        QCOMPARE(config->sessionID().isNull(), false);

        config->setSendNewSessionBeganSignal(false);
        config->setSessionStatsEnabled(false);
        const QUuid next = QUuid::createUuid();
        config->setSessionID(next);
        settle(hub);
        QCOMPARE(managerOf(hub)->signalCache()->signalCount(), 0);
        QCOMPARE(config->sessionID(), next);
    }

    void firstSessionBeginsShortlyAfterInitialisation()
    {
        SignalTimings timings = SignalTimings::current();
        const SignalTimings saved = timings;
        timings.firstSessionDelay = std::chrono::milliseconds(10);
        SignalTimings::setCurrent(timings);
        auto config = configuration();
        const QUuid initial = config->sessionID();
        Tallyline::initialize(config);
        SignalTimings::setCurrent(saved);

        QTRY_VERIFY(config->sessionID() != initial);
        const auto hub = SignalHub::shared();
        settle(hub);
        QCOMPARE(poppedTypes(hub), (QStringList{"Tallyline.Acquisition.newInstallDetected", "Tallyline.Session.started"}));
    }

    void immediateSendsAreThrottled()
    {
        auto config = configuration();
        Tallyline::initialize(config);
        const auto hub = SignalHub::shared();
        const QDateTime start = m_platform->clock;

        Tallyline::signal("first");
        settle(hub);
        Tallyline::requestImmediateSync();
        QTRY_COMPARE(m_server->requests().size(), 1);

        m_platform->clock = start.addSecs(5);
        Tallyline::signal("second");
        settle(hub);
        Tallyline::requestImmediateSync();
        QTest::qWait(200);
        QCOMPARE(m_server->requests().size(), 1);

        m_platform->clock = start.addSecs(11);
        Tallyline::requestImmediateSync();
        QTRY_COMPARE(m_server->requests().size(), 2);
        QCOMPARE(typesIn(m_server->requests()[1].body), QStringList{"second"});
        m_platform->clock = start;
    }

    void sendTimerDrainsOnItsOwn()
    {
        SignalTimings timings = SignalTimings::current();
        const SignalTimings saved = timings;
        timings.sendInterval = std::chrono::milliseconds(20);
        SignalTimings::setCurrent(timings);
        auto config = configuration();
        SignalManager manager(config);
        SignalTimings::setCurrent(saved);

        queue(manager, config, numbered("t", 0, 150));
        QTRY_COMPARE(m_server->requests().size(), 2);
        QCOMPARE(typesIn(m_server->requests()[0].body).size() + typesIn(m_server->requests()[1].body).size(), 150);
    }

    void suiteAndDefaultUserBelongToTheInstalledClient()
    {
        auto config = configuration();
        config->setSalt(QStringLiteral("pepper"));
        Tallyline::initialize(config);
        const auto suite = SignalHub::telemetryDefaultsSuite();
        QVERIFY(suite);
        QVERIFY(QRegularExpression("^com\\.tallyline\\.[0-9a-f]{12}$").match(suite->name()).hasMatch());
        QCOMPARE(suite->name(), QStringLiteral("com.tallyline.") + sha256Hex("APP-1").right(12));

        const auto hub = SignalHub::shared();
        const QString hashed = hub->hashedDefaultUser();
        const auto stored = SignalHub::telemetryDefaultsSuite()->string("defaultUserIdentifier");
        QVERIFY(stored);
        QCOMPARE(hashed, sha256Hex(*stored, "pepper"));
        QCOMPARE(hub->hashedDefaultUser(), hashed);

        Tallyline::updateDefaultUserID(QStringLiteral("fixed"));
        QCOMPARE(hub->hashedDefaultUser(), sha256Hex("fixed", "pepper"));
        Tallyline::terminate();
        QVERIFY(!SignalHub::isInitialized());
    }
};

KESTROWAN_TEST_MAIN(TallylineSendingTest)
#include "tst_tallyline_sending.moc"
