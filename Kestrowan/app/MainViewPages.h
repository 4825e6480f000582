#pragma once

#include "Kestrowan/shell/AppEnvironment.h"

class OnboardingCompletion;

// Puts the pages of the other parts into the main window: the first-run flow, the group editor (with the application
// pickers, the shortcut store and the key translation it works with), the settings page and the
// add-to-group menu of the group cards. Call once the services exist. The first run's finish is
// carried out by `onboardingCompletion`, which outlives every window (without one, each flow keeps
// its own).
void installMainViewPages(const AppEnvironment &environment, OnboardingCompletion *onboardingCompletion = nullptr);
