#include "Kestrowan/icons/PointCanvas.h"
#include "Kestrowan/icons/ShadowBlur.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/TestMain.h"

#include <QPainter>
#include <QRandomGenerator>
#include <functional>
#include <numeric>
#include <vector>

class TestPointCanvas : public QObject {
    Q_OBJECT
private slots:
    void originIsBottomLeftAtAnyDensity();
    void imagesAndScaleStayUpright();
    void clipsIntersectAreAntialiasedAndRestore();
    void alphaIsPartOfTheSavedState();
    void shadowFallsDownwardsAndIsClipped();
    void gradientStopsAtItsEnds();
    void blurKeepsCoverageAndSpreadsIt();
    void keptMasksAndShadowsFollowTheirShape();
    void aLayerMadeReadyDrawsWhatDrawingWould();
    void aWindowHoldsWhatTheWholeCanvasHoldsThere();
    void refusesAbsurdSizes();
    void aLayerGoesOverItsShadowAsThePainterPutsIt();
    void aWideShadowBlurredAtHalfResolutionLooksTheSame();
};

void TestPointCanvas::originIsBottomLeftAtAnyDensity()
{
    PointCanvas canvas(QSizeF(100, 50), 2);
    QVERIFY(canvas.isValid());
    canvas.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 10, 10), 0), Qt::red);
    const QImage image = canvas.takeImage();
    QCOMPARE(image.size(), QSize(200, 100));
    QCOMPARE(image.devicePixelRatio(), 2.0);
    QCOMPARE(image.deviceIndependentSize(), QSizeF(100, 50));
    QCOMPARE_COLOR(pointColor(image, 5, 5), QColor(Qt::red), 0);
    QCOMPARE_COLOR(pointColor(image, 5, 45), QColor(0, 0, 0, 0), 0);
    // The bottom-left point is the last pixel row of the bitmap.
    QCOMPARE(QColor::fromRgba(image.pixel(0, 99)), QColor(Qt::red));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
}

void TestPointCanvas::imagesAndScaleStayUpright()
{
    QImage picture(10, 10, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::blue);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 10; ++x)
            picture.setPixelColor(x, y, Qt::red); // top half red
    }
    PointCanvas canvas(QSizeF(100, 100), 1);
    canvas.drawImage(picture, QRectF(0, 0, 40, 40));
    canvas.save();
    canvas.scaleBy(2);
    canvas.fillPath(PointCanvas::roundedRect(QRectF(30, 30, 10, 10), 0), Qt::green); // covers 60...80
    canvas.restore();
    canvas.fillPath(PointCanvas::roundedRect(QRectF(90, 0, 10, 10), 0), Qt::green);
    const QImage image = canvas.takeImage();
    QCOMPARE_COLOR(pointColor(image, 20, 35), QColor(Qt::red), 0);
    QCOMPARE_COLOR(pointColor(image, 20, 5), QColor(Qt::blue), 0);
    QCOMPARE_COLOR(pointColor(image, 61, 61), QColor(Qt::green), 0);
    QCOMPARE_COLOR(pointColor(image, 79, 79), QColor(Qt::green), 0);
    QCOMPARE_COLOR(pointColor(image, 81, 81), QColor(0, 0, 0, 0), 0);
    QCOMPARE_COLOR(pointColor(image, 95, 5), QColor(Qt::green), 0);
}

void TestPointCanvas::clipsIntersectAreAntialiasedAndRestore()
{
    PointCanvas canvas(QSizeF(100, 100), 1);
    canvas.save();
    canvas.clipToPath(PointCanvas::roundedRect(QRectF(0, 0, 50, 100), 0));
    canvas.clipToPath(PointCanvas::roundedRect(QRectF(0, 50, 100, 50), 0));
    canvas.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 100, 100), 0), Qt::red);
    canvas.restore();
    canvas.save();
    canvas.clipToPath(PointCanvas::ellipse(QRectF(60, 0, 40, 40)));
    canvas.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 100, 100), 0), Qt::blue);
    canvas.restore();
    canvas.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 10, 10), 0), Qt::green); // unclipped again
    const QImage image = canvas.takeImage();

    QCOMPARE_COLOR(pointColor(image, 25, 75), QColor(Qt::red), 0);
    QCOMPARE_COLOR(pointColor(image, 75, 75), QColor(0, 0, 0, 0), 0);
    QCOMPARE_COLOR(pointColor(image, 25, 25), QColor(0, 0, 0, 0), 0);
    QCOMPARE_COLOR(pointColor(image, 80, 20), QColor(Qt::blue), 0);
    QCOMPARE_COLOR(pointColor(image, 61, 1), QColor(0, 0, 0, 0), 0);
    QCOMPARE_COLOR(pointColor(image, 5, 5), QColor(Qt::green), 0);
    int partial = 0;
    for (int y = 60; y < 100; ++y) {
        for (int x = 60; x < 100; ++x) {
            const int a = qAlpha(image.pixel(x, y));
            partial += a > 0 && a < 255;
        }
    }
    QVERIFY2(partial > 20, "the round clip has a soft edge");
}

void TestPointCanvas::alphaIsPartOfTheSavedState()
{
    PointCanvas canvas(QSizeF(20, 10), 1);
    canvas.save();
    canvas.setAlpha(0.5);
    canvas.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 10, 10), 0), Qt::black);
    canvas.restore();
    canvas.fillPath(PointCanvas::roundedRect(QRectF(10, 0, 10, 10), 0), Qt::black);
    const QImage image = canvas.takeImage();
    QVERIFY(std::abs(pointColor(image, 5, 5).alpha() - 128) <= 1);
    QCOMPARE(pointColor(image, 15, 5).alpha(), 255);
}

void TestPointCanvas::shadowFallsDownwardsAndIsClipped()
{
    PointCanvas canvas(QSizeF(100, 100), 1);
    canvas.save();
    canvas.setShadow(QPointF(0, -6), 4, Qt::black);
    canvas.fillPath(PointCanvas::roundedRect(QRectF(40, 40, 20, 20), 0), Qt::white);
    canvas.restore();
    canvas.save();
    canvas.clipToPath(PointCanvas::roundedRect(QRectF(0, 70, 100, 30), 0));
    canvas.setShadow(QPointF(0, -6), 4, Qt::black);
    canvas.fillPath(PointCanvas::roundedRect(QRectF(10, 80, 20, 20), 0), Qt::white);
    canvas.restore();
    const QImage image = canvas.takeImage();

    QCOMPARE_COLOR(pointColor(image, 50, 50), QColor(Qt::white), 0);
    QVERIFY2(pointColor(image, 50, 37).alpha() > 100, "shadow under the square");
    QCOMPARE(pointColor(image, 50, 63).alpha(), 0); // nothing above it
    QVERIFY(pointColor(image, 20, 76).alpha() > 100);
    QCOMPARE(pointColor(image, 20, 68).alpha(), 0); // the clip cuts the shadow too
}

void TestPointCanvas::gradientStopsAtItsEnds()
{
    PointCanvas canvas(QSizeF(10, 100), 1);
    canvas.drawLinearGradient({{0, Qt::red}, {1, Qt::blue}}, QPointF(0, 60), QPointF(0, 40));
    const QImage image = canvas.takeImage();
    QCOMPARE(pointColor(image, 5, 80).alpha(), 0);
    QCOMPARE(pointColor(image, 5, 20).alpha(), 0);
    QCOMPARE_COLOR(pointColor(image, 5, 59.5), QColor(Qt::red), 8);
    QCOMPARE_COLOR(pointColor(image, 5, 40.5), QColor(Qt::blue), 8);
    QCOMPARE_COLOR(pointColor(image, 5, 50), gradientAt({{0, Qt::red}, {1, Qt::blue}}, 0.5), 8);
}

void TestPointCanvas::blurKeepsCoverageAndSpreadsIt()
{
    const int w = 60, h = 60;
    std::vector<quint8> coverage(w * h, 0);
    for (int y = 25; y < 35; ++y) {
        for (int x = 25; x < 35; ++x)
            coverage[y * w + x] = 255;
    }
    ShadowBlur::blurCoverage(coverage.data(), w, h, 3);
    const long total = std::accumulate(coverage.begin(), coverage.end(), 0L);
    QVERIFY(std::abs(total - 100L * 255) < 100L * 255 / 50);
    QVERIFY(coverage[30 * w + 30] < 255);
    QVERIFY(coverage[30 * w + 38] > 0);
    QCOMPARE(coverage[30 * w + 55], quint8(0));
    // Symmetric around the square's centre.
    QVERIFY(std::abs(int(coverage[30 * w + 22]) - int(coverage[30 * w + 37])) <= 1);
}

// Clips and shadows drawn before are reused; whatever is reused must be what drawing afresh gives,
// and a clip inside another clip must follow the outer one, not a look-alike seen before.
void TestPointCanvas::keptMasksAndShadowsFollowTheirShape()
{
    // Both outer clips cover the same pixels: only their shapes tell them apart.
    const auto clippedTwice = [](const QPainterPath &outer) {
        PointCanvas canvas(QSizeF(100, 100), 1);
        canvas.clipToPath(outer);
        canvas.clipToPath(PointCanvas::roundedRect(QRectF(10, 10, 80, 80), 0));
        canvas.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 100, 100), 0), Qt::red);
        return canvas.takeImage();
    };
    const QPainterPath square = PointCanvas::roundedRect(QRectF(0, 0, 100, 100), 0);
    const QPainterPath round = PointCanvas::ellipse(QRectF(0, 0, 100, 100));
    const QImage inSquare = clippedTwice(square);
    const QImage inCircle = clippedTwice(round);
    QCOMPARE_COLOR(pointColor(inSquare, 12, 12), QColor(Qt::red), 0);
    QCOMPARE_COLOR(pointColor(inCircle, 12, 12), QColor(0, 0, 0, 0), 0);
    QCOMPARE_COLOR(pointColor(inCircle, 50, 50), QColor(Qt::red), 0);
    QCOMPARE(clippedTwice(square), inSquare);
    QCOMPARE(clippedTwice(round), inCircle);

    // Two shapes of one size: each keeps its own shadow, and the second time gives the first's.
    const auto shadowOf = [](const QRect &block) {
        QImage layer(60, 60, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        QPainter(&layer).fillRect(block, Qt::black);
        return ShadowBlur::underlay(layer, QPointF(0, 3), 4, QColor(0, 0, 0, 128));
    };
    const QImage wide = shadowOf(QRect(10, 20, 40, 10));
    const QImage tall = shadowOf(QRect(25, 5, 10, 40));
    QVERIFY(wide != tall);
    QVERIFY(qAlpha(wide.pixel(5, 25)) > 0); // beside the wide block, far from the tall one
    QCOMPARE(qAlpha(tall.pixel(5, 25)), 0);
    QCOMPARE(shadowOf(QRect(10, 20, 40, 10)), wide);
    QCOMPARE(shadowOf(QRect(25, 5, 10, 40)), tall);
}

void TestPointCanvas::aLayerMadeReadyDrawsWhatDrawingWould()
{
    QImage picture(40, 40, QImage::Format_ARGB32_Premultiplied);
    picture.fill(QColor(30, 120, 200, 200));
    const auto prepared = [&](bool ready) {
        PointCanvas canvas(QSizeF(64, 64), 2);
        canvas.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 64, 64), 0), Qt::yellow);
        canvas.save();
        canvas.clipToPath(PointCanvas::roundedRect(QRectF(4, 4, 56, 56), 14));
        canvas.setAlpha(0.8);
        if (ready) {
            const std::optional<PointCanvas::Layer> layer = canvas.imageLayer(picture, QRectF(0, 0, 64, 64), 0.8);
            if (layer)
                canvas.placeLayer(*layer);
        } else {
            canvas.drawImage(picture, QRectF(0, 0, 64, 64), 0.8);
        }
        canvas.restore();
        return canvas.takeImage();
    };
    QCOMPARE(prepared(true), prepared(false));
    // Unclipped and unshadowed drawing goes straight onto the canvas: nothing to make ready.
    PointCanvas plain(QSizeF(64, 64), 1);
    QVERIFY(!plain.imageLayer(picture, QRectF(0, 0, 64, 64)).has_value());
}

// A canvas that holds only some of its pixels draws there exactly what the whole canvas draws,
// for drawing clipped inside it: clips, shadows, images (shrunk and not), parts of images,
// gradients, colours read back; a fill with no clip, cut by the window's edge alone.
void TestPointCanvas::aWindowHoldsWhatTheWholeCanvasHoldsThere()
{
    QImage picture(300, 200, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter(&picture).fillRect(QRect(40, 30, 200, 140), QColor(30, 160, 90));
    const QRectF tile(40, 60, 120, 120);
    const auto clipped = [&](PointCanvas &canvas) {
        canvas.clipToPath(PointCanvas::roundedRect(QRectF(10, 10, 236, 236), 50));
        canvas.setShadow(QPointF(0, -2), 5, QColor::fromRgbF(0, 0, 0, 0.14f));
        canvas.clipToPath(PointCanvas::roundedRect(tile, 26));
    };
    const QList<std::pair<const char *, std::function<void(PointCanvas &)>>> drawings{
        {"image", [&](PointCanvas &canvas) { clipped(canvas); canvas.drawImage(picture, QRectF(40, 60, 120, 80)); }},
        {"part", [&](PointCanvas &canvas) { clipped(canvas); canvas.drawImagePart(picture, QRect(40, 30, 200, 140), QRectF(60, 140, 60, 40)); }},
        {"fill", [&](PointCanvas &canvas) { canvas.fillPath(PointCanvas::ellipse(QRectF(20, 20, 180, 150)), QColor(200, 40, 40, 180)); }},
        {"gradient", [&](PointCanvas &canvas) {
             canvas.clipToPath(PointCanvas::roundedRect(tile, 26));
             canvas.drawLinearGradient({{0, QColor(0, 0, 255, 60)}, {1, QColor(255, 255, 0, 60)}}, QPointF(0, 0), QPointF(0, 256));
         }},
    };
    for (const qreal density : {1.0, 2.0}) {
        for (const auto &[name, draw] : drawings) {
            PointCanvas whole(QSizeF(256, 256), density);
            draw(whole);
            const QRect window = PointCanvas::pixelReach(QSizeF(256, 256), density, tile);
            QCOMPARE(window, whole.pixelReach(tile));
            PointCanvas part(QSizeF(256, 256), density, window);
            draw(part);
            QCOMPARE(part.colorAt(QPointF(100, 100)), whole.colorAt(QPointF(100, 100)));
            QVERIFY(!part.colorAt(QPointF(250, 5)).isValid()); // on the canvas, not held
            const QImage held = part.takeImage();
            QCOMPARE(held.size(), window.size());
            QVERIFY2(held == whole.takeImage().copy(window), name);
        }
    }
}

void TestPointCanvas::refusesAbsurdSizes()
{
    PointCanvas huge(QSizeF(1e6, 1e6), 1);
    QVERIFY(!huge.isValid());
    huge.fillPath(PointCanvas::roundedRect(QRectF(0, 0, 10, 10), 0), Qt::red);
    QVERIFY(huge.takeImage().isNull());
    PointCanvas empty(QSizeF(0, 10), 1);
    QVERIFY(!empty.isValid());
}

// The shadow under a layer, at whole-pixel offsets, is every pixel what the painter made of the
// tinted shadow with the layer drawn over it: translucent edges, clear and opaque pixels, a
// shadow moved partly off the layer.
void TestPointCanvas::aLayerGoesOverItsShadowAsThePainterPutsIt()
{
    QRandomGenerator random(11);
    for (int round = 0; round < 12; ++round) {
        QImage layer(70 + round, 50 + 2 * round, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        {
            QPainter painter(&layer);
            painter.setRenderHint(QPainter::Antialiasing);
            for (int shape = 0; shape < 4; ++shape) {
                painter.setBrush(QColor(int(random.bounded(256)), int(random.bounded(256)), int(random.bounded(256)), int(random.bounded(256))));
                painter.setPen(Qt::NoPen);
                painter.drawEllipse(QRectF(random.bounded(60.0), random.bounded(40.0), 5 + random.bounded(40.0), 5 + random.bounded(40.0)));
            }
        }
        const QPointF offset(int(random.bounded(9)) - 4, int(random.bounded(9)) - 4);
        const qreal sigma = 0.5 + round * 0.4;
        const QColor tint(int(random.bounded(256)), 20, 40, int(random.bounded(256)));
        // Made apart: the coverage blurred, tinted, drawn, and the layer drawn over it.
        std::vector<quint8> coverage(size_t(layer.width()) * layer.height());
        for (int y = 0; y < layer.height(); ++y) {
            for (int x = 0; x < layer.width(); ++x)
                coverage[size_t(y) * layer.width() + x] = quint8(qAlpha(layer.pixel(x, y)));
        }
        if (ShadowBlur::blursAtHalfResolution(sigma, tint))
            ShadowBlur::blurCoverageHalved(coverage.data(), layer.width(), layer.height(), sigma, offset.toPoint());
        else
            ShadowBlur::blurCoverage(coverage.data(), layer.width(), layer.height(), sigma);
        QImage shadow(layer.size(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < layer.height(); ++y) {
            for (int x = 0; x < layer.width(); ++x) {
                const int c = coverage[size_t(y) * layer.width() + x];
                shadow.setPixel(x, y, qPremultiply(qRgba(tint.red(), tint.green(), tint.blue(), c * tint.alpha() / 255)));
            }
        }
        QImage expected(layer.size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        {
            QPainter painter(&expected);
            painter.drawImage(offset, shadow);
            painter.drawImage(QPoint(0, 0), layer);
        }
        QCOMPARE(ShadowBlur::underlay(layer, offset, sigma, tint), expected);
    }
}

// A wide shadow is blurred at half the resolution: on layers as the canvas makes them (the shape,
// and room for its shadow around it), of every size and place on the canvas, with sharp and rounded
// tiles and thin lines, every level of the blur stays within ten of the blur at full resolution,
// and the icons' shadow, once tinted and under the layer, within two.
void TestPointCanvas::aWideShadowBlurredAtHalfResolutionLooksTheSame()
{
    QRandomGenerator random(23);
    int worstLevel = 0;
    int worstPixel = 0;
    const QColor tint = QColor::fromRgbF(0, 0, 0, 0.14f);
    for (int round = 0; round < 40; ++round) {
        const qreal sigma = 2.5 + random.bounded(13.5);
        const int spread = qCeil(3 * sigma) + 1;
        const QSize shape(20 + int(random.bounded(240)), 20 + int(random.bounded(240)));
        const int w = shape.width() + 2 * spread;
        const int h = shape.height() + 2 * spread + 4;
        QImage layer(w, h, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        {
            QPainter painter(&layer);
            painter.setRenderHint(QPainter::Antialiasing, round % 3 != 0);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(40, 90, 200, round % 4 == 0 ? 140 : 255));
            const QRectF tile(QPointF(spread, spread), QSizeF(shape));
            painter.drawRoundedRect(tile, random.bounded(40.0), random.bounded(40.0));
            painter.setPen(QPen(Qt::black, 1 + round % 3));
            painter.drawLine(tile.topLeft() + QPointF(random.bounded(tile.width()), 0), tile.bottomLeft() + QPointF(random.bounded(tile.width()), 0));
        }
        const QPoint origin(int(random.bounded(9)) - 4, int(random.bounded(9)) - 4);
        std::vector<quint8> full(size_t(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                full[size_t(y) * w + x] = quint8(qAlpha(layer.pixel(x, y)));
        }
        std::vector<quint8> halved = full;
        ShadowBlur::blurCoverage(full.data(), w, h, sigma);
        ShadowBlur::blurCoverageHalved(halved.data(), w, h, sigma, origin + QPoint(0, 2));
        for (size_t i = 0; i < full.size(); ++i)
            worstLevel = std::max(worstLevel, std::abs(int(full[i]) - int(halved[i])));

        // The shadow at full resolution, tinted, under the layer, as the painter puts it there.
        QImage shadow(layer.size(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                shadow.setPixel(x, y, qPremultiply(qRgba(0, 0, 0, full[size_t(y) * w + x] * tint.alpha() / 255)));
        }
        QImage expected(layer.size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        {
            QPainter painter(&expected);
            painter.drawImage(QPoint(0, 2), shadow);
            painter.drawImage(QPoint(0, 0), layer);
        }
        QVERIFY(ShadowBlur::blursAtHalfResolution(sigma, tint));
        const QImage drawn = ShadowBlur::underlay(layer, QPointF(0, 2), sigma, tint, origin);
        for (int y = 0; y < h; ++y) {
            const QRgb *got = reinterpret_cast<const QRgb *>(drawn.constScanLine(y));
            const QRgb *want = reinterpret_cast<const QRgb *>(expected.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                for (int shift : {0, 8, 16, 24})
                    worstPixel = std::max(worstPixel, std::abs(int((got[x] >> shift) & 0xff) - int((want[x] >> shift) & 0xff)));
            }
        }
    }
    QVERIFY2(worstLevel <= 10, qPrintable(QStringLiteral("a level of the blur moved by %1").arg(worstLevel)));
    QVERIFY2(worstPixel <= 2, qPrintable(QStringLiteral("a channel of the shadowed layer moved by %1").arg(worstPixel)));
}

KESTROWAN_TEST_MAIN(TestPointCanvas)
#include "tst_pointcanvas.moc"
