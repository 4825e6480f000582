#pragma once

#include "Platform/linux/BoundedChild.h"

class QSocketNotifier;
class QTimer;

// One run of a helper process and what watches it from the event loop: its end, its output and its
// deadline. The renderers that start helpers keep one per child.
struct WatchedHelper {
    virtual ~WatchedHelper() = default;

    BoundedChild child;
    QSocketNotifier *ended = nullptr;
    QSocketNotifier *output = nullptr;
    QTimer *deadline = nullptr;

    // Lets go of the run: its notifiers, its deadline, and the child, collected, so no zombie stays.
    static void release(WatchedHelper *run);
};
