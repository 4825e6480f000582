#include "Kestrowan/popup/PopupScreenGeometry.h"

#include "Kestrowan/dock/DockPositionResolver.h"

namespace PopupScreenGeometry {

QRectF dockVisibleFrame()
{
    const std::optional<ScreenDescription> screen = DockPositionResolver::dockScreen();
    return screen ? screen->visibleFrame : QRectF();
}

bool isOnDock(const QPoint &windowPoint)
{
    const QRectF band = DockPositionResolver::dockFrame();
    return rectContainsPoint(band, DockPositionResolver::convertQuartzPointToAppKit(QPointF(windowPoint)));
}

QRectF toBottomLeftSpace(const QRectF &windowRect)
{
    return DockPositionResolver::convertQuartzRectToAppKit(windowRect);
}

QRectF toWindowSpace(const QRectF &bottomLeftRect)
{
    // The rectangle's top edge is its largest y here.
    const QPointF topLeft = DockPositionResolver::convertAppKitPointToQuartz(
        QPointF(bottomLeftRect.x(), bottomLeftRect.y() + bottomLeftRect.height()));
    return QRectF(topLeft, bottomLeftRect.size());
}

} // namespace PopupScreenGeometry
