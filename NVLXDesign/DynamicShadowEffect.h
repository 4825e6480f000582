#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QGraphicsDropShadowEffect>

// A soft drop shadow whose colour follows the appearance of the widget it is set on. Lengths in
// points: `radius` is the blur radius, `offset` moves the shadow (y downwards).
class DynamicShadowEffect : public QGraphicsDropShadowEffect {
    Q_OBJECT
public:
    DynamicShadowEffect(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset);

    // Sets the effect on `target` (which owns it) and returns it.
    static DynamicShadowEffect *apply(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset);

    void setShadowColor(const DynamicColor &color);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refreshColor();

    QWidget *m_target;
    DynamicColor m_color;
};
