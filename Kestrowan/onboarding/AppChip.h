#pragma once

#include "Kestrowan/groups/DockReader.h"
#include "Kestrowan/shell/PointerPlainButton.h"

class OnboardingFlow;

// One Dock application in the group-making step: a click puts it into the active draft or takes it
// out; a drag carries its bundle identifier as plain text to a group card.
class AppChip final : public PointerPlainButton {
    Q_OBJECT
public:
    AppChip(const OnboardingFlow &flow, const DockReader::DockApp &app, QWidget *parent = nullptr);
    const DockReader::DockApp &app() const { return m_app; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return QSize(60, 34); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    const OnboardingFlow &m_flow;
    DockReader::DockApp m_app;
    QPoint m_pressPosition;
};
