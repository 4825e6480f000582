#pragma once

#include "Kestrowan/shell/PointerPlainButton.h"

// A button of the editor's bottom bar: 11-point text on a small glass pill; the accented kind (the
// syncs) in semibold on an accent tint, the plain kind (cancel, revert) in medium.
class DockBarButton : public PointerPlainButton {
    Q_OBJECT
public:
    DockBarButton(const QString &text, bool accented, QWidget *parent = nullptr);

    bool isAccented() const { return m_accented; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont labelFont() const;
    bool m_accented;
};
