#pragma once

#include "Kestrowan/shell/AppEnvironment.h"

#include <functional>

class OnboardingCompletion;
class QWidget;

// The first-run flow on the program's services, as the main window asks for it; its finish is carried
// out by `completion` (the application's), or by the flow itself when there is none.
QWidget *makeOnboardingView(const AppEnvironment &environment, OnboardingCompletion *completion, std::function<void()> onFinish,
                            std::function<void()> onSkip);
