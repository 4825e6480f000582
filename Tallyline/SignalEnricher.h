#pragma once

#include <QMap>
#include <QString>

#include <optional>

// Adds payload entries to a record while it is built. Called from the client's background thread,
// possibly for several signals at once.
class SignalEnricher
{
public:
    virtual ~SignalEnricher() = default;
    virtual QMap<QString, QString> enrich(const QString &signalType, const std::optional<QString> &customUserID,
                                          std::optional<double> floatValue) const = 0;
};
