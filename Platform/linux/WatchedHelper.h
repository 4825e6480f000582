#pragma once

#include "Platform/linux/BoundedChild.h"

#include <QString>

#include <optional>

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

    // What went wrong when the way the child ended tells it: it could not be collected, was ended at
    // its limits, or never started; empty when it ended of itself. `transient` says whether a later
    // try may go better (a busy machine, a helper being replaced), so the file is not marked failed.
    static QString failureOfEnd(const std::optional<BoundedChild::Exit> &exit, bool &transient);
};
