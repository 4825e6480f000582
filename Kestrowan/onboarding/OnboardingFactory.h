#pragma once

#include "Kestrowan/shell/AppEnvironment.h"

#include <functional>

class QWidget;

// The first-run flow on the program's services, as the main window asks for it.
QWidget *makeOnboardingView(const AppEnvironment &environment, std::function<void()> onFinish, std::function<void()> onSkip);
