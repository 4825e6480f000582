#pragma once

#include "Kestrowan/popup/PopupPlainButton.h"

class QVariantAnimation;

// The header's symbol button: the symbol with 7 points around it, grown to 1.05 while the pointer
// is over it; no bezel and no press effect of its own.
class PopupTopIconButton : public PopupPlainButton {
    Q_OBJECT
public:
    PopupTopIconButton(const QString &systemName, qreal fontSize, QFont::Weight weight, QWidget *parent = nullptr);

    bool isHovering() const { return m_hovering; }
    qreal currentScale() const { return m_scale; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void setHovering(bool hovering);

    QString m_systemName;
    qreal m_fontSize;
    QFont::Weight m_weight;
    bool m_hovering = false;
    qreal m_scale = 1.0;
    QVariantAnimation *m_animation;
};
