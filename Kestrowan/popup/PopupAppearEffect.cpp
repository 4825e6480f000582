#include "Kestrowan/popup/PopupAppearEffect.h"

#include <QPainter>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

PopupAppearEffect::PopupAppearEffect(DockPosition edge, QObject *parent)
    : QGraphicsEffect(parent)
    , m_edge(edge)
{
}

void PopupAppearEffect::play(QWidget *card, DockPosition edge)
{
    auto *effect = new PopupAppearEffect(edge, card);
    card->setGraphicsEffect(effect);
    auto *animation = new QVariantAnimation(effect);
    animation->setStartValue(startScale);
    animation->setEndValue(1.0);
    animation->setDuration(durationMilliseconds);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QVariantAnimation::valueChanged, effect, [effect](const QVariant &value) {
        effect->m_scale = value.toReal();
        effect->update();
    });
    const QPointer<QWidget> target(card);
    connect(animation, &QVariantAnimation::finished, card, [target, effect] {
        if (target && target->graphicsEffect() == effect)
            target->setGraphicsEffect(nullptr); // deletes the effect and its animation later
    });
    animation->start();
}

QPointF PopupAppearEffect::anchorPoint(const QRectF &card, DockPosition edge)
{
    switch (edge) {
    case DockPosition::Bottom:
        return {card.center().x(), card.bottom()};
    case DockPosition::Left:
        return {card.left(), card.center().y()};
    case DockPosition::Right:
        return {card.right(), card.center().y()};
    }
    return card.center();
}

void PopupAppearEffect::draw(QPainter *painter)
{
    if (m_scale >= 1.0) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    if (pixmap.isNull())
        return;
    const QSizeF size = pixmap.deviceIndependentSize();
    const QPointF anchor = anchorPoint(QRectF(offset, size), m_edge);
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->translate(anchor);
    painter->scale(m_scale, m_scale);
    painter->translate(-anchor);
    painter->drawPixmap(offset, pixmap);
    painter->restore();
}
