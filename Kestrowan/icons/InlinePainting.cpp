#include "Kestrowan/icons/InlinePainting.h"

#include <QThread>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>

void paintInline(const std::function<void()> &work)
{
    paintInlineTogether({work});
}

void paintInlineTogether(const std::vector<std::function<void()>> &jobs)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    if (jobs.size() <= 1 && (jobs.empty() || pool->contains(QThread::currentThread()))) {
        for (const std::function<void()> &job : jobs)
            job();
        return;
    }
    std::mutex mutex;
    std::condition_variable finished;
    size_t remaining = jobs.size();
    for (const std::function<void()> &job : jobs) {
        pool->reserveThread();
        pool->startOnReservedThread([&mutex, &finished, &remaining, &job] {
            job();
            const std::lock_guard lock(mutex);
            if (--remaining == 0)
                finished.notify_one();
        });
    }
    std::unique_lock lock(mutex);
    finished.wait(lock, [&remaining] { return remaining == 0; });
}
