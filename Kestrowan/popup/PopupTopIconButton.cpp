#include "Kestrowan/popup/PopupTopIconButton.h"

#include "Kestrowan/popup/PopupStyle.h"

#include <QPainter>
#include <QVariantAnimation>

namespace {

constexpr qreal padding = 7;

PopupStyle::SymbolWeight symbolWeight(QFont::Weight weight)
{
    if (weight >= QFont::Bold)
        return PopupStyle::SymbolWeight::Bold;
    if (weight >= QFont::DemiBold)
        return PopupStyle::SymbolWeight::Semibold;
    if (weight >= QFont::Medium)
        return PopupStyle::SymbolWeight::Medium;
    return PopupStyle::SymbolWeight::Regular;
}

} // namespace

PopupTopIconButton::PopupTopIconButton(const QString &systemName, qreal fontSize, QFont::Weight weight, QWidget *parent)
    : PopupPlainButton(parent)
    , m_systemName(systemName)
    , m_fontSize(fontSize)
    , m_weight(weight)
    , m_animation(new QVariantAnimation(this))
{
    m_animation->setDuration(120);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_scale = value.toReal();
        update();
    });
    setFixedSize(sizeHint());
}

QSize PopupTopIconButton::sizeHint() const
{
    const QSizeF symbol = PopupStyle::symbolSize(m_systemName, m_fontSize);
    return QSize(qCeil(symbol.width() + 2 * padding), qCeil(symbol.height() + 2 * padding));
}

void PopupTopIconButton::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    m_animation->stop();
    m_animation->setStartValue(m_scale);
    m_animation->setEndValue(hovering ? 1.05 : 1.0);
    m_animation->start();
}

void PopupTopIconButton::enterEvent(QEnterEvent *event)
{
    PopupPlainButton::enterEvent(event);
    setHovering(true);
}

void PopupTopIconButton::leaveEvent(QEvent *event)
{
    PopupPlainButton::leaveEvent(event);
    setHovering(false);
}

void PopupTopIconButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    beginPainting(painter, false); // a click does not change the button's look
    const QPointF center = QRectF(rect()).center();
    painter.translate(center);
    painter.scale(m_scale, m_scale);
    painter.translate(-center);
    PopupStyle::drawSymbol(painter, m_systemName, m_fontSize, symbolWeight(m_weight), PopupStyle::secondaryStyle(this),
                           QRectF(rect()));
}
