#include "Kestrowan/editor/UsageSignalSender.h"

#include "analytics/NVLXAnalytics.h"

UsageSignalSender analyticsSignalSender()
{
    return [](const QString &name, const QMap<QString, QString> &parameters) { NVLXAnalytics::signal(name, parameters); };
}
