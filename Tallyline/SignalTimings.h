#pragma once

#include <chrono>

// The client's intervals. Hosts keep the defaults; tests shorten them so nothing waits ten seconds.
struct SignalTimings
{
    std::chrono::milliseconds sendInterval{10000};
    std::chrono::milliseconds firstSessionDelay{500};
    std::chrono::milliseconds immediateSyncDelay{50};
    std::chrono::milliseconds immediateSyncThrottle{10000};
    std::chrono::milliseconds batchRequestTimeout{60000};
    // How long quitting waits for records still being built before the cache is written.
    std::chrono::milliseconds quitFlushLimit{2000};

    static SignalTimings current();
    static void setCurrent(const SignalTimings &timings);
};
