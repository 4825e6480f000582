#pragma once

#include <memory>

// The desktop's own light or dark preference, which the "system" appearance follows.
class SystemAppearance {
public:
    virtual ~SystemAppearance() = default;

    static SystemAppearance &shared();
    // Replaces the process-wide reader; nullptr goes back to this machine's.
    static void install(std::unique_ptr<SystemAppearance> appearance);

    // Read afresh on every call; false when the desktop states no preference.
    virtual bool prefersDark() const = 0;
};
