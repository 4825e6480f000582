#include "Kestrowan/onboarding/SymbolBadge.h"

#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SoftShadow.h"

#include <QPainter>

SymbolBadge::SymbolBadge(const Look &look, QWidget *parent) : QWidget(parent), m_look(look)
{
    // Room for the shadow around the badge.
    const int margin = m_look.shadow ? int(m_look.shadowRadius + m_look.shadowOffset) : 0;
    setFixedSize(int(m_look.side) + 2 * margin, int(m_look.side) + 2 * margin);
}

void SymbolBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF badge(0, 0, m_look.side, m_look.side);
    badge.moveCenter(QRectF(rect()).center());
    const qreal corner = m_look.corner < 0 ? m_look.side / 2 : m_look.corner;
    if (m_look.shadow)
        paintSoftShadow(painter, badge, corner, m_look.shadow->resolve(this, m_look.shadowOpacity), m_look.shadowRadius,
                        QPointF(0, m_look.shadowOffset));
    painter.fillPath(ContinuousShape::roundedRect(badge, corner), m_look.fill.resolve(this, m_look.fillOpacity));
    OnboardingStyle::paintSymbol(painter, m_look.symbol, badge, m_look.symbolPoints, m_look.weight, m_look.symbolColor.resolve(this));
}
