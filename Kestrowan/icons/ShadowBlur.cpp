#include "Kestrowan/icons/ShadowBlur.h"

#include <QHash>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
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

// One box pass down every column at once, walking the rows in memory order with one running sum per
// column. Samples beyond the ends count as empty.
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

template <typename In>
void transpose(const In *in, float *out, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const In *row = in + size_t(y) * width;
        for (int x = 0; x < width; ++x)
            out[size_t(x) * height + y] = float(row[x]);
    }
}

// Shadows of the same shape come back again and again: every card a preview draws has the same
// outline whatever it shows, and lands on the same few tile places. A coverage seen before gets the
// blur it got then, which is what blurring it again would give.
class BlurredShapes {
public:
    void blur(std::vector<quint8> &coverage, int width, int height, qreal sigma, const QPoint &origin, bool halved)
    {
        const auto blurNow = [&] {
            if (halved)
                ShadowBlur::blurCoverageHalved(coverage.data(), width, height, sigma, origin);
            else
                ShadowBlur::blurCoverage(coverage.data(), width, height, sigma);
        };
        if (coverage.size() > kLargestKept) {
            blurNow();
            return;
        }
        // Only a halved blur depends on where the buffer lies.
        const QPoint parity = halved ? QPoint(1 + (origin.x() & 1), 1 + (origin.y() & 1)) : QPoint();
        const size_t hash = qHashBits(coverage.data(), coverage.size(), qHash(sigma));
        {
            const std::lock_guard lock(m_mutex);
            for (Shape &shape : m_shapes) {
                if (shape.hash == hash && shape.width == width && shape.height == height && shape.sigma == sigma && shape.parity == parity
                    && shape.coverage == coverage) {
                    shape.used = ++m_clock;
                    coverage = shape.blurred;
                    return;
                }
            }
        }
        Shape shape{hash, width, height, sigma, parity, coverage, {}, 0};
        blurNow();
        shape.blurred = coverage;
        const std::lock_guard lock(m_mutex);
        shape.used = ++m_clock;
        if (m_shapes.size() < kCapacity) {
            m_shapes.push_back(std::move(shape));
            return;
        }
        auto oldest = std::min_element(m_shapes.begin(), m_shapes.end(), [](const Shape &a, const Shape &b) { return a.used < b.used; });
        *oldest = std::move(shape);
    }

private:
    // Four tile places and a few preview shapes; each shape a few tens of kilobytes.
    static constexpr size_t kCapacity = 12;
    // Shadows of tiles on large skins are seldom the same twice and would hold megabytes each.
    static constexpr size_t kLargestKept = 640 * 640;
    struct Shape {
        size_t hash;
        int width;
        int height;
        qreal sigma;
        QPoint parity;
        std::vector<quint8> coverage;
        std::vector<quint8> blurred;
        quint64 used;
    };
    std::mutex m_mutex;
    std::vector<Shape> m_shapes;
    quint64 m_clock = 0;
};

BlurredShapes &blurredShapes()
{
    static BlurredShapes shapes;
    return shapes;
}

} // namespace

namespace {

// Three box passes along each axis of a row-major buffer of floats, in place.
void blurFloats(std::vector<float> &a, int width, int height, qreal sigma)
{
    // Box passes along one axis and along the other commute, so the horizontal passes run first, on
    // the transposed buffer, and the vertical ones after: every pass then walks memory in order.
    std::vector<float> b(a.size());
    std::vector<float> sums;
    const std::array<int, 3> radii = boxRadii(sigma);
    transpose(a.data(), b.data(), width, height);
    a.swap(b);
    for (int radius : radii) {
        if (radius > 0) {
            boxColumns(a.data(), b.data(), height, width, radius, sums);
            a.swap(b);
        }
    }
    transpose(a.data(), b.data(), height, width);
    a.swap(b);
    for (int radius : radii) {
        if (radius > 0) {
            boxColumns(a.data(), b.data(), width, height, radius, sums);
            a.swap(b);
        }
    }
}

inline quint8 coverageLevel(float value)
{
    return quint8(std::clamp(int(value + 0.5f), 0, 255));
}

// From this width on, a blur varies slowly enough that the coverage at half its resolution gives it
// as well: the pixels are averaged two by two, blurred, and spread back by linear interpolation,
// for a quarter of the work. No level moves by more than ten, which a shadow of at most a fifth
// of full strength (the icons' tiles and the preview cards cast fainter ones) shows as two at most.
constexpr qreal kHalvedFromSigma = 2.4;
constexpr int kHalvedUpToAlpha = 48;

void blurHalved(quint8 *coverage, int width, int height, qreal sigma, const QPoint &origin)
{
    // Pixels are paired from even places on the canvas, wherever the buffer starts: a layer drawn
    // in a part of the canvas gets the shadow it gets on the whole one.
    const int padX = origin.x() & 1;
    const int padY = origin.y() & 1;
    const int halfWidth = (width + padX + 1) / 2;
    const int halfHeight = (height + padY + 1) / 2;
    std::vector<float> half(size_t(halfWidth) * size_t(halfHeight), 0.0f);
    // Pixels beyond an odd edge count as empty, as beyond the buffer.
    for (int y = 0; y < height; ++y) {
        const quint8 *row = coverage + size_t(y) * width;
        float *target = half.data() + size_t((y + padY) / 2) * halfWidth;
        for (int x = 0; x < width; ++x)
            target[(x + padX) / 2] += float(row[x]);
    }
    for (float &value : half)
        value *= 0.25f;
    // The averaging and the interpolation blur a little themselves (a variance of 1/4 and 3/16 of a
    // pixel): the blur at half resolution leaves that much out.
    const qreal sigmaHalved = std::sqrt(std::max<qreal>(sigma * sigma - 0.4375, 1.0)) / 2;
    blurFloats(half, halfWidth, halfHeight, sigmaHalved);

    // A full pixel x lies at x / 2 - 1/4 between the centres of the halved ones: an even one a
    // quarter past the one before its own, an odd one a quarter before the one after. Beyond the
    // first and the last, the halved values go on as the last two lean (the blur is steep where a
    // shape meets the layer's edge), never below empty.
    const auto weighed = [](const float *values, qsizetype stride, int count, int full) {
        const int near = full / 2;
        const int far = full % 2 == 0 ? near - 1 : near + 1;
        const float nearValue = values[near * stride];
        float farValue = nearValue;
        if (far >= 0 && far < count)
            farValue = values[far * stride];
        else if (count > 1)
            farValue = std::max(0.0f, 2 * nearValue - values[(far < 0 ? 1 : count - 2) * stride]);
        return 0.75f * nearValue + 0.25f * farValue;
    };
    std::vector<float> rowMix(static_cast<size_t>(halfWidth));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < halfWidth; ++x)
            rowMix[size_t(x)] = weighed(half.data() + x, halfWidth, halfHeight, y + padY);
        quint8 *target = coverage + size_t(y) * width;
        for (int x = 0; x < width; ++x)
            target[x] = coverageLevel(weighed(rowMix.data(), 1, halfWidth, x + padX));
    }
}

} // namespace

void ShadowBlur::blurCoverage(quint8 *coverage, int width, int height, qreal sigma)
{
    if (width <= 0 || height <= 0 || !(sigma > 0.2))
        return;
    const size_t count = size_t(width) * size_t(height);
    std::vector<float> a(coverage, coverage + count);
    blurFloats(a, width, height, sigma);
    for (size_t i = 0; i < count; ++i)
        coverage[i] = coverageLevel(a[i]);
}

bool ShadowBlur::blursAtHalfResolution(qreal sigma, const QColor &color)
{
    return sigma >= kHalvedFromSigma && color.alpha() <= kHalvedUpToAlpha;
}

void ShadowBlur::blurCoverageHalved(quint8 *coverage, int width, int height, qreal sigma, const QPoint &origin)
{
    if (width <= 0 || height <= 0 || !(sigma > 0.2))
        return;
    blurHalved(coverage, width, height, sigma, origin);
}

namespace {

// x × a / 255 for each of the four bytes of x, rounded as Qt's painter rounds them.
inline QRgb scaledBytes(QRgb x, uint a)
{
    uint t = (x & 0xff00ff) * a;
    t = (t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8;
    t &= 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = x + ((x >> 8) & 0xff00ff) + 0x800080;
    x &= 0xff00ff00;
    return x | t;
}

} // namespace

QImage ShadowBlur::underlay(const QImage &layer, const QPointF &offset, qreal sigma, const QColor &color, const QPoint &origin)
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
    blurredShapes().blur(coverage, w, h, sigma, origin + QPoint(int(std::lround(offset.x())), int(std::lround(offset.y()))),
                         blursAtHalfResolution(sigma, color));

    const QRgb tint = color.rgba();
    std::array<QRgb, 256> tinted;
    for (int c = 0; c < 256; ++c)
        tinted[size_t(c)] = qPremultiply(qRgba(qRed(tint), qGreen(tint), qBlue(tint), c * qAlpha(tint) / 255));
    const int dx = int(std::lround(offset.x()));
    const int dy = int(std::lround(offset.y()));
    if (offset == QPointF(dx, dy)) {
        // A whole-pixel offset, as every shadow the icons draw has: the layer goes over its shadow
        // pixel by pixel, exactly as the painter would put it there, without the shadow's own image.
        QImage result(w, h, QImage::Format_ARGB32_Premultiplied);
        result.setDotsPerMeterX(layer.dotsPerMeterX());
        result.setDotsPerMeterY(layer.dotsPerMeterY());
        result.setDevicePixelRatio(layer.devicePixelRatio());
        // Columns whose shadow lies on the layer; beside them, and on rows without shadow, the
        // layer's pixels stand as they are. So does a pixel without shadow under it or an opaque
        // one: most of a tile is one or the other.
        const int first = std::clamp(dx, 0, w);
        const int last = std::clamp(w + dx, 0, w);
        for (int y = 0; y < h; ++y) {
            const QRgb *over = reinterpret_cast<const QRgb *>(source.constScanLine(y));
            QRgb *target = reinterpret_cast<QRgb *>(result.scanLine(y));
            const int shadowRow = y - dy;
            if (shadowRow < 0 || shadowRow >= h || first >= last) {
                std::memcpy(target, over, size_t(w) * sizeof(QRgb));
                continue;
            }
            const quint8 *under = coverage.data() + size_t(shadowRow) * w;
            std::memcpy(target, over, size_t(first) * sizeof(QRgb));
            for (int x = first; x < last; ++x) {
                const QRgb pixel = over[x];
                const uint alpha = qAlpha(pixel);
                const quint8 cover = under[x - dx];
                target[x] = cover == 0 || alpha == 255 ? pixel : pixel + scaledBytes(tinted[cover], 255 - alpha);
            }
            std::memcpy(target + last, over + last, size_t(w - last) * sizeof(QRgb));
        }
        return result;
    }

    QImage shadow(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        const quint8 *from = coverage.data() + size_t(y) * w;
        for (int x = 0; x < w; ++x)
            row[x] = tinted[from[x]];
    }

    QImage result = layer;
    result.fill(Qt::transparent);
    QPainter p(&result);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(offset, shadow);
    p.drawImage(QPoint(0, 0), source);
    return result;
}
