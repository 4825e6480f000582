#pragma once

#include "Platform/HapticFeedback.h"

// No haptic device here: every pattern is played into nothing.
class NoHapticFeedback final : public HapticFeedback {
public:
    void perform(Pattern) override {}
};
