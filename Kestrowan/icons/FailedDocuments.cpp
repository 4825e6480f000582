#include "Kestrowan/icons/FailedDocuments.h"

#include <QDeadlineTimer>

bool FailedDocuments::mayTry(const QString &path, const FileStamp &stamp, qint64 nowMs) const
{
    const auto found = m_failures.constFind(path);
    if (found == m_failures.cend() || !(found->stamp == stamp))
        return true;
    return found->retryAtMs > 0 && nowMs >= found->retryAtMs;
}

void FailedDocuments::failed(const QString &path, const FileStamp &stamp, bool transient, qint64 nowMs)
{
    Failure &failure = m_failures[path];
    if (!(failure.stamp == stamp))
        failure = Failure{stamp, 0, 0, 0};
    failure.order = ++m_clock;
    failure.retryAtMs = 0;
    if (transient && ++failure.transientCount < transientTries) {
        const qint64 pause = std::min(longestRetryMs, firstRetryMs << (failure.transientCount - 1));
        failure.retryAtMs = nowMs + pause;
    }
    if (m_failures.size() <= capacity)
        return;
    auto oldest = m_failures.begin();
    for (auto it = m_failures.begin(); it != m_failures.end(); ++it) {
        if (it->order < oldest->order)
            oldest = it;
    }
    m_failures.erase(oldest);
}

qint64 FailedDocuments::nowMs()
{
    return QDeadlineTimer::current().deadline();
}
