#pragma once

#include "Kestrowan/onboarding/OnboardingFlow.h"

#include <QPointer>
#include <QWidget>

class FilledButton;
class QAbstractButton;
class QHBoxLayout;
class QVBoxLayout;
class StepIndicator;
class TextButton;

// The first-run flow as the main window shows it in place of its content: the step on screen, the
// step indicator, the navigation bar and the skip control, on a frame centred in the window (its
// own size, or the window's where that is smaller).
class OnboardingView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int frameWidth = 560;
    static constexpr int frameHeight = 480;

    OnboardingView(OnboardingFlow::Services services, OnboardingFlow::Action onFinish, OnboardingFlow::Action onSkip,
                   QWidget *parent = nullptr);

    OnboardingFlow &flow() { return *m_flow; }
    QWidget *stepContent() const { return m_step; }
    QWidget *frame() const { return m_frame; }
    TextButton *skipButton() const { return m_skip; }
    TextButton *backButton() const { return m_back; }
    // The controls that move forward (or finish) on the step on screen, left to right.
    QList<QAbstractButton *> forwardControls() const { return m_forward; }

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showStep(bool animated);
    void rebuildNavigationBar();
    void placeFrame();
    void fitStepSpacing(bool shortFrame);

    OnboardingFlow *m_flow;
    OnboardingFlow::Services m_services;
    QWidget *m_frame;
    QVBoxLayout *m_column = nullptr;
    QVBoxLayout *m_stepHolder;
    QPointer<QWidget> m_step;
    StepIndicator *m_indicator;
    QHBoxLayout *m_bar;
    TextButton *m_back = nullptr;
    QList<QAbstractButton *> m_forward;
    TextButton *m_skip;
    bool m_appeared = false;
};
