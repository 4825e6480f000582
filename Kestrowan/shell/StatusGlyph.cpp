#include "Kestrowan/shell/StatusGlyph.h"

#include <QPainter>
#include <QPainterPath>

QImage drawStatusGlyph(qreal scale)
{
    constexpr qreal side = 18;
    const int pixels = qRound(side * scale);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The drawing is given in points with the origin at the bottom left and y upwards.
    painter.scale(scale, -scale);
    painter.translate(0, -side);

    QPen outlinePen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPainterPath outline(QPointF(4, 5));
    outline.cubicTo(QPointF(6, 2.8), QPointF(12, 2.8), QPointF(14, 5));
    outline.cubicTo(QPointF(15.8, 5.5), QPointF(15.9, 8.2), QPointF(15.1, 10));
    outline.cubicTo(QPointF(15, 12.8), QPointF(13.9, 14), QPointF(12.3, 14.2));
    outline.cubicTo(QPointF(10.5, 15.6), QPointF(7.5, 15.6), QPointF(5.7, 14.2));
    outline.cubicTo(QPointF(4.1, 14), QPointF(3, 12.8), QPointF(2.9, 10));
    outline.cubicTo(QPointF(2.1, 8.2), QPointF(2.2, 5.5), QPointF(4, 5));
    painter.setPen(outlinePen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(5, 13.6, 1.7, 1.7));
    painter.drawEllipse(QRectF(11.3, 13.6, 1.7, 1.7));
    painter.drawEllipse(QRectF(6.9, 9, 1, 1));
    painter.drawEllipse(QRectF(10.1, 9, 1, 1));

    QPainterPath nose(QPointF(9, 7.7));
    nose.lineTo(QPointF(8.2, 6.9));
    nose.lineTo(QPointF(9.8, 6.9));
    nose.closeSubpath();
    painter.drawPath(nose);

    QPainterPath mouth(QPointF(6.4, 3.4));
    mouth.cubicTo(QPointF(8, 2.2), QPointF(10, 2.2), QPointF(11.6, 3.4));
    painter.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mouth);
    painter.end();
    image.setDevicePixelRatio(scale);
    return image;
}

const QImage &statusGlyph()
{
    static const QImage glyph = drawStatusGlyph(2);
    return glyph;
}
