#pragma once

#include <QList>

#include "Platform/DockRestarter.h"

// Counts restarts and answers each with `succeeds`, from the event loop, without any Dock.
class FakeDockRestarter final : public DockRestarter {
public:
    bool succeeds = true;
    int restarts = 0;
    // While set, a restart goes on until `finishHeld`, as a real Dock's takes its time.
    bool holds = false;
    QList<Completion> held;

    void restart(Completion completion) override;
    void finishHeld();
};
