#pragma once

#include "Platform/DockRestarter.h"

// Counts restarts and answers each with `succeeds`, from the event loop, without any Dock.
class FakeDockRestarter final : public DockRestarter {
public:
    bool succeeds = true;
    int restarts = 0;

    void restart(Completion completion) override;
};
