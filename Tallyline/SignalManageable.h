#pragma once

#include <QMap>
#include <QString>

#include <memory>
#include <optional>

class SignalHubConfiguration;

// What the hub asks of its signal manager.
class SignalManageable
{
public:
    virtual ~SignalManageable() = default;

    // On the main thread; the parameters are complete (prefixes and defaults applied).
    virtual void queueSignalForSending(const QString &signalType, const QMap<QString, QString> &parameters,
                                       std::optional<double> floatValue, const std::optional<QString> &customUserID,
                                       const std::shared_ptr<SignalHubConfiguration> &configuration) = 0;
    virtual void sendCachedSignalBatch() = 0;
    // The generated identifier of this installation's user, before hashing.
    virtual QString defaultUserIdentifier() = 0;
};
