#include "Kestrowan/popup/PopupScreenGeometry.h"

#include "Platform/DockPreferences.h"

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
    const QVariant orientation = DockPreferences::shared().value(QStringLiteral("orientation"));
    if (orientation.typeId() != QMetaType::QString)
        return DockPosition::Bottom;
    const QString edge = orientation.toString().toLower();
    if (edge == QLatin1String("left"))
        return DockPosition::Left;
    if (edge == QLatin1String("right"))
        return DockPosition::Right;
    return DockPosition::Bottom;
}

QRectF dockVisibleFrame()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    QScreen *chosen = QGuiApplication::primaryScreen();
    if (screens.size() >= 2) {
        const DockPosition edge = currentDockPosition();
        chosen = screens.first();
        for (QScreen *screen : screens) {
            const QRect frame = screen->geometry();
            const QRect best = chosen->geometry();
            // In window space the lowest screen has the largest bottom edge.
            const bool better = edge == DockPosition::Bottom ? frame.bottom() > best.bottom()
                : edge == DockPosition::Left                 ? frame.left() < best.left()
                                                             : frame.right() > best.right();
            if (better)
                chosen = screen;
        }
    }
    if (!chosen)
        return {};
    return toBottomLeftSpace(QRectF(chosen->availableGeometry()));
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
