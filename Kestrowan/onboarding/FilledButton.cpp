#include "Kestrowan/onboarding/FilledButton.h"

#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SoftShadow.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

namespace {

// Room for the shadow below and around the fill.
constexpr int shadowMargin = 10;

} // namespace

FilledButton::FilledButton(const QString &title, const Look &look, QWidget *parent) : PointerPlainButton(parent)
{
    setLook(title, look);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void FilledButton::setLook(const QString &title, const Look &look)
{
    m_title = title;
    m_look = look;
    setText(title);
    setAccessibleName(title);
    updateGeometry();
    update();
}

QSize FilledButton::sizeHint() const
{
    const QFontMetricsF metrics(OnboardingStyle::font(m_look.titlePoints, QFont::DemiBold));
    qreal width = metrics.horizontalAdvance(m_title) + 2 * m_look.horizontalPadding;
    if (!m_look.symbol.isEmpty())
        width += m_look.symbolPoints + m_look.spacing;
    const qreal height = std::max(metrics.height(), m_look.symbolPoints) + 2 * m_look.verticalPadding;
    return QSize(int(std::ceil(width)) + 2 * shadowMargin, int(std::ceil(height)) + 2 * shadowMargin);
}

QRectF FilledButton::buttonRect() const
{
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

void FilledButton::paintEvent(QPaintEvent *event)
{
    PointerPlainButton::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.5);
    else if (isDown())
        painter.setOpacity(PlainContentButton::pressedOpacity);
    const QRectF box = buttonRect();
    paintSoftShadow(painter, box, m_look.corner, m_look.shadow.resolve(this, m_look.shadowOpacity), m_look.shadowRadius,
                    QPointF(0, m_look.shadowOffset));
    painter.fillPath(ContinuousShape::roundedRect(box, m_look.corner), m_look.fill.resolve(this));

    const QFont font = OnboardingStyle::font(m_look.titlePoints, QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const qreal textWidth = metrics.horizontalAdvance(m_title);
    const bool hasSymbol = !m_look.symbol.isEmpty();
    const qreal contentWidth = textWidth + (hasSymbol ? m_look.symbolPoints + m_look.spacing : 0);
    qreal x = box.center().x() - contentWidth / 2;
    const QColor white = OnboardingColors::white.resolve(this);
    const auto symbolAt = [&](qreal left) {
        OnboardingStyle::paintSymbol(painter, m_look.symbol, QRectF(left, box.top(), m_look.symbolPoints, box.height()),
                                     m_look.symbolPoints, SymbolImage::Weight::Semibold, white);
    };
    if (hasSymbol && !m_look.symbolTrailing) {
        symbolAt(x);
        x += m_look.symbolPoints + m_look.spacing;
    }
    painter.setFont(font);
    painter.setPen(white);
    painter.drawText(QRectF(x, box.top(), textWidth + 1, box.height()), Qt::AlignLeft | Qt::AlignVCenter, m_title);
    x += textWidth + m_look.spacing;
    if (hasSymbol && m_look.symbolTrailing)
        symbolAt(x);
}

void FilledButton::changeEvent(QEvent *event)
{
    PointerPlainButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::PaletteChange)
        update();
}
