#pragma once

#include <QList>
#include <QtGlobal>

#include <functional>

// The session record that retention figures come from: the client's own session bookkeeping, unless
// a provider was installed in its place (tests play several launches with their own records).
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
    // The provider's record (null when it gives none), else the shared session bookkeeping.
    static SessionStatisticsSource *shared();
};
