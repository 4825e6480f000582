#pragma once

#include <functional>
#include <memory>

// Restarts this session's Dock, so that it reads its tile list again, the way the platform's Dock
// is restarted. It reaches this session's Dock only, never another session's or user's.
class DockRestarter {
public:
    using Completion = std::function<void(bool)>;

    virtual ~DockRestarter() = default;

    // The process-wide restarter: this session's Dock unless a test installed another.
    static DockRestarter &shared();
    // Replaces the process-wide restarter; nullptr goes back to this session's Dock.
    static void install(std::unique_ptr<DockRestarter> restarter);

    // Ends the running Dock and waits for its new process. `completion` gets true once a new Dock
    // answers, false when none does in time. A request made while a restart is under way waits for
    // it, then the Dock is restarted once more for every request that waited. Call on the main
    // thread; `completion` runs there from the event loop, never inside this call.
    virtual void restart(Completion completion) = 0;
};
