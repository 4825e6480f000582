#pragma once

#include "Kestrowan/shell/PointerPlainButton.h"
#include "NVLXDesign/DynamicColor.h"

// A small text button of the editor: 11-point medium text on a faint rounded pill with a hairline
// border; at 0.85 while pressed, with the pointing hand.
class EditorPillButton : public PointerPlainButton {
    Q_OBJECT
public:
    EditorPillButton(const QString &text, const DynamicColor &textColor, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DynamicColor m_textColor;
};
