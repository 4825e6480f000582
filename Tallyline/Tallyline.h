#pragma once

#include <QMap>
#include <QString>

#include <memory>
#include <optional>

class SignalHubConfiguration;

// The usage-signal client's public entry points.
class Tallyline
{
public:
    Tallyline() = delete;

    static void initialize(std::shared_ptr<SignalHubConfiguration> config);
    static void terminate();
    static void signal(const QString &signalName, const QMap<QString, QString> &parameters = {},
                       std::optional<double> floatValue = std::nullopt,
                       const std::optional<QString> &customUserID = std::nullopt);
    static void requestImmediateSync();
    static void generateNewSession();
    static void updateDefaultUserID(const std::optional<QString> &user);
};
