#pragma once

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <functional>

// Qt's raster painter and its image conversions hand every fill, scaling or conversion of more than
// about a hundred rows to the global thread pool and wait for it, unless they already run on one of
// its threads. For pictures of icon size the hand-offs cost more than the work.
namespace PoolThread {

// Runs `work` on a pool thread of its own (reserved, so that a busy pool never delays it), where
// every such step stays in one piece, and returns when it is done. On a pool thread already, it
// runs in place: a pool thread that waited for another could wait for ever once all of them did.
inline void run(const std::function<void()> &work)
{
    QThreadPool *pool = QThreadPool::globalInstance();
    if (pool->contains(QThread::currentThread())) {
        work();
        return;
    }
    QSemaphore done;
    pool->reserveThread();
    pool->startOnReservedThread([&work, &done] {
        work();
        done.release();
    });
    done.acquire();
}

} // namespace PoolThread
