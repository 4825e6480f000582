#pragma once

#include "Tallyline/SignalTimings.h"

#include <chrono>

// Timings under which nothing is sent on its own and no session begins before the test asks.
inline void useQuietSignalTimings()
{
    SignalTimings timings;
    timings.sendInterval = std::chrono::hours(1);
    timings.firstSessionDelay = std::chrono::hours(1);
    SignalTimings::setCurrent(timings);
}
