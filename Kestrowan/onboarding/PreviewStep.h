#pragma once

#include <QWidget>

class MockPopup;
class OnboardingFlow;

// The third step: a picture of a group's popup made from the user's own Dock, and three more things
// the program does.
class PreviewStep final : public QWidget {
    Q_OBJECT
public:
    explicit PreviewStep(const OnboardingFlow &flow, QWidget *parent = nullptr);
    MockPopup *popup() const { return m_popup; }

private:
    MockPopup *m_popup;
};
