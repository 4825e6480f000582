#include "Kestrowan/icons/InlinePainting.h"

#include "Platform/PoolThread.h"

#include <QThread>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>

void paintInline(const std::function<void()> &work)
{
    if (work)
        PoolThread::run(work);
}

void paintInlineTogether(const std::vector<std::function<void()>> &jobs, const std::function<void()> &then)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    if (pool->contains(QThread::currentThread())) {
        for (const std::function<void()> &job : jobs)
            job();
        if (then)
            then();
        return;
    }
    // With no jobs, `then` is the one job.
    std::vector<std::function<void()>> work = jobs;
    std::function<void()> last = then;
    if (work.empty()) {
        if (!last)
            return;
        work.push_back(std::move(last));
        last = nullptr;
    }
    std::mutex mutex;
    std::condition_variable finished;
    size_t remaining = work.size();
    bool done = false;
    for (const std::function<void()> &job : work) {
        pool->reserveThread();
        pool->startOnReservedThread([&mutex, &finished, &remaining, &done, &last, &job] {
            job();
            {
                const std::lock_guard lock(mutex);
                if (--remaining > 0)
                    return;
            }
            if (last)
                last();
            const std::lock_guard lock(mutex);
            done = true;
            finished.notify_one();
        });
    }
    std::unique_lock lock(mutex);
    finished.wait(lock, [&done] { return done; });
}
