#include "Tallyline/SerialQueue.h"

SerialQueue::SerialQueue()
{
    // One thread keeps the blocks in order: the pool runs equal-priority work first come, first served.
    m_pool.setMaxThreadCount(1);
}

SerialQueue::~SerialQueue()
{
    m_pool.waitForDone();
}

void SerialQueue::async(std::function<void()> work)
{
    m_pool.start(std::move(work));
}

bool SerialQueue::waitForIdle(int msecs)
{
    return m_pool.waitForDone(msecs);
}
