#include "Kestrowan/popup/PopupScreenGeometry.h"

#include "Kestrowan/dock/DockPositionResolver.h"

#include <QGuiApplication>
#include <QScreen>

namespace PopupScreenGeometry {

namespace {

qreal primaryHeight()
{
    const QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry().height() : 0;
}

} // namespace

DockPosition currentDockPosition()
{
    return DockPositionResolver::currentDockPosition();
}

QRectF dockVisibleFrame()
{
    const std::optional<ScreenDescription> screen = DockPositionResolver::dockScreen();
    return screen ? screen->visibleFrame : QRectF();
}

QRectF toBottomLeftSpace(const QRectF &windowRect)
{
    return {windowRect.x(), primaryHeight() - windowRect.y() - windowRect.height(), windowRect.width(),
            windowRect.height()};
}

QPointF toBottomLeftSpace(const QPointF &windowPoint)
{
    return {windowPoint.x(), primaryHeight() - windowPoint.y()};
}

QRectF toWindowSpace(const QRectF &bottomLeftRect)
{
    // The flip is its own inverse.
    return toBottomLeftSpace(bottomLeftRect);
}

} // namespace PopupScreenGeometry
