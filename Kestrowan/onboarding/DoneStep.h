#pragma once

#include <QWidget>

class OnboardingFlow;

// The last step: what finishing will make, one card per draft group that holds applications, and
// the hot keys those groups will get.
class DoneStep final : public QWidget {
    Q_OBJECT
public:
    static constexpr int iconsPerCard = 5;
    explicit DoneStep(const OnboardingFlow &flow, QWidget *parent = nullptr);
    // "Ctrl+1" for the first group, up to the last default key.
    static QStringList shortcutChipTexts(int groups);
};
