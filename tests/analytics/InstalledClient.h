#pragma once

#include "tests/analytics/FixedSignalPlatform.h"

#include "Tallyline/SignalCache.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/SignalManager.h"
#include "Tallyline/SignalTimings.h"
#include "tests/analytics/QuietTimings.h"

#include <QCoreApplication>
#include <QMutex>
#include <QTest>

// A client installed for a test on a fixed clock and zone: nothing is sent on its own and no
// session begins unless the test starts one. Records are taken straight out of the cache.
struct InstalledClient
{
    std::shared_ptr<FixedSignalPlatform> platform = std::make_shared<FixedSignalPlatform>();
    std::shared_ptr<SignalHubConfiguration> configuration;
    QMutex logMutex;
    QStringList logLines;

    void install(const QUrl &baseURL = QUrl(QStringLiteral("http://127.0.0.1:9/")))
    {
        useQuietSignalTimings();
        SignalPlatform::setCurrent(platform);
        configuration = std::make_shared<SignalHubConfiguration>(QStringLiteral("APP-SESSIONS"), std::nullopt, baseURL);
        configuration->setLogHandler(LogHandler(LogHandler::LogLevel::info, [this](LogHandler::LogLevel, const QString &line) {
            QMutexLocker lock(&logMutex);
            logLines.append(line);
        }));
        SignalHub::initialize(configuration);
    }

    QStringList log()
    {
        QMutexLocker lock(&logMutex);
        return logLines;
    }

    static std::shared_ptr<SignalManager> manager()
    {
        return std::dynamic_pointer_cast<SignalManager>(SignalHub::shared()->signalManager());
    }

    // Hands pending signals to the manager and waits until their records are built.
    static bool settle()
    {
        QCoreApplication::processEvents();
        return manager()->waitForBackgroundWork(10000);
    }

    static QList<SignalPostBody> takeRecords()
    {
        if (!settle())
            return {};
        QList<SignalPostBody> records;
        while (manager()->signalCache()->signalCount() > 0)
            records += manager()->signalCache()->popSignalBatch();
        return records;
    }

    static QStringList types(const QList<SignalPostBody> &records)
    {
        QStringList names;
        for (const SignalPostBody &record : records)
            names.append(record.type);
        return names;
    }
};
