#include "Kestrowan/onboarding/TextButton.h"

#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QFontMetricsF>
#include <QPainter>

TextButton::TextButton(const QString &title, const Look &look, QWidget *parent)
    : PointerPlainButton(parent), m_title(title), m_look(look)
{
    setText(title);
    setAccessibleName(title);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(m_look.outline ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TextButton::sizeHint() const
{
    const QFontMetricsF metrics(OnboardingStyle::font(m_look.titlePoints, m_look.titleWeight));
    qreal width = m_title.isEmpty() ? 0 : metrics.horizontalAdvance(m_title);
    if (!m_look.symbol.isEmpty())
        width += m_look.symbolPoints + (m_title.isEmpty() ? 0 : m_look.spacing);
    const qreal height = std::max(metrics.height(), m_look.symbolPoints + 4);
    return QSize(int(std::ceil(width + 2 * m_look.padding)) + 2, int(std::ceil(height + 2 * m_look.padding)));
}

void TextButton::paintEvent(QPaintEvent *event)
{
    PointerPlainButton::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        painter.setOpacity(PlainContentButton::pressedOpacity);
    const QRectF box(rect());
    if (m_look.outline) {
        painter.setPen(QPen(m_look.outline->resolve(this), 1.5));
        painter.drawPath(ContinuousShape::roundedRect(box.adjusted(0.75, 0.75, -0.75, -0.75), 10));
    }
    const QFont font = OnboardingStyle::font(m_look.titlePoints, m_look.titleWeight);
    const QFontMetricsF metrics(font);
    const qreal textWidth = m_title.isEmpty() ? 0 : metrics.horizontalAdvance(m_title);
    const bool hasSymbol = !m_look.symbol.isEmpty();
    const qreal contentWidth = textWidth + (hasSymbol ? m_look.symbolPoints + (m_title.isEmpty() ? 0 : m_look.spacing) : 0);
    qreal x = m_look.outline ? box.center().x() - contentWidth / 2 : box.left() + 1;
    const QColor color = m_look.color.resolve(this, m_look.colorOpacity);
    if (hasSymbol) {
        OnboardingStyle::paintSymbol(painter, m_look.symbol, QRectF(x, box.top(), m_look.symbolPoints, box.height()),
                                     m_look.symbolPoints, m_look.symbolWeight, color);
        x += m_look.symbolPoints + m_look.spacing;
    }
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(x, box.top(), textWidth + 1, box.height()), Qt::AlignLeft | Qt::AlignVCenter, m_title);
}
