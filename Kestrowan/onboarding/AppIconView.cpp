#include "Kestrowan/onboarding/AppIconView.h"

#include "Kestrowan/onboarding/OnboardingStyle.h"

#include <QPainter>

AppIconView::AppIconView(const DockReader::DockApp &app, qreal side, qreal corner, bool running, QWidget *parent)
    : QWidget(parent), m_app(app), m_corner(corner), m_running(running)
{
    setFixedSize(int(side), int(side));
    setAccessibleName(app.name);
    setToolTip(app.name);
}

void AppIconView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    OnboardingStyle::paintAppIcon(painter, this, m_app, QRectF(rect()), m_corner);
    if (m_running)
        OnboardingStyle::paintRunningIndicator(painter, QRectF(rect()), this);
}
