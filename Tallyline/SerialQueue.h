#pragma once

#include <QThreadPool>

#include <functional>

// Work that must run off the caller's thread but one block after another, in the order handed in.
class SerialQueue
{
public:
    SerialQueue();
    ~SerialQueue();

    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    void async(std::function<void()> work);
    // Waits until every block handed in so far has run; false when the deadline passed first.
    bool waitForIdle(int msecs);

private:
    QThreadPool m_pool;
};
