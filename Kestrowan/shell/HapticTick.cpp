#include "Kestrowan/shell/HapticTick.h"

#include "Platform/HapticFeedback.h"

#include <QElapsedTimer>

void playHapticTick()
{
    HapticTicker::shared().tick();
}

HapticTicker::HapticTicker(std::function<qint64()> clock) : m_clock(std::move(clock)) {}

bool HapticTicker::tick()
{
    {
        QMutexLocker locker(&m_lock);
        const qint64 now = m_clock();
        if (m_lastTick && now - *m_lastTick < minimumIntervalNs)
            return false;
        m_lastTick = now;
    }
    // Never ask the device while holding the lock.
    HapticFeedback::shared().perform(HapticFeedback::Pattern::Alignment);
    return true;
}

HapticTicker &HapticTicker::shared()
{
    static HapticTicker ticker([] {
        static QElapsedTimer timer = [] {
            QElapsedTimer started;
            started.start();
            return started;
        }();
        return timer.nsecsElapsed();
    });
    return ticker;
}
