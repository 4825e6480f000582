#include "Kestrowan/mainwindow/HoverCard.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

QColor mix(const QColor &a, const QColor &b, qreal t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t), float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

// Assistive technologies see a card as a button that can be pressed.
class AccessibleCard final : public QAccessibleWidget {
public:
    explicit AccessibleCard(HoverCard *card) : QAccessibleWidget(card, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction())
            emit static_cast<HoverCard *>(widget())->clicked();
    }
};

QAccessibleInterface *accessibleCard(const QString &, QObject *object)
{
    if (auto *card = qobject_cast<HoverCard *>(object))
        return new AccessibleCard(card);
    return nullptr;
}

} // namespace

HoverCard::HoverCard(QWidget *parent)
    : QWidget(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleCard);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setAttribute(Qt::WA_Hover);
    m_pointer = applyPointerCursor(this);
    m_animation.setDuration(150);
    m_animation.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toReal();
        hoverProgressChanged();
        update();
    });
}

QRectF HoverCard::visualRect() const
{
    return QRectF(rect()).adjusted(bleed, bleed, -bleed, -bleed);
}

qreal HoverCard::currentScale() const
{
    // A wide card (a large window's) grows by its scale's share only as far as the bleed lets it:
    // grown any further, its sides and its ring would be cut at the widget's edges.
    const QRectF card = visualRect();
    const qreal longest = std::max<qreal>(1, std::max(card.width(), card.height()));
    const qreal largest = std::min(hoverScale, 1.0 + 2.0 * (bleed - 1) / longest);
    return 1.0 + (largest - 1.0) * m_progress;
}

QRectF HoverCard::scaledRect(const QRectF &rect) const
{
    const qreal scale = currentScale();
    const QPointF centre = visualRect().center();
    return QRectF(centre + (rect.topLeft() - centre) * scale, rect.size() * scale);
}

void HoverCard::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    if (hovering)
        emit hoverEntered();
    emit hoverChanged(hovering);
    m_animation.stop();
    m_animation.setStartValue(m_progress);
    m_animation.setEndValue(hovering ? 1.0 : 0.0);
    m_animation.start();
}

void HoverCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = visualRect();
    const qreal scale = currentScale();
    painter.translate(card.center());
    painter.scale(scale, scale);
    painter.translate(-card.center());

    const QPainterPath shape = ContinuousShape::roundedRect(card, cornerRadius);
    // The shadow is a blur of 1.5 points one point down: two soft passes of the shape are enough.
    const QColor shadow = AppColors::shadow.resolve(this);
    for (const qreal spread : {0.75, 1.5}) {
        QColor pass = shadow;
        pass.setAlphaF(shadow.alphaF() * 0.5f);
        painter.fillPath(ContinuousShape::roundedRect(card.adjusted(-spread / 2, 1 - spread / 2, spread / 2, 1 + spread / 2),
                                                      cornerRadius + spread / 2),
                         pass);
    }
    painter.fillPath(shape, AppColors::surface.resolve(this));
    painter.save();
    paintContent(painter, card);
    painter.restore();
    if (washesWhileHovered() && m_progress > 0)
        painter.fillPath(shape, AppColors::hover.resolve(effectiveAppearance(this), m_progress));

    const qreal width = 1.0 + 0.5 * m_progress;
    const QColor border = mix(AppColors::borderCard.resolve(this), AppColors::accent.resolve(effectiveAppearance(this), 0.55), m_progress);
    const QRectF inner = card.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    painter.setPen(QPen(border, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(ContinuousShape::roundedRect(inner, cornerRadius - width / 2));
}

void HoverCard::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            emit clicked();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void HoverCard::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    setHovering(true);
}

void HoverCard::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    setHovering(false);
}

bool HoverCard::acceptsClickAt(const QPointF &point) const
{
    return ContinuousShape::roundedRect(scaledRect(visualRect()), cornerRadius).contains(point);
}

void HoverCard::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton && acceptsClickAt(event->position());
    event->setAccepted(m_pressed);
}

void HoverCard::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && acceptsClickAt(event->position());
    m_pressed = false;
    if (click)
        emit clicked();
}
