#pragma once

#include <QWidget>

class OnboardingFlow;

// The first step: a greeting and the Dock's applications, running ones first and marked.
class WelcomeStep final : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxIcons = 21;
    static constexpr int iconsPerRow = 7;
    explicit WelcomeStep(const OnboardingFlow &flow, QWidget *parent = nullptr);
};
