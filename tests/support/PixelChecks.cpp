#include "tests/support/PixelChecks.h"

#include <QHash>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

double luminance(const QColor &colour)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::pair<QColor, QColor> fillAndInk(const QImage &picture)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            ++counts[picture.pixel(x, y) | 0xFF000000u];
    }
    QRgb fill = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            fill = it.key();
        }
    }
    QColor ink(fill);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (contrastRatio(QColor(it.key()), QColor(fill)) > contrastRatio(ink, QColor(fill)))
            ink = QColor(it.key());
    }
    return {QColor(fill), ink};
}

QRect inkBounds(const QImage &picture, const QColor &background)
{
    QRect bounds;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            if (pixel.alpha() > 60 && contrastRatio(pixel, background) > 1.6)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

double drawnTextContrast(QWidget *widget, int inset)
{
    return drawnTextContrast(widget, widget->rect().adjusted(inset, inset, -inset, -inset));
}

double drawnTextContrast(QWidget *widget, const QRect &area)
{
    QWidget *window = widget->window();
    const QImage picture = window->grab().toImage();
    const qreal scale = picture.devicePixelRatio();
    const QRect placed = area.translated(widget->mapTo(window, QPoint(0, 0)));
    const QRect pixels(QPointF(placed.topLeft() * scale).toPoint(), QSizeF(placed.size() * scale).toSize());
    const auto [fill, ink] = fillAndInk(picture.copy(pixels));
    return contrastRatio(fill, ink);
}
