// One usage signal's record as the client builds it for every signal the program sends: the full
// default payload of this machine (with the retention figures of a well-used install: 90 days of
// sessions and a year of days of use) and the record with its hashed user.
#include "Tallyline/DefaultSignalPayload.h"
#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/SessionManager.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalPostBody.h"
#include "Tallyline/SignalPlatform.h"
#include "Tallyline/SignalTimings.h"
#include "Tallyline/StoredSession.h"
#include "analytics/TallylineHost.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

void prepareWellUsedInstall(const std::shared_ptr<SignalHubConfiguration> &configuration)
{
    SignalTimings timings;
    timings.sendInterval = std::chrono::hours(1);
    timings.firstSessionDelay = std::chrono::hours(1);
    SignalTimings::setCurrent(timings);
    connectTallylineToHost();
    SignalHub::initialize(configuration);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<StoredSession> sessions;
    for (int i = 0; i < 400; ++i)
        sessions.append(StoredSession{now.addSecs(-qint64(400 - i) * 19000), 300 + i});
    QStringList days;
    for (int i = 365; i >= 0; --i)
        days.append(now.date().addDays(-i).toString(Qt::ISODate));
    auto suite = SignalHub::telemetryDefaultsSuite();
    suite->setValue(QStringLiteral("recentSessions"), StoredSession::encode(sessions));
    suite->setValue(QStringLiteral("distinctDaysUsed"), days);
    suite->setValue(QStringLiteral("firstSessionDate"), days.constFirst());
    suite->setValue(QStringLiteral("deletedSessionsCount"), 12);
}

void BM_buildRecordWithDefaultPayload(benchmark::State &state)
{
    auto configuration = std::make_shared<SignalHubConfiguration>(QStringLiteral("BENCH-APP"));
    configuration->setLogHandler(std::nullopt);
    prepareWellUsedInstall(configuration);
    SessionManager::shared();
    const QMap<QString, QString> parameters{{QStringLiteral("groupCount"), QStringLiteral("4")}};
    const QString user = QStringLiteral("6F9619FF-8B86-D011-B42D-00CF4FC964FF");
    for (auto _ : state) {
        const QMap<QString, QString> payload = DefaultSignalPayload::parameters();
        auto record = SignalPostBody::build(*configuration, QStringLiteral("group.opened"), parameters, std::nullopt,
                                            std::nullopt, payload, user, SignalPlatform::current()->now());
        benchmark::DoNotOptimize(record);
    }
    // Shows that the figures were there: 61 keys and up with the retention ones.
    state.counters["payloadKeys"] = double(DefaultSignalPayload::parameters().size());
    state.counters["sessions"] = double(SessionManager::shared().recentSessions().size());
    SignalHub::terminate();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_buildRecordWithDefaultPayload)->Unit(benchmark::kMicrosecond);

} // namespace
