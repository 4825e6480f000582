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
    auto *card = qobject_cast<QWidget *>(parent());
    if (m_scale >= 1.0 || !card) {
        drawSource(painter);
        return;
    }
    // The card and everything in it drawn through a scaled painter, growing out of the side that
    // faces the tile. Qt renders a widget tree for a scaled painter through a picture of its own.
    const QPointF anchor = anchorPoint(QRectF(card->rect()), m_edge);
    painter->save();
    painter->translate(anchor);
    painter->scale(m_scale, m_scale);
    painter->translate(-anchor);
    card->render(painter, QPoint(), QRegion(card->rect()), QWidget::DrawChildren);
    painter->restore();
}
