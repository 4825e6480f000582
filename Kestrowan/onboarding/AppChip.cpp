#include "Kestrowan/onboarding/AppChip.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/onboarding/OnboardingFlow.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QApplication>
#include <QDrag>
#include <QFontMetricsF>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

using namespace OnboardingColors;

AppChip::AppChip(const OnboardingFlow &flow, const DockReader::DockApp &app, QWidget *parent)
    : PointerPlainButton(parent), m_flow(flow), m_app(app)
{
    setText(app.name);
    setAccessibleName(app.name);
    setToolTip(app.name);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize AppChip::sizeHint() const
{
    return QSize(120, 34);
}

void AppChip::paintEvent(QPaintEvent *event)
{
    PointerPlainButton::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        painter.setOpacity(PlainContentButton::pressedOpacity);
    const bool active = m_flow.isInActiveGroup(m_app.bundleIdentifier);
    const bool other = !active && m_flow.isInOtherGroup(m_app.bundleIdentifier);
    const QRectF box = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    const QPainterPath shape = ContinuousShape::roundedRect(box, 8);
    painter.fillPath(shape, active ? accent.resolve(this, 0.08) : faintFill.resolve(this, other ? 0.5 : 1.0));
    painter.setPen(active ? QPen(accent.resolve(this), 1.5) : QPen(subtleFill.resolve(this, other ? 0.6 : 1.0), 1));
    painter.drawPath(shape);

    const QRectF icon(10, (height() - 20) / 2.0, 20, 20);
    OnboardingStyle::paintAppIcon(painter, this, m_app, icon, 5);
    if (m_flow.runningBundleIDs().contains(m_app.bundleIdentifier))
        OnboardingStyle::paintRunningIndicator(painter, icon.adjusted(0, 0, 3, 3), this);
    painter.setFont(OnboardingStyle::font(11, QFont::Medium));
    // A chosen name in the accent's text shade: the bright accent on its own tint reads at 2.3:1.
    painter.setPen((active ? AppColors::textInk(accent) : other ? secondaryText : primaryText).resolve(this));
    const QRectF nameRect(icon.right() + 6, 0, width() - icon.right() - 16, height());
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(painter.font()).elidedText(m_app.name, Qt::ElideRight, nameRect.width()));
}

void AppChip::mousePressEvent(QMouseEvent *event)
{
    m_pressPosition = event->position().toPoint();
    PointerPlainButton::mousePressEvent(event);
}

void AppChip::mouseMoveEvent(QMouseEvent *event)
{
    PointerPlainButton::mouseMoveEvent(event);
    if (!(event->buttons() & Qt::LeftButton)
        || (event->position().toPoint() - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
        return;
    // A drag is not a click: the chip lets go before the drag takes the mouse.
    setDown(false);
    auto *mime = new QMimeData;
    mime->setText(m_app.bundleIdentifier);
    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(grab());
    drag->setHotSpot(m_pressPosition);
    drag->exec(Qt::CopyAction);
}
