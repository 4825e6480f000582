#include "NVLXDesign/DynamicShadowEffect.h"

#include <QEvent>
#include <QWidget>

DynamicShadowEffect::DynamicShadowEffect(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset)
    : QGraphicsDropShadowEffect(target), m_target(target), m_color(color)
{
    // Qt's blur radius spreads about twice as far as the layouts' shadow radius.
    setBlurRadius(radius * 2);
    setOffset(offset);
    refreshColor();
    target->installEventFilter(this);
}

DynamicShadowEffect *DynamicShadowEffect::apply(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset)
{
    auto *effect = new DynamicShadowEffect(target, color, radius, offset);
    target->setGraphicsEffect(effect);
    return effect;
}

void DynamicShadowEffect::setShadowColor(const DynamicColor &color)
{
    m_color = color;
    refreshColor();
}

bool DynamicShadowEffect::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_target && event->type() == QEvent::PaletteChange)
        refreshColor();
    return false;
}

void DynamicShadowEffect::refreshColor()
{
    setColor(m_color.resolve(m_target));
}
