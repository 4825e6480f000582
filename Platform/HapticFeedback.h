#pragma once

#include <memory>

// The device that plays haptic feedback patterns. This machine has none, so its adapter does
// nothing; the rules about when to ask it (throttling) live with the callers.
class HapticFeedback {
public:
    enum class Pattern { Generic, Alignment, LevelChange };

    virtual ~HapticFeedback() = default;

    static HapticFeedback &shared();
    // Replaces the process-wide performer; nullptr goes back to this machine's.
    static void install(std::unique_ptr<HapticFeedback> feedback);

    // Plays `pattern` at the default performance time.
    virtual void perform(Pattern pattern) = 0;
};
