#include "Platform/linux/QtScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace {

QRectF primaryGeometry()
{
    QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? QRectF(primary->geometry()) : QRectF();
}

// Qt's integer rectangles end one pixel before their right and bottom edges; these are the edges.
QRectF exact(const QRect &rect)
{
    return QRectF(rect.x(), rect.y(), rect.width(), rect.height());
}

} // namespace

QRectF QtScreens::flippedRect(const QRectF &qtRect, const QRectF &primary)
{
    const qreal x = qtRect.x() - primary.x();
    const qreal top = qtRect.y() - primary.y();
    return QRectF(x, primary.height() - top - qtRect.height(), qtRect.width(), qtRect.height());
}

QPointF QtScreens::flippedPoint(const QPointF &qtPoint, const QRectF &primary)
{
    return QPointF(qtPoint.x() - primary.x(), primary.height() - (qtPoint.y() - primary.y()));
}

ScreenDescription QtScreens::describe(QScreen *screen, quint32 number, const QRectF &primary)
{
    ScreenDescription description;
    description.name = screen->name();
    description.displayIdentifier = number;
    description.frame = flippedRect(exact(screen->geometry()), primary);
    description.visibleFrame = flippedRect(exact(screen->availableGeometry()), primary);
    description.displayBounds = exact(screen->geometry()).translated(-primary.topLeft());
    return description;
}

QList<ScreenDescription> QtScreens::screens() const
{
    QList<ScreenDescription> list;
    QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return list;
    const QRectF primaryRect = primaryGeometry();
    list.append(describe(primary, 1, primaryRect));
    quint32 number = 2;
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen != primary)
            list.append(describe(screen, number++, primaryRect));
    }
    return list;
}

std::optional<ScreenDescription> QtScreens::mainScreen() const
{
    QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return std::nullopt;
    return describe(primary, 1, primaryGeometry());
}

QPointF QtScreens::mouseLocation() const
{
    return flippedPoint(QPointF(QCursor::pos()), primaryGeometry());
}
