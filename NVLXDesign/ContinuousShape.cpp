#include "NVLXDesign/ContinuousShape.h"

#include <QtMath>

namespace {

// How far along each edge an eased corner reaches, in radii.
constexpr qreal kReach = 1.52866483;

// One corner from the end of an edge to the start of the next. `corner` is the rectangle's corner
// point; `along` and `across` are unit directions from it into the rectangle along the edge just
// drawn and along the next one.
void addCorner(QPainterPath &path, const QPointF &corner, const QPointF &along, const QPointF &across, qreal r)
{
    auto at = [&](qreal a, qreal b) { return corner + along * (a * r) + across * (b * r); };
    path.cubicTo(at(1.08849323, 0), at(0.86840689, 0), at(0.63149399, 0.07491100));
    path.cubicTo(at(0.37282392, 0.16905899), at(0.16905899, 0.37282392), at(0.07491100, 0.63149399));
    path.cubicTo(at(0, 0.86840689), at(0, 1.08849323), at(0, kReach));
}

} // namespace

QPainterPath ContinuousShape::roundedRect(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    const QRectF r = rect.normalized();
    const qreal shorter = qMin(r.width(), r.height());
    if (radius <= 0 || shorter <= 0) {
        path.addRect(r);
        return path;
    }
    if (radius * kReach > shorter / 2) {
        const qreal circular = qMin(radius, shorter / 2);
        path.addRoundedRect(r, circular, circular);
        return path;
    }
    const qreal reach = radius * kReach;
    const QPointF right(1, 0), left(-1, 0), down(0, 1), up(0, -1);
    path.moveTo(r.left() + reach, r.top());
    path.lineTo(r.right() - reach, r.top());
    addCorner(path, r.topRight(), left, down, radius);
    path.lineTo(r.right(), r.bottom() - reach);
    addCorner(path, r.bottomRight(), up, left, radius);
    path.lineTo(r.left() + reach, r.bottom());
    addCorner(path, r.bottomLeft(), right, up, radius);
    path.lineTo(r.left(), r.top() + reach);
    addCorner(path, r.topLeft(), down, right, radius);
    path.closeSubpath();
    return path;
}

QPainterPath ContinuousShape::capsule(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = qMin(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}
