#pragma once

#include "Tallyline/SignalCache.h"
#include "Tallyline/SignalClientError.h"
#include "Tallyline/SignalManageable.h"

#include <QUrl>

#include <memory>
#include <optional>

class QObject;
class QTimer;
class SignalHubConfiguration;

// Owns the pending records and drains them: every send interval at most 100 records go out as one
// JSON array; a batch that fails for a reason that may pass is put back behind newer records, one the
// service refuses outright is dropped. The records are written to the cache file when the application
// is about to quit and restored by the next manager.
//
// Threads: signals are handed over on the main thread, which also owns the timer and the network
// access (both asynchronous, so nothing here waits on the network). Restoring the file, building
// records and preparing batches run one after another on the manager's own background thread, so
// records reach the cache in the order they were handed over.
class SignalManager final : public SignalManageable
{
public:
    enum class Mode {
        active,
        // A stand-by manager of a client that is not initialised: it keeps nothing, never touches
        // the cache file and never sends.
        inert,
    };

    explicit SignalManager(std::shared_ptr<SignalHubConfiguration> configuration, Mode mode = Mode::active);
    ~SignalManager() override;

    void queueSignalForSending(const QString &signalType, const QMap<QString, QString> &parameters,
                               std::optional<double> floatValue, const std::optional<QString> &customUserID,
                               const std::shared_ptr<SignalHubConfiguration> &configuration) override;
    void sendCachedSignalBatch() override;
    QString defaultUserIdentifier() override;

    void appWillTerminate();
    void startSendTimer();

    Mode mode() const { return m_mode; }
    std::shared_ptr<SignalCache> signalCache() const { return m_signalCache; }
    // Waits for the background thread to run out of work (records being built, batches prepared).
    bool waitForBackgroundWork(int msecs);

    static std::optional<QUrl> signalAPIURL(const QUrl &baseURL, const std::optional<QString> &namespaceName);
    // Whether a batch refused with `error` is worth sending again: transport failures, server
    // errors, timeouts, throttling, and the 403 and 404 that proxies and deploys give for a while
    // are; any other client error never will be. A batch too large is split instead, down to one
    // record, which is then dropped.
    static bool shouldResend(const SignalClientError &error);

    // Shared with the manager's callbacks; opaque outside the manager.
    struct State;

private:
    std::shared_ptr<State> m_state;
    std::shared_ptr<SignalCache> m_signalCache;
    Mode m_mode;
    // Lives on the main thread; parent of the send timer and the network access.
    QObject *m_context = nullptr;
    QTimer *m_sendTimer = nullptr;
};
