#include "Kestrowan/dock/DockItemInfo.h"

#include "Kestrowan/groups/DockService.h"

#include <cmath>

QString standardizedFilePath(const QUrl &url)
{
    return DockService::standardizedPath(url);
}

namespace {

// A value that came from another process may be anything; only a finite one in range is converted.
qint64 truncated(qreal value)
{
    if (!std::isfinite(value) || std::abs(value) > 1e15)
        return 0;
    return qint64(value);
}

} // namespace

QString truncatedFrameText(const QRectF &frame)
{
    return QStringLiteral("%1:%2:%3:%4")
        .arg(truncated(frame.x()))
        .arg(truncated(frame.y()))
        .arg(truncated(frame.width()))
        .arg(truncated(frame.height()));
}

bool rectContainsPoint(const QRectF &rect, const QPointF &point)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return false;
    return point.x() >= rect.left() && point.x() < rect.left() + rect.width() && point.y() >= rect.top()
        && point.y() < rect.top() + rect.height();
}
