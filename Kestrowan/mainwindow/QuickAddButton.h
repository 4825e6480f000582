#pragma once

#include "Kestrowan/shell/PointerPlainButton.h"

// The card's round-cornered plus button; accent and stronger while the pointer is over it.
class QuickAddButton final : public PointerPlainButton {
    Q_OBJECT
public:
    static constexpr int side = 28;

    explicit QuickAddButton(QWidget *parent = nullptr);
    bool isPlusHovered() const { return underMouse(); }
    QSize sizeHint() const override { return QSize(side, side); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};
