#include "Kestrowan/popup/PopupItemCell.h"

#include "Kestrowan/popup/IconAccentColor.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/shell/HapticTick.h"
#include "Kestrowan/shell/PointerCursorState.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

namespace {

QColor mixed(const QColor &from, const QColor &to, qreal t)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * t),
                            float(from.greenF() + (to.greenF() - from.greenF()) * t),
                            float(from.blueF() + (to.blueF() - from.blueF()) * t),
                            float(from.alphaF() + (to.alphaF() - from.alphaF()) * t));
}

} // namespace

PopupItemCell::PopupItemCell(PopupCellInputs inputs, QWidget *parent)
    : QAbstractButton(parent)
    , m_inputs(std::move(inputs))
    , m_hoverAnimation(new QVariantAnimation(this))
{
    applyPointerCursor(this);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(m_inputs.app.name);
    setAccessibleDescription(PopupStyle::formatted(QStringLiteral("ax.openApp.hint"), m_inputs.app.name));
    m_hoverAnimation->setDuration(120);
    m_hoverAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_hoverAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_highlight = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_inputs.onLaunch)
            m_inputs.onLaunch();
    });
}

void PopupItemCell::setFocused(bool focused)
{
    if (m_inputs.isFocused == focused)
        return;
    m_inputs.isFocused = focused;
    update();
}

void PopupItemCell::setOpened(bool opened)
{
    if (m_inputs.isOpened == opened)
        return;
    m_inputs.isOpened = opened;
    update();
}

bool PopupItemCell::showsOpenerBadge() const
{
    return !m_inputs.openerIcon.isNull() && m_inputs.app.itemKind() != AppItem::Kind::App;
}

QString PopupItemCell::commandBadgeText() const
{
    return m_inputs.shortcutNumber ? QStringLiteral("⌘%1").arg(*m_inputs.shortcutNumber) : QString();
}

QColor PopupItemCell::tintColor() const
{
    return iconAccentColor(m_inputs.app.itemIcon(), m_inputs.app.bundleIdentifier);
}

const QImage &PopupItemCell::picture() const
{
    if (!m_picture)
        m_picture = m_inputs.pictureSource ? m_inputs.pictureSource() : QImage();
    return *m_picture;
}

void PopupItemCell::setPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

void PopupItemCell::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    if (m_hovering)
        return;
    playHapticTick();
    m_hovering = true;
    m_hoverAnimation->stop();
    m_hoverAnimation->setStartValue(m_highlight);
    m_hoverAnimation->setEndValue(1.0);
    m_hoverAnimation->start();
}

void PopupItemCell::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    m_hovering = false;
    m_hoverAnimation->stop();
    m_hoverAnimation->setStartValue(m_highlight);
    m_hoverAnimation->setEndValue(0.0);
    m_hoverAnimation->start();
}

void PopupItemCell::applyPressedOpacity(QPainter &painter) const
{
    if (isDown())
        painter.setOpacity(0.85);
}

void PopupItemCell::paintBackground(QPainter &painter, qreal radius) const
{
    // Focus shows at once; hover eases in and out.
    const qreal highlight = m_inputs.isFocused ? 1.0 : m_highlight;
    QColor tint = highlight > 0 ? tintColor() : QColor();
    if (tint.isValid())
        tint.setAlphaF(0.22f);
    const QColor fill = highlight > 0 ? mixed(PopupStyle::surfaceTint(this), tint, highlight) : PopupStyle::surfaceTint(this);
    const QColor stroke = mixed(PopupStyle::strokeSubtle(this), PopupStyle::strokeStrong(this), highlight);
    const qreal width = m_inputs.isFocused ? 1.5 : 0.8;
    QPainterPath shape;
    const QRectF box = QRectF(rect()).adjusted(width / 2, width / 2, -width / 2, -width / 2);
    shape.addRoundedRect(box, radius, radius);
    painter.setPen(QPen(stroke, width));
    painter.setBrush(fill);
    painter.drawPath(shape);
}

void PopupItemCell::paintPicture(QPainter &painter, const QImage &picture, const QRectF &rect, qreal radius)
{
    if (picture.isNull())
        return;
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(rect, radius, radius);
    painter.setClipPath(clip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Fill the frame, keeping the picture's proportions; what overflows is cut off.
    const qreal scale = std::max(rect.width() / picture.width(), rect.height() / picture.height());
    const QSizeF drawn(picture.width() * scale, picture.height() * scale);
    painter.drawImage(QRectF(rect.center().x() - drawn.width() / 2, rect.center().y() - drawn.height() / 2,
                             drawn.width(), drawn.height()),
                      picture);
    painter.restore();
}

void PopupItemCell::paintOpenerBadge(QPainter &painter, const QRectF &rect, qreal shadowOpacity, qreal shadowRadius) const
{
    if (!showsOpenerBadge())
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    // A soft shadow one point down.
    for (int step = 1; step <= 2; ++step) {
        QColor shadow(0, 0, 0);
        shadow.setAlphaF(float(shadowOpacity / (step + 1)));
        painter.setBrush(shadow);
        const qreal grow = shadowRadius * step / 2;
        painter.drawRoundedRect(rect.translated(0, 1).adjusted(-grow, -grow, grow, grow), 3 + grow, 3 + grow);
    }
    const qreal dpr = painter.device()->devicePixelRatioF();
    const QImage icon = m_inputs.openerIcon.pixmap(rect.size().toSize() * 2, dpr).toImage();
    paintPicture(painter, icon, rect, 3);
    painter.restore();
}
