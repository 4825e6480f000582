#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/PointCanvas.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/TestMain.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTemporaryDir>
#include <QThreadPool>
#include <atomic>
#include <thread>
#include <vector>
#include <cstdlib>
#include <cmath>

using Style = AppGroup::IconStyle;

namespace {

const QList<QColor> kItemColors{QColor(220, 30, 30), QColor(30, 200, 60), QColor(40, 70, 230), QColor(240, 200, 20),
                                QColor(200, 0, 200)};

QColor white(qreal level, qreal alpha)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

// What each style paints at a point that no tile, border or ornament reaches.
QColor backgroundAt(Style style, qreal x, qreal y)
{
    const qreal vertical = (512 - y) / 512;
    const qreal diagonal = (x + 512 - y) / 1024;
    switch (style) {
    case Style::Shelf: return gradientAt({{0, QColor::fromRgbF(0.22f, 0.20f, 0.24f)}, {1, QColor::fromRgbF(0.14f, 0.13f, 0.16f)}}, vertical);
    case Style::Glass: return gradientAt({{0, white(0.96, 0.85)}, {1, white(0.88, 0.75)}}, vertical);
    case Style::Gradient:
        return gradientAt({{0, QColor::fromRgbF(0.36f, 0.28f, 0.72f)}, {0.5, QColor::fromRgbF(0.20f, 0.55f, 0.82f)}, {1, QColor::fromRgbF(0.25f, 0.70f, 0.65f)}},
                          diagonal);
    case Style::Pelko:
        return gradientAt({{0, QColor::fromRgbF(0.12f, 0.30f, 0.35f)}, {0.5, QColor::fromRgbF(0.22f, 0.45f, 0.49f)}, {1, QColor::fromRgbF(0.35f, 0.63f, 0.67f)}},
                          diagonal);
    case Style::Minimal:
    case Style::Skin: return white(0.93, 1);
    }
    return {};
}

// A transparent bitmap with one opaque block.
QImage blockImage(const QSize &size, const QRect &block, const QColor &color)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = block.top(); y <= block.bottom(); ++y) {
        for (int x = block.left(); x <= block.right(); ++x)
            image.setPixelColor(x, y, color);
    }
    return image;
}

QString styleName(Style style)
{
    return iconStyleRawValue(style);
}

} // namespace

class TestIconComposer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyStyleAndItemCount_data();
    void everyStyleAndItemCount();
    void shelvesSitUnderTheRows_data();
    void shelvesSitUnderTheRows();
    void emptyGroupShowsTheFaintGridSymbol();
    void emptyGroupWithoutTheSymbolIsBackgroundOnly();
    void skinStyleWithoutSkinIsMinimal();
    void documentPreviewsAreTrimmedAndFitted();
    void applicationIconsKeepTheirMargins();
    void picturesAreShownOnTheirTiles();
    void opaqueBoundsFindsPixelsAboveTwelve();
    void keptTilesDrawTheSameIconAsPaintingAfresh();
    void manyThreadsComposeAtOnce();
    void aBatchDrawsAnIconAgainOnlyFromTheSamePictures();

private:
    QList<AppItem> appItems(int count);
    FakeWorkspace *m_workspace = nullptr;
    QTemporaryDir m_dir;
};

void TestIconComposer::initTestCase()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    m_workspace = &installFakeWorkspace();
    QVERIFY(m_dir.isValid());
}

QList<AppItem> TestIconComposer::appItems(int count)
{
    QList<AppItem> items;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("/Applications/Item%1.app").arg(i);
        m_workspace->fileIcons.insert(path, solidIcon(kItemColors.at(i)));
        items.append(AppItem{QUuid::createUuid(), QStringLiteral("com.example.item%1").arg(i), QStringLiteral("Item"), path});
    }
    return items;
}

void TestIconComposer::everyStyleAndItemCount_data()
{
    QTest::addColumn<Style>("style");
    QTest::addColumn<int>("count");
    for (Style style : {Style::Shelf, Style::Glass, Style::Gradient, Style::Minimal, Style::Pelko}) {
        for (int count = 0; count <= 5; ++count)
            QTest::addRow("%s-%d", qPrintable(styleName(style)), count) << style << count;
    }
}

void TestIconComposer::everyStyleAndItemCount()
{
    QFETCH(Style, style);
    QFETCH(int, count);
    const QImage icon = settledGroupIcon(appItems(count), style);
    QCOMPARE(icon.size(), QSize(512, 512));
    QCOMPARE(icon.deviceIndependentSize(), QSizeF(512, 512));

    // Outside the rounded background nothing is painted; above every tile grid lies plain background.
    QCOMPARE(pointColor(icon, 1, 1).alpha(), 0);
    QCOMPARE(pointColor(icon, 510.5, 510.5).alpha(), 0);
    QCOMPARE_COLOR(pointColor(icon, 256, 490), backgroundAt(style, 256, 490), 3);
    QCOMPARE_COLOR(pointColor(icon, 30, 230), backgroundAt(style, 30, 230), 3);

    const QList<QRectF> tiles = IconComposer::tileRects(count);
    QCOMPARE(tiles.size(), std::min(count, 4));
    for (qsizetype i = 0; i < tiles.size(); ++i) {
        const QRectF r = tiles.at(i);
        const QColor color = kItemColors.at(i);
        const qreal cx = r.center().x(), cy = r.center().y();
        QCOMPARE_COLOR(pointColor(icon, cx, cy), color, 0);
        for (const QPointF &inside : {QPointF(r.left() + 1.5, cy), QPointF(r.right() - 1.5, cy), QPointF(cx, r.top() + 1.5), QPointF(cx, r.bottom() - 1.5)})
            QCOMPARE_COLOR(pointColor(icon, inside.x(), inside.y()), color, 0);
        for (const QPointF &outside : {QPointF(r.left() - 1.5, cy), QPointF(r.right() + 1.5, cy), QPointF(cx, r.top() - 1.5), QPointF(cx, r.bottom() + 1.5)})
            QVERIFY2(!sameColor(pointColor(icon, outside.x(), outside.y()), color, 40), qPrintable(QStringLiteral("tile %1 spills over").arg(i)));
        // Corners are rounded with 0.22 of the side: on the diagonal the arc lies r(1 - 1/sqrt 2) in.
        const qreal d = 0.22 * r.width() * (1 - M_SQRT1_2);
        for (const auto &[corner, dir] : {std::pair{r.topLeft(), QPointF(1, 1)}, std::pair{r.bottomRight(), QPointF(-1, -1)}}) {
            const QPointF in = corner + dir * (d + 2.5);
            const QPointF out = corner + dir * (d - 2.5);
            QCOMPARE_COLOR(pointColor(icon, in.x(), in.y()), color, 0);
            QVERIFY(!sameColor(pointColor(icon, out.x(), out.y()), color, 40));
        }
    }
    if (count == 5)
        QCOMPARE(countPixels(icon, kItemColors.at(4), 10), 0);
    if (count == 3) // the lower-right cell stays empty
        QCOMPARE_COLOR(pointColor(icon, 356, 156), backgroundAt(style, 356, 156), 3);
}

void TestIconComposer::shelvesSitUnderTheRows_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<qreal>>("shelves");
    QTest::addRow("none") << 0 << QList<qreal>{};
    QTest::addRow("one") << 1 << QList<qreal>{80.28};
    QTest::addRow("two") << 2 << QList<qreal>{139.56};
    QTest::addRow("three") << 3 << QList<qreal>{52.48, 254};
    QTest::addRow("four") << 4 << QList<qreal>{52.48, 254};
}

void TestIconComposer::shelvesSitUnderTheRows()
{
    QFETCH(int, count);
    QFETCH(QList<qreal>, shelves);
    const QImage icon = settledGroupIcon(appItems(count), Style::Shelf);
    const QGradientStops shelfStops{{0, white(0.55, 0.9)}, {1, white(0.35, 0.9)}};
    // x = 31 lies on every shelf but left of every tile.
    for (qreal y : {52.48, 80.28, 139.56, 254.0}) {
        const qreal probe = y + 2.5;
        const QColor background = backgroundAt(Style::Shelf, 31, probe);
        if (shelves.contains(y)) {
            const QColor shelf = gradientAt(shelfStops, (y + 10 - probe) / 10);
            QCOMPARE_COLOR(pointColor(icon, 31, probe), blendOver(shelf, background), 3);
            QCOMPARE_COLOR(pointColor(icon, 31, y + 13), backgroundAt(Style::Shelf, 31, y + 13), 3);
        } else {
            QCOMPARE_COLOR(pointColor(icon, 31, probe), background, 3);
        }
    }
}

void TestIconComposer::emptyGroupShowsTheFaintGridSymbol()
{
    const auto luminance = [](const QColor &c) { return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF(); };
    // The icon is the same picture in light and dark windows (the Dock shows it too), so the symbol
    // must stand out from every style's own background whatever the palette.
    for (const bool dark : {false, true}) {
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::Window, dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(0xf5, 0xf5, 0xf5));
        QGuiApplication::setPalette(palette);
        for (Style style : {Style::Shelf, Style::Glass, Style::Gradient, Style::Minimal, Style::Pelko}) {
            const QImage icon = settledGroupIcon({}, style);
            // The symbol fills the centred square of side 153.6; its upper-left square's left stroke
            // runs 9 units in and 26 units down, at 1.536 points per unit, drawn at a quarter in the
            // shade that stands out from the background: light on dark, dark on light.
            const qreal x = 179.2 + 9 * 1.536, y = 332.8 - 26 * 1.536;
            const QColor background = backgroundAt(style, x, y);
            const QColor symbol = pointColor(icon, x, y);
            QVERIFY2(qAbs(luminance(symbol) - luminance(background)) > 0.1,
                     qPrintable(QStringLiteral("%1 %2: symbol %3 on %4").arg(styleName(style), dark ? "dark" : "light",
                                                                              symbol.name(), background.name())));
            const bool onDark = luminance(backgroundAt(style, 256, 256)) < 0.6;
            if (style != Style::Glass) // glass is translucent: its blend depends on what lies under it
                QCOMPARE_COLOR(symbol, blendOver(onDark ? QColor(255, 255, 255, 64) : QColor(0, 0, 0, 64), background), 3);
            QCOMPARE_COLOR(pointColor(icon, 256, 256), backgroundAt(style, 256, 256), 3); // the gap in the middle
            QCOMPARE_COLOR(pointColor(icon, 170, 256), backgroundAt(style, 170, 256), 3); // left of the symbol
        }
    }
}

void TestIconComposer::emptyGroupWithoutTheSymbolIsBackgroundOnly()
{
    ResourceBundle::setPackagedPath(m_dir.path());
    const QImage icon = settledGroupIcon({}, Style::Minimal);
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    QCOMPARE_COLOR(pointColor(icon, 179.2 + 9 * 1.536, 332.8 - 26 * 1.536), backgroundAt(Style::Minimal, 0, 0), 1);
}

void TestIconComposer::skinStyleWithoutSkinIsMinimal()
{
    const QList<AppItem> items = appItems(3);
    const QImage minimal = settledGroupIcon(items, Style::Minimal);
    SkinManager manager(m_dir.path() + QStringLiteral("/Skins"), QString());
    const SkinDefinition skin{QStringLiteral("any"), QStringLiteral("Any"), 1, 512, {}, {}, std::nullopt};
    QCOMPARE(settledGroupIcon(items, Style::Skin, std::nullopt, &manager), minimal);
    QCOMPARE(settledGroupIcon(items, Style::Skin, skin, nullptr), minimal);
    // A skin of an absurd canvas is not drawn (nor allocated) either.
    SkinDefinition huge = skin;
    huge.canvasSize = 100000;
    QCOMPARE(settledGroupIcon(items, Style::Skin, huge, &manager), minimal);
    // The skin argument means nothing to the other styles.
    QCOMPARE(settledGroupIcon(items, Style::Minimal, skin, &manager), minimal);
}

void TestIconComposer::documentPreviewsAreTrimmedAndFitted()
{
    // A 20 by 10 red block somewhere in a larger transparent bitmap: only the block is fitted.
    QImage bitmap = blockImage(QSize(100, 50), QRect(10, 20, 20, 10), Qt::red);
    bitmap.setPixelColor(90, 45, QColor(0, 0, 255, 12)); // faint: ignored
    const QImage icon = IconComposer::composeFromSources({{bitmap, false}}, Style::Minimal);
    const QRectF r(87.28, 87.28, 337.44, 337.44);
    const qreal top = r.y() + (r.height() + r.width() / 2) / 2, bottom = r.y() + (r.height() - r.width() / 2) / 2;
    QCOMPARE_COLOR(pointColor(icon, r.left() + 3, r.center().y()), QColor(Qt::red), 2);
    QCOMPARE_COLOR(pointColor(icon, r.right() - 3, r.center().y()), QColor(Qt::red), 2);
    QCOMPARE_COLOR(pointColor(icon, r.center().x(), top - 3), QColor(Qt::red), 2);
    QCOMPARE_COLOR(pointColor(icon, r.center().x(), bottom + 3), QColor(Qt::red), 2);
    QCOMPARE_COLOR(pointColor(icon, r.center().x(), top + 12), backgroundAt(Style::Minimal, 0, 0), 1);
    // Below the picture its shadow shows, inside the tile only.
    const QColor shadowed = pointColor(icon, r.center().x(), bottom - 2);
    QVERIFY(shadowed.red() < 230 && shadowed.red() > 180);
    QCOMPARE_COLOR(pointColor(icon, r.center().x(), r.y() - 3), backgroundAt(Style::Minimal, 0, 0), 1);

    // Nothing above the threshold: the whole bitmap is fitted (2:1, so the band in the middle), faintly.
    QImage faint(60, 30, QImage::Format_ARGB32_Premultiplied);
    faint.fill(QColor(0, 0, 0, 10));
    const QImage faintIcon = IconComposer::composeFromSources({{faint, false}}, Style::Minimal);
    QCOMPARE_COLOR(pointColor(faintIcon, r.center().x(), r.center().y()), blendOver(QColor(0, 0, 0, 10), backgroundAt(Style::Minimal, 0, 0)), 2);
    QCOMPARE_COLOR(pointColor(faintIcon, r.center().x(), top + 12), backgroundAt(Style::Minimal, 0, 0), 1);
}

void TestIconComposer::applicationIconsKeepTheirMargins()
{
    const QImage icon = blockImage(QSize(100, 100), QRect(25, 25, 50, 50), Qt::blue);
    const QImage composed = IconComposer::composeFromSources({{icon, true}}, Style::Minimal);
    const QRectF r(87.28, 87.28, 337.44, 337.44);
    QCOMPARE_COLOR(pointColor(composed, r.center().x(), r.center().y()), QColor(Qt::blue), 0);
    QCOMPARE_COLOR(pointColor(composed, r.left() + 0.27 * r.width(), r.center().y()), QColor(Qt::blue), 0);
    QVERIFY(!sameColor(pointColor(composed, r.left() + 0.2 * r.width(), r.center().y()), QColor(Qt::blue), 60));
}

void TestIconComposer::picturesAreShownOnTheirTiles()
{
    QList<AppItem> items;
    for (int i = 0; i < 4; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("picture%1.png").arg(i));
        QVERIFY(writeSolidPicture(path, QSize(40, 30), kItemColors.at(i)));
        items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Picture"), path});
    }
    const QImage icon = settledGroupIcon(items, Style::Gradient);
    const QList<QRectF> tiles = IconComposer::tileRects(4);
    for (int i = 0; i < 4; ++i) {
        const QRectF r = tiles.at(i);
        QCOMPARE_COLOR(pointColor(icon, r.center().x(), r.center().y()), kItemColors.at(i), 2);
        // The photo sits on its paper card, which is fitted into the tile.
        bool paper = false;
        for (qreal x = r.left(); x < r.center().x() && !paper; x += 1)
            paper = sameColor(pointColor(icon, x, r.center().y()), QColor(247, 243, 238), 3);
        QVERIFY2(paper, "the card shows beside the photo");
    }
}

void TestIconComposer::opaqueBoundsFindsPixelsAboveTwelve()
{
    QImage image(40, 30, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QCOMPARE(IconComposer::opaqueBounds(image), std::nullopt);
    image.setPixelColor(2, 2, QColor(255, 0, 0, 12));
    QCOMPARE(IconComposer::opaqueBounds(image), std::nullopt);
    for (int y = 7; y < 11; ++y) {
        for (int x = 5; x < 15; ++x)
            image.setPixelColor(x, y, Qt::black);
    }
    QCOMPARE(IconComposer::opaqueBounds(image), QRect(5, 7, 10, 4));
    image.setPixelColor(30, 25, QColor(0, 255, 0, 13));
    // Rows are counted from the top of the bitmap.
    QCOMPARE(IconComposer::opaqueBounds(image), QRect(5, 7, 26, 19));
    // The widest points need not lie in the first or last row: a diamond.
    QImage diamond(40, 30, QImage::Format_ARGB32_Premultiplied);
    diamond.fill(Qt::transparent);
    for (const QPoint &point : {QPoint(20, 5), QPoint(3, 15), QPoint(35, 16), QPoint(18, 28)})
        diamond.setPixelColor(point, Qt::white);
    QCOMPARE(IconComposer::opaqueBounds(diamond), QRect(QPoint(3, 5), QPoint(35, 28)));
    QCOMPARE(IconComposer::opaqueBounds(diamond.convertToFormat(QImage::Format_RGBA8888)), QRect(QPoint(3, 5), QPoint(35, 28)));
    QCOMPARE(IconComposer::opaqueBounds(QImage()), std::nullopt);
}

// Tiles are drawn once and reused for every style; the icon must be the one painted afresh, pixel for
// pixel, whatever the style, the number of items and the order the styles are asked in.
void TestIconComposer::keptTilesDrawTheSameIconAsPaintingAfresh()
{
    const QList<Style> styles{Style::Shelf, Style::Glass, Style::Gradient, Style::Minimal, Style::Pelko};
    QList<IconComposer::IconSource> sources;
    for (int i = 0; i < 4; ++i) {
        // Documents are trimmed and fitted, applications drawn whole; both kinds are kept.
        const QRect block = i % 2 ? QRect(5, 10, 60, 30) : QRect(0, 0, 80, 80);
        sources.append({blockImage(QSize(80, 80), block, kItemColors.at(i)), i % 2 == 0});
    }
    for (qsizetype count = 1; count <= sources.size(); ++count) {
        const QList<IconComposer::IconSource> some = sources.mid(0, count);
        for (int round = 0; round < 2; ++round) {
            for (const Style style : styles) {
                PointCanvas canvas(QSizeF(512, 512));
                IconComposer::drawStyleIcon(canvas, style, QSizeF(512, 512), some);
                const QImage afresh = canvas.takeImage();
                QVERIFY2(IconComposer::composeFromSources(some, style) == afresh,
                         qPrintable(QStringLiteral("%1 with %2 items, round %3").arg(styleName(style)).arg(count).arg(round)));
            }
        }
    }
}

// Icons composed on many threads at once, the pool's own included (as a sync of many groups would),
// all finish and all draw what one thread draws. Pictures written a moment ago are never kept, so
// every icon decodes and draws its previews again.
void TestIconComposer::manyThreadsComposeAtOnce()
{
    QList<AppItem> items;
    for (int i = 0; i < 3; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("busy%1.png").arg(i));
        QVERIFY(writeSolidPicture(path, QSize(300, 200), kItemColors.at(i)));
        items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Picture"), path});
    }
    const QImage expected = settledGroupIcon(items, Style::Glass);

    // Half on threads of their own, half on the pool's.
    QThreadPool *pool = QThreadPool::globalInstance();
    const int count = 4 * std::max(2, pool->maxThreadCount());
    QList<QImage> icons(count);
    std::atomic<int> finished = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        const auto compose = [&items, &icons, &finished, i] {
            icons[i] = IconComposer::composeGroupIcon(items, Style::Glass);
            ++finished;
        };
        if (i % 2)
            pool->start(compose);
        else
            threads.emplace_back(compose);
    }
    if (!QTest::qWaitFor([&] { return finished == count; }, 60000)) {
        // Threads waiting for each other for ever would keep the test from ending.
        qCritical("%d of %d icons composed; the rest never finish", finished.load(), count);
        std::_Exit(EXIT_FAILURE);
    }
    for (std::thread &thread : threads)
        thread.join();
    for (const QImage &icon : std::as_const(icons))
        QVERIFY(icon == expected);
}

// Groups of a Sync All that show the same pictures in the same style share one drawing; any other
// picture, order or style is drawn anew, exactly as without the batch.
void TestIconComposer::aBatchDrawsAnIconAgainOnlyFromTheSamePictures()
{
    const QList<AppItem> items = appItems(4);
    IconComposer::Drawn drawn;
    const QImage first = IconComposer::composeGroupIcon(items, Style::Gradient, std::nullopt, nullptr, &drawn);
    QVERIFY(first == IconComposer::composeGroupIcon(items, Style::Gradient));
    QCOMPARE(IconComposer::composeGroupIcon(items, Style::Gradient, std::nullopt, nullptr, &drawn).cacheKey(), first.cacheKey());

    const QList<AppItem> reordered{items.at(1), items.at(0), items.at(2), items.at(3)};
    const QImage swapped = IconComposer::composeGroupIcon(reordered, Style::Gradient, std::nullopt, nullptr, &drawn);
    QVERIFY(swapped == IconComposer::composeGroupIcon(reordered, Style::Gradient));
    QVERIFY(swapped != first);
    const QImage shelf = IconComposer::composeGroupIcon(items, Style::Shelf, std::nullopt, nullptr, &drawn);
    QVERIFY(shelf == IconComposer::composeGroupIcon(items, Style::Shelf));
    QVERIFY(shelf != first);
    QVERIFY(IconComposer::composeGroupIcon(items.mid(0, 3), Style::Gradient, std::nullopt, nullptr, &drawn)
            == IconComposer::composeGroupIcon(items.mid(0, 3), Style::Gradient));

    // An application that shows another icon now is drawn with it.
    m_workspace->fileIcons.insert(items.at(0).path, solidIcon(kItemColors.at(4)));
    const QImage repainted = IconComposer::composeGroupIcon(items, Style::Gradient, std::nullopt, nullptr, &drawn);
    QVERIFY(repainted == IconComposer::composeGroupIcon(items, Style::Gradient));
    QVERIFY(repainted != first);
}

KESTROWAN_TEST_MAIN(TestIconComposer)
#include "tst_iconcomposer.moc"
