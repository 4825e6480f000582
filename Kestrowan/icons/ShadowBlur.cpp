#include "Kestrowan/icons/ShadowBlur.h"

#include <QPainter>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Widths of three successive box filters whose combination approximates a Gaussian of `sigma`
// (the usual construction: two sizes, odd, around sqrt(12 sigma^2 / n + 1)).
std::array<int, 3> boxRadii(qreal sigma)
{
    constexpr int passes = 3;
    const qreal ideal = std::sqrt(12 * sigma * sigma / passes + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const qreal idealCount = (12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) / (-4.0 * lower - 4);
    const int count = int(std::lround(idealCount));
    std::array<int, 3> radii{};
    for (int i = 0; i < passes; ++i)
        radii[i] = ((i < count ? lower : upper) - 1) / 2;
    return radii;
}

// One box pass along a row of `length` samples, from `in` to `out`.
void boxLine(const float *in, float *out, int length, int radius)
{
    const float scale = 1.0f / float(2 * radius + 1);
    float sum = 0;
    for (int i = 0; i <= radius && i < length; ++i)
        sum += in[i];
    for (int i = 0; i < length; ++i) {
        out[i] = sum * scale;
        const int add = i + radius + 1;
        const int drop = i - radius;
        if (add < length)
            sum += in[add];
        if (drop >= 0)
            sum -= in[drop];
    }
}

// The same pass down every column at once, walking the rows in memory order: one running sum per
// column, added and dropped in exactly the order boxLine uses, so the result is the same to the bit.
void boxColumns(const float *in, float *out, int width, int height, int radius, std::vector<float> &sums)
{
    const float scale = 1.0f / float(2 * radius + 1);
    sums.assign(size_t(width), 0.0f);
    float *sum = sums.data();
    for (int i = 0; i <= radius && i < height; ++i) {
        const float *row = in + size_t(i) * width;
        for (int x = 0; x < width; ++x)
            sum[x] += row[x];
    }
    for (int i = 0; i < height; ++i) {
        float *target = out + size_t(i) * width;
        for (int x = 0; x < width; ++x)
            target[x] = sum[x] * scale;
        const int add = i + radius + 1;
        const int drop = i - radius;
        if (add < height) {
            const float *row = in + size_t(add) * width;
            for (int x = 0; x < width; ++x)
                sum[x] += row[x];
        }
        if (drop >= 0) {
            const float *row = in + size_t(drop) * width;
            for (int x = 0; x < width; ++x)
                sum[x] -= row[x];
        }
    }
}

} // namespace

void ShadowBlur::blurCoverage(quint8 *coverage, int width, int height, qreal sigma)
{
    if (width <= 0 || height <= 0 || !(sigma > 0.2))
        return;
    const size_t count = size_t(width) * size_t(height);
    std::vector<float> a(coverage, coverage + count);
    std::vector<float> b(count);
    std::vector<float> sums;
    for (int radius : boxRadii(sigma)) {
        if (radius <= 0)
            continue;
        for (int y = 0; y < height; ++y)
            boxLine(a.data() + size_t(y) * width, b.data() + size_t(y) * width, width, radius);
        boxColumns(b.data(), a.data(), width, height, radius, sums);
    }
    for (size_t i = 0; i < count; ++i)
        coverage[i] = quint8(std::clamp(std::lround(a[i]), 0L, 255L));
}

QImage ShadowBlur::underlay(const QImage &layer, const QPointF &offset, qreal sigma, const QColor &color)
{
    const QImage source = layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = source.width();
    const int h = source.height();
    std::vector<quint8> coverage(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        for (int x = 0; x < w; ++x)
            coverage[size_t(y) * w + x] = quint8(qAlpha(row[x]));
    }
    blurCoverage(coverage.data(), w, h, sigma);

    QImage shadow(w, h, QImage::Format_ARGB32_Premultiplied);
    const QRgb tint = color.rgba();
    for (int y = 0; y < h; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int alpha = coverage[size_t(y) * w + x] * qAlpha(tint) / 255;
            row[x] = qPremultiply(qRgba(qRed(tint), qGreen(tint), qBlue(tint), alpha));
        }
    }

    QImage result = layer;
    result.fill(Qt::transparent);
    QPainter p(&result);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(offset, shadow);
    p.drawImage(QPoint(0, 0), source);
    return result;
}
