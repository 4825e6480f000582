#pragma once

#include "Kestrowan/dock/DockPosition.h"

#include <QRectF>
#include <QString>
#include <QUrl>

#include <optional>

// One Dock tile as Accessibility shows it. `frame` is in the top-left-origin global space. Tiles
// have no equality of their own: each user compares them by its own rule.
struct DockItemInfo {
    QString title;
    QRectF frame;
    std::optional<QString> subrole;
    std::optional<QUrl> url;
};

// The path by which tiles and mirror folders are compared: the URL's file path, cleaned.
QString standardizedFilePath(const QUrl &url);

// The integer parts of a frame, "x:y:width:height", each truncated toward zero.
QString truncatedFrameText(const QRectF &frame);

// Whether a rectangle holds a point, as the platform's rectangles do: points on the minimum edges
// are inside, points on the maximum edges are not.
bool rectContainsPoint(const QRectF &rect, const QPointF &point);
