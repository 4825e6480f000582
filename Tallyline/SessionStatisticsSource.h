#pragma once

#include <QList>
#include <QtGlobal>

#include <functional>

// The session record that retention figures come from. The client asks for it through a provider
// that the session bookkeeping installs; without one there are no stored sessions.
class SessionStatisticsSource
{
public:
    virtual ~SessionStatisticsSource() = default;

    // A new session identifier was set.
    virtual void beginSessionStats() = 0;
    // -1 without stored sessions.
    virtual qint64 averageSessionSeconds() const = 0;
    // Durations of the stored sessions, oldest first.
    virtual QList<qint64> recentSessionDurations() const = 0;

    using Provider = std::function<SessionStatisticsSource *()>;
    static void installProvider(Provider provider);
    // Null without a provider.
    static SessionStatisticsSource *shared();
};
