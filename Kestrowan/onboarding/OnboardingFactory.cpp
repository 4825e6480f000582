#include "Kestrowan/onboarding/OnboardingFactory.h"

#include "Kestrowan/onboarding/OnboardingView.h"

QWidget *makeOnboardingView(const AppEnvironment &environment, OnboardingCompletion *completion, std::function<void()> onFinish,
                            std::function<void()> onSkip)
{
    return new OnboardingView({environment.groupManager, environment.skinManager, environment.permissionManager, completion},
                              std::move(onFinish), std::move(onSkip));
}
