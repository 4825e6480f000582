#pragma once

#include "Platform/HapticFeedback.h"

#include <QList>

// Records every pattern it was asked to play, in order.
class FakeHapticFeedback final : public HapticFeedback {
public:
    QList<Pattern> performed;

    void perform(Pattern pattern) override { performed.append(pattern); }
};
