#include "Tallyline/SignalManager.h"

#include "Tallyline/DefaultSignalPayload.h"
#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/MainQueue.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalJSONEncoder.h"
#include "Tallyline/SignalPlatform.h"
#include "Tallyline/SignalTimings.h"
#include "Platform/logging/LoggedText.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <atomic>

using Level = LogHandler::LogLevel;

// Everything the manager's callbacks need, shared so that a callback that outlives the manager
// touches nothing freed. Background tasks take only the pieces they use, never the state itself:
// the last reference must not drop inside the pool it owns.
namespace {

// Batches popped from the cache whose answer has not come: at quit they go back into the cache, so
// that a batch still on the wire is not lost with the process.
struct BatchesInFlight
{
    QMutex mutex;
    quint64 next = 1;
    QHash<quint64, QList<SignalPostBody>> batches;

    quint64 add(const QList<SignalPostBody> &records)
    {
        QMutexLocker lock(&mutex);
        batches.insert(next, records);
        return next++;
    }
    // False when the batch was taken back into the cache already.
    bool finish(quint64 batch)
    {
        QMutexLocker lock(&mutex);
        return batches.remove(batch) > 0;
    }
    QList<SignalPostBody> takeAll()
    {
        QMutexLocker lock(&mutex);
        QList<SignalPostBody> records;
        QList<quint64> order = batches.keys();
        std::sort(order.begin(), order.end());
        for (quint64 batch : order)
            records.append(batches.value(batch));
        batches.clear();
        return records;
    }
};

} // namespace

struct SignalManager::State
{
    std::shared_ptr<SignalHubConfiguration> configuration;
    std::shared_ptr<BatchesInFlight> inFlight = std::make_shared<BatchesInFlight>();
    std::shared_ptr<SignalCache> cache;
    std::shared_ptr<std::atomic_bool> quitting = std::make_shared<std::atomic_bool>(false);
    std::shared_ptr<QThreadPool> backgroundQueue = std::make_shared<QThreadPool>();
    QPointer<QNetworkAccessManager> network;
};

namespace {

// Records still being built are waited for (briefly) so that they reach the file too; batches not
// yet popped stay in the cache for the file rather than going out during the quit.
void backUpAtQuit(SignalManager::State &state)
{
    state.configuration->log(Level::debug, QStringLiteral("appWillTerminate()"));
    *state.quitting = true;
    state.backgroundQueue->waitForDone(int(SignalTimings::current().quitFlushLimit.count()));
    if (state.configuration->analyticsDisabled()) {
        // Switched off: nothing of this client is kept for a later send.
        state.inFlight->takeAll();
        return;
    }
    const QList<SignalPostBody> unanswered = state.inFlight->takeAll();
    if (!unanswered.isEmpty())
        state.cache->appendSignals(unanswered);
    state.cache->writeSignalCacheFile();
}

bool logsAtDebug(const SignalHubConfiguration &configuration)
{
    const auto handler = configuration.logHandler();
    return handler && handler->logLevel == Level::debug;
}

struct Batch
{
    QList<SignalPostBody> records;
    std::shared_ptr<SignalHubConfiguration> configuration;
    std::shared_ptr<SignalCache> cache;
    std::shared_ptr<BatchesInFlight> inFlight;
    quint64 identifier = 0;
};

void handleSignalBatchResponse(const Batch &batch, std::optional<int> httpStatus,
                               const std::optional<QString> &transportError, const QByteArray &data)
{
    if (!batch.inFlight->finish(batch.identifier))
        return; // taken back into the cache at quit
    std::optional<SignalClientError> error;
    if (httpStatus) {
        error = SignalClientError::forStatusCode(*httpStatus);
    } else if (transportError) {
        batch.configuration->log(Level::error, loggedText(*transportError));
        batch.cache->appendSignals(batch.records);
        return;
    } else {
        error = SignalClientError{SignalClientError::Kind::invalidStatusCode, 0};
    }
    if (error) {
        batch.configuration->log(Level::error, error->description());
        if (error->kind == SignalClientError::Kind::payloadTooLarge && batch.records.size() > 1) {
            // Split: both halves go back, and the next batches are popped half as large.
            batch.cache->halveBatchSize(int(batch.records.size()));
            batch.cache->appendSignals(batch.records);
            batch.configuration->log(Level::info, QStringLiteral("Sending at most %1 signals at a time").arg(batch.cache->batchSize()));
        } else if (SignalManager::shouldResend(*error)) {
            batch.cache->appendSignals(batch.records);
        } else {
            batch.configuration->log(Level::error, QStringLiteral("Dropped %1 signals that the service refused (%2)")
                                                       .arg(batch.records.size())
                                                       .arg(error->errorDescription()));
        }
        return;
    }
    batch.cache->batchDelivered();
    if (!data.isEmpty() && logsAtDebug(*batch.configuration))
        batch.configuration->log(Level::debug, loggedText(QString::fromUtf8(data)));
}

// On the main thread, which owns the network access.
void postSignalBatch(const std::shared_ptr<Batch> &batch, const QUrl &url, const QByteArray &body,
                     const QPointer<QNetworkAccessManager> &network)
{
    if (!network) {
        // The manager is gone; its cache goes with it.
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(int(SignalTimings::current().batchRequestTimeout.count()));
    QNetworkReply *reply = network->post(request, body);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, batch] {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        std::optional<int> httpStatus;
        if (status.isValid())
            httpStatus = status.toInt();
        std::optional<QString> transportError;
        if (!httpStatus && reply->error() != QNetworkReply::NoError)
            transportError = reply->errorString();
        handleSignalBatchResponse(*batch, httpStatus, transportError, reply->readAll());
        reply->deleteLater();
    });
}

// On the background queue: pop at most one batch and prepare its request.
void prepareSignalBatch(const std::shared_ptr<SignalHubConfiguration> &configuration,
                        const std::shared_ptr<SignalCache> &cache, const std::shared_ptr<BatchesInFlight> &inFlight,
                        const std::shared_ptr<std::atomic_bool> &quitting, const QPointer<QNetworkAccessManager> &network)
{
    if (*quitting)
        return; // what is left belongs in the cache file
    if (configuration->analyticsDisabled())
        return; // switched off: nothing leaves
    if (configuration->logHandler())
        configuration->log(Level::debug, QStringLiteral("Current signal cache count: %1").arg(cache->signalCount()));
    auto batch = std::make_shared<Batch>(Batch{cache->popSignalBatch(), configuration, cache, inFlight, 0});
    if (batch->records.isEmpty())
        return;
    batch->identifier = inFlight->add(batch->records);
    configuration->log(Level::info, QStringLiteral("Sending %1 signals leaving a cache of %2 signals")
                                        .arg(batch->records.size())
                                        .arg(cache->signalCount()));

    const std::optional<QString> namespaceName = configuration->namespaceName();
    const std::optional<QUrl> url = SignalManager::signalAPIURL(configuration->apiBaseURL(), namespaceName);
    if (!url) {
        configuration->log(Level::error, QStringLiteral("Unable to construct signal API URL for namespace ")
                                             + namespaceName.value_or(QStringLiteral("nil")));
        dispatchToMain([batch] {
            handleSignalBatchResponse(*batch, std::nullopt,
                                      SignalClientError{SignalClientError::Kind::invalidEndpointUrl, 0}.description(), {});
        });
        return;
    }
    const QByteArray body = SignalJSONEncoder().encode(batch->records);
    if (logsAtDebug(*configuration))
        configuration->log(Level::debug, QString::fromUtf8(body));
    dispatchToMain([batch, url = *url, body, network] { postSignalBatch(batch, url, body, network); });
}

} // namespace

SignalManager::SignalManager(std::shared_ptr<SignalHubConfiguration> configuration, Mode mode)
    : m_state(std::make_shared<State>())
    , m_mode(mode)
{
    m_state->configuration = std::move(configuration);
    m_state->backgroundQueue->setMaxThreadCount(1);
    const bool quiet = m_mode == Mode::inert || m_state->configuration->swiftUIPreviewMode();
    m_signalCache = std::make_shared<SignalCache>(quiet ? std::nullopt : m_state->configuration->logHandler());
    m_state->cache = m_signalCache;
    if (m_mode == Mode::inert)
        return;

    QCoreApplication *application = QCoreApplication::instance();
    m_context = new QObject;
    m_sendTimer = new QTimer(m_context);
    auto *network = new QNetworkAccessManager(m_context);
    m_state->network = network;
    if (application && m_context->thread() != application->thread())
        m_context->moveToThread(application->thread());

    auto cache = m_state->cache;
    // Switched off, the client leaves the file of an earlier run alone.
    if (!m_state->configuration->analyticsDisabled())
        m_state->backgroundQueue->start([cache] { cache->readSignalCacheFile(); });

    std::weak_ptr<State> weakState = m_state;
    QObject::connect(m_sendTimer, &QTimer::timeout, m_context, [weakState] {
        if (const auto state = weakState.lock()) {
            auto configuration = state->configuration;
            auto cache = state->cache;
            auto inFlight = state->inFlight;
            auto quitting = state->quitting;
            auto network = state->network;
            state->backgroundQueue->start([=] { prepareSignalBatch(configuration, cache, inFlight, quitting, network); });
        }
    });
    if (application) {
        auto state = m_state;
        QObject::connect(application, &QCoreApplication::aboutToQuit, m_context, [state] { backUpAtQuit(*state); });
    }
    startSendTimer();
}

SignalManager::~SignalManager()
{
    if (!m_context)
        return;
    if (QThread::currentThread() == m_context->thread())
        delete m_context;
    else
        m_context->deleteLater();
}

void SignalManager::startSendTimer()
{
    sendCachedSignalBatch();
    if (!m_sendTimer)
        return;
    const int interval = int(SignalTimings::current().sendInterval.count());
    QMetaObject::invokeMethod(m_sendTimer, [timer = m_sendTimer, interval] { timer->start(interval); },
                              QThread::currentThread() == m_sendTimer->thread() ? Qt::DirectConnection
                                                                               : Qt::QueuedConnection);
}

void SignalManager::sendCachedSignalBatch()
{
    if (m_mode == Mode::inert)
        return;
    auto configuration = m_state->configuration;
    auto cache = m_state->cache;
    auto inFlight = m_state->inFlight;
    auto quitting = m_state->quitting;
    auto network = m_state->network;
    m_state->backgroundQueue->start([=] { prepareSignalBatch(configuration, cache, inFlight, quitting, network); });
}

void SignalManager::appWillTerminate()
{
    if (m_mode == Mode::inert)
        return;
    backUpAtQuit(*m_state);
}

bool SignalManager::waitForBackgroundWork(int msecs)
{
    return m_state->backgroundQueue->waitForDone(msecs);
}

QString SignalManager::defaultUserIdentifier()
{
    if (const auto user = m_state->configuration->defaultUser())
        return *user;
    const std::unique_ptr<DefaultsSuite> suite = SignalHub::telemetryDefaultsSuite();
    const QString key = QStringLiteral("defaultUserIdentifier");
    if (suite) {
        if (const auto stored = suite->string(key))
            return *stored;
    }
    const QString generated = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (suite)
        suite->setValue(key, generated);
    return generated;
}

void SignalManager::queueSignalForSending(const QString &signalType, const QMap<QString, QString> &parameters,
                                          std::optional<double> floatValue, const std::optional<QString> &customUserID,
                                          const std::shared_ptr<SignalHubConfiguration> &configuration)
{
    if (m_mode == Mode::inert || !configuration || configuration->analyticsDisabled())
        return;
    const QString defaultUser = defaultUserIdentifier();
    const QMap<QString, QString> defaultPayload = DefaultSignalPayload::parameters();
    auto cache = m_state->cache;
    m_state->backgroundQueue->start([=] {
        const auto record = SignalPostBody::build(*configuration, signalType, parameters, floatValue, customUserID,
                                                  defaultPayload, defaultUser, SignalPlatform::current()->now());
        if (!record) {
            configuration->log(Level::error,
                               QStringLiteral("Dropped signal '%1': its value is not a finite number").arg(signalType));
            return;
        }
        if (logsAtDebug(*configuration))
            configuration->log(Level::debug, QStringLiteral("Process signal: ") + record->description());
        cache->appendSignal(*record);
    });
}

std::optional<QUrl> SignalManager::signalAPIURL(const QUrl &baseURL, const std::optional<QString> &namespaceName)
{
    QString text = baseURL.toString(QUrl::FullyEncoded);
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    if (namespaceName && !namespaceName->isEmpty())
        text += QStringLiteral("v2/namespace/") + *namespaceName + QLatin1Char('/');
    else
        text += QStringLiteral("v2/");
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

bool SignalManager::shouldResend(const SignalClientError &error)
{
    switch (error.kind) {
    case SignalClientError::Kind::unauthorised:
    case SignalClientError::Kind::payloadTooLarge: // a single record the service will never take
        return false;
    case SignalClientError::Kind::forbidden: // proxies and deploys answer 403 and 404 for a while
    case SignalClientError::Kind::invalidEndpointUrl:
        return true;
    case SignalClientError::Kind::invalidStatusCode:
        return !(error.statusCode >= 400 && error.statusCode <= 499) || error.statusCode == 404 || error.statusCode == 408
               || error.statusCode == 429;
    }
    return true;
}
