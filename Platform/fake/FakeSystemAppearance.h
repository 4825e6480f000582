#pragma once

#include "Platform/SystemAppearance.h"

class FakeSystemAppearance final : public SystemAppearance {
public:
    bool dark = false;
    bool prefersDark() const override { return dark; }
};
