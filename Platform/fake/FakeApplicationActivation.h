#pragma once

#include "Platform/ApplicationActivation.h"

#include <QList>

// Remembers what the program asked for.
class FakeApplicationActivation final : public ApplicationActivation {
public:
    Policy policy = Policy::Accessory;
    QList<Policy> policiesSet;
    int activations = 0;

    Policy activationPolicy() const override { return policy; }
    void setActivationPolicy(Policy next) override
    {
        policy = next;
        policiesSet.append(next);
    }
    void activateIgnoringOtherApps() override { ++activations; }
    void simulateReopen() { emit reopenRequested(); }
};
