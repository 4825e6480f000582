#include "Kestrowan/icons/IconComposer.h"

#include "Kestrowan/icons/InlinePainting.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/PointCanvas.h"
#include "Kestrowan/icons/SkinIconPainter.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/icons/StampedCache.h"
#include "Kestrowan/shell/SymbolImage.h"

#include "Platform/Workspace.h"

#include <QHash>
#include <QIcon>
#include <QtMath>

#include <algorithm>
#include <mutex>

namespace {

QColor rgb(float r, float g, float b, float a = 1)
{
    return QColor::fromRgbF(r, g, b, a);
}

QColor white(float level, float alpha)
{
    return QColor::fromRgbF(level, level, level, alpha);
}

// Points upwards from the canvas's bottom-left corner.
const QPointF kTop(0, 512);
const QPointF kBottom(0, 0);
const QPointF kBottomRight(512, 0);

QPainterPath borderRect(qreal inset, qreal radius)
{
    return PointCanvas::roundedRect(QRectF(inset, inset, 512 - 2 * inset, 512 - 2 * inset), radius);
}

void strokeBorder(PointCanvas &canvas, const QPainterPath &path, const QColor &color, qreal width)
{
    canvas.save();
    canvas.strokePath(path, color, width);
    canvas.restore();
}

void fillBackground(PointCanvas &canvas, const QPainterPath &clip, const QGradientStops &stops, const QPointF &from, const QPointF &to)
{
    canvas.save();
    canvas.clipToPath(clip);
    canvas.drawLinearGradient(stops, from, to);
    canvas.restore();
}

QString tileKey(const IconComposer::IconSource &source, const QRectF &rect)
{
    return QStringLiteral("%1:%2:%3,%4,%5")
        .arg(source.image.cacheKey())
        .arg(int(source.preservesNativeCanvas))
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width());
}

} // namespace

QPainterPath IconComposer::backgroundPath(qreal side)
{
    return PointCanvas::roundedRect(QRectF(0, 0, side, side), side * 100 / 512);
}

std::optional<QImage> IconComposer::Drawn::find(const QString &key) const
{
    if (const auto found = m_icons.constFind(key); found != m_icons.cend())
        return *found;
    return std::nullopt;
}

void IconComposer::Drawn::keep(const QString &key, const QImage &icon)
{
    if (m_icons.size() < kept)
        m_icons.insert(key, icon);
}

QImage IconComposer::composeGroupIcon(const QList<AppItem> &apps, AppGroup::IconStyle style,
                                      const std::optional<SkinDefinition> &skin, const SkinManager *skinManager,
                                      Drawn *drawn)
{
    // A skin whose canvas is absurd is treated like a missing one rather than allocated.
    const bool skinned = style == AppGroup::IconStyle::Skin && skin && skinManager && skin->hasUsableCanvas();
    // Only four tiles are ever drawn, so only four sources are made.
    const qsizetype count = std::min<qsizetype>(apps.size(), 4);
    QList<IconSource> sources(count);
    // Every item's picture and its tile are one job, so the tiles of quick pictures are drawn while a
    // large one is still decoding; the icon is put together where the last of them ends. Tiles are
    // laid from kept layers on 512-point canvases only.
    const bool keptTiles = !skinned || skin->canvasSize == kCanvasSide;
    const QList<QRectF> rects = tileRects(count);
    std::vector<std::function<void()>> items;
    for (qsizetype i = 0; i < count; ++i) {
        const AppItem &item = apps.at(i);
        IconSource &source = sources[i];
        // Application icons come from the icon theme, on this thread.
        const bool ready = item.itemKind() == AppItem::Kind::App;
        if (ready)
            source = IconSource{appIconImage(item, appIconPixels(count)), true};
        else if (std::optional<QImage> drawn = drawnItemThumbnail(item))
            source = IconSource{*drawn, false};
        const bool previewed = ready || !source.image.isNull();
        if (previewed && (!keptTiles || keptTileLayer(source, rects.at(i))))
            continue;
        items.push_back([&item, &source, &rects, previewed, keptTiles, i] {
            if (!previewed)
                source = IconSource{itemThumbnail(item), false};
            if (keptTiles)
                tileLayer(source, rects.at(i));
        });
    }
    // A built-in style's icon follows from the style and the pictures alone, each named by its cache
    // key; a picture still to be made has none yet.
    QString key;
    if (drawn && style != AppGroup::IconStyle::Skin
        && std::all_of(sources.cbegin(), sources.cend(), [](const IconSource &source) { return !source.image.isNull(); })) {
        key = QString::number(int(style));
        for (const IconSource &source : std::as_const(sources))
            key += u':' + QString::number(source.image.cacheKey()) + u'/' + QString::number(int(source.preservesNativeCanvas));
        if (std::optional<QImage> known = drawn->find(key))
            return *known;
    }
    QImage icon;
    paintInlineTogether(items, [&] {
        icon = skinned ? drawSkinIcon(sources, *skin, skinManager->skinsDirectory()) : composeFromSources(sources, style);
    });
    if (!key.isEmpty())
        drawn->keep(key, icon);
    return icon;
}

QImage IconComposer::composeFromSources(const QList<IconSource> &sources, AppGroup::IconStyle style)
{
    const QSizeF size(kCanvasSide, kCanvasSide);
    // A style's background depends on no item (the shelves only on how many rows there are), so it
    // is painted once and every icon starts from a copy of it.
    const QImage background = styleBackground(style, sources.size());
    PointCanvas canvas(background, size, kPixelsPerPoint);
    if (!canvas.isValid()) {
        const int side = int(kCanvasSide * kPixelsPerPoint);
        QImage blank(side, side, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        return blank;
    }
    layItemTiles(canvas, sources);
    return canvas.takeImage();
}

void IconComposer::layItemTiles(PointCanvas &canvas, const QList<IconSource> &sources)
{
    const QSizeF size(kCanvasSide, kCanvasSide);
    if (sources.isEmpty() || canvas.size() != size || canvas.pixelsPerPoint() != kPixelsPerPoint) {
        drawItemTiles(canvas, size, sources, backgroundPath(kCanvasSide));
        return;
    }
    const QList<QRectF> rects = tileRects(sources.size());
    // Tiles of new pictures are drawn side by side.
    std::vector<TileLayer> tiles(size_t(rects.size()));
    std::vector<std::function<void()>> drawing;
    for (qsizetype i = 0; i < rects.size(); ++i) {
        if (std::optional<TileLayer> cached = keptTileLayer(sources.at(i), rects.at(i)))
            tiles[size_t(i)] = *cached;
        else
            drawing.push_back([&sources, &rects, &tiles, i] { tiles[size_t(i)] = tileLayer(sources.at(i), rects.at(i)); });
    }
    paintInlineTogether(drawing);
    for (const TileLayer &tile : tiles)
        canvas.placePixels(tile.pixels, tile.origin);
}

namespace {

StampedCache<std::pair<QImage, QPoint>> &tileLayers()
{
    static StampedCache<std::pair<QImage, QPoint>> layers(16);
    return layers;
}

} // namespace

std::optional<IconComposer::TileLayer> IconComposer::keptTileLayer(const IconSource &source, const QRectF &rect)
{
    if (std::optional<std::pair<QImage, QPoint>> kept = tileLayers().find(tileKey(source, rect)))
        return TileLayer{kept->first, kept->second};
    return std::nullopt;
}

IconComposer::TileLayer IconComposer::tileLayer(const IconSource &source, const QRectF &rect)
{
    const QString key = tileKey(source, rect);
    if (std::optional<TileLayer> cached = keptTileLayer(source, rect))
        return *cached;
    // Only the tile's own pixels are held: everything it draws, its shadow included, stays within them.
    const QSizeF side(kCanvasSide, kCanvasSide);
    const QRect reach = PointCanvas::pixelReach(side, kPixelsPerPoint, rect);
    PointCanvas canvas(side, kPixelsPerPoint, reach);
    if (!canvas.isValid())
        return {};
    // The icon's rounded outline cuts only tiles that reach it; a tile well inside it is left whole,
    // which is what the clip would give, without painting a mask for it.
    const QPainterPath outline = backgroundPath(kCanvasSide);
    if (!outline.contains(rect.adjusted(-8, -8, 8, 8)))
        canvas.clipToPath(outline);
    drawIconTile(source, canvas, rect);
    TileLayer layer{canvas.takeImage(), reach.topLeft()};
    layer.pixels.setDevicePixelRatio(1);
    tileLayers().insert(key, {layer.pixels, layer.origin});
    return layer;
}

QImage IconComposer::styleBackground(AppGroup::IconStyle style, qsizetype count)
{
    // Skin reaches here only without a skin, and is drawn in the minimal style.
    if (style == AppGroup::IconStyle::Skin)
        style = AppGroup::IconStyle::Minimal;
    const int shelves = style == AppGroup::IconStyle::Shelf ? int(std::min<qsizetype>(count, 3)) : 0;
    const int key = int(style) * 4 + shelves;
    static std::mutex mutex;
    static QHash<int, QImage> painted;
    {
        const std::lock_guard lock(mutex);
        if (const auto it = painted.constFind(key); it != painted.constEnd())
            return *it;
    }
    PointCanvas canvas(QSizeF(kCanvasSide, kCanvasSide), kPixelsPerPoint);
    if (!canvas.isValid())
        return {};
    paintStyleBackground(canvas, style, shelves);
    const QImage image = canvas.takeImage();
    const std::lock_guard lock(mutex);
    painted.insert(key, image);
    return image;
}

QList<IconComposer::IconSource> IconComposer::itemSources(const QList<AppItem> &apps, qsizetype limit)
{
    const qsizetype count = limit < 0 ? apps.size() : std::min(limit, apps.size());
    QList<IconSource> sources(count);
    // Application icons come from the icon theme, on this thread; the previews of the others are
    // decoded and drawn side by side.
    std::vector<std::function<void()>> previews;
    for (qsizetype i = 0; i < count; ++i) {
        const AppItem &item = apps.at(i);
        if (item.itemKind() == AppItem::Kind::App)
            sources[i] = IconSource{appIconImage(item, appIconPixels(count)), true};
        else if (std::optional<QImage> drawn = drawnItemThumbnail(item))
            sources[i] = IconSource{*drawn, false};
        else
            previews.push_back([&item, &source = sources[i]] { source = IconSource{itemThumbnail(item), false}; });
    }
    paintInlineTogether(previews);
    return sources;
}

QList<QRectF> IconComposer::tileRects(qsizetype count)
{
    if (count <= 0)
        return {};
    if (count == 1)
        return {QRectF(87.28, 87.28, 337.44, 337.44)};
    if (count == 2)
        return {QRectF(33.12, 146.56, 218.88, 218.88), QRectF(260, 146.56, 218.88, 218.88)};
    const qreal side = 191.52;
    QList<QRectF> rects{QRectF(60.48, 260, side, side), QRectF(260, 260, side, side), QRectF(60.48, 60.48, side, side)};
    if (count >= 4)
        rects.append(QRectF(260, 60.48, side, side));
    return rects;
}

void IconComposer::drawItemTiles(PointCanvas &canvas, const QSizeF &size, const QList<IconSource> &sources, const QPainterPath &clip)
{
    canvas.save();
    canvas.clipToPath(clip);
    const QList<QRectF> rects = tileRects(sources.size());
    for (qsizetype i = 0; i < rects.size(); ++i)
        drawIconTile(sources.at(i), canvas, rects.at(i));
    if (sources.isEmpty()) {
        if (const auto symbol = SymbolImage::named(QStringLiteral("square.grid.2x2"))) {
            const qreal s = 0.3 * size.width();
            // The symbol is a template: like any template it takes the shade that stands out from
            // what it is drawn on, light on the dark backgrounds and dark on the light ones. Black
            // at a quarter on the dark shelf would all but vanish.
            const QColor under = canvas.colorAt(QPointF(size.width() / 2, size.height() / 2));
            const qreal luminance = 0.2126 * under.redF() + 0.7152 * under.greenF() + 0.0722 * under.blueF();
            const QColor tint = under.isValid() && luminance < 0.6 ? QColor(Qt::white) : QColor(Qt::black);
            canvas.drawSymbol(symbol->tinted(tint),
                              QRectF((size.width() - s) / 2, (size.height() - s) / 2, s, s), 0.25);
        }
    }
    canvas.restore();
}

void IconComposer::drawIconTile(const IconSource &source, PointCanvas &canvas, const QRectF &rect)
{
    const QPainterPath tile = PointCanvas::roundedRect(rect, 0.22 * rect.width());
    canvas.save();
    canvas.setShadow(QPointF(0, -2), 5, QColor::fromRgbF(0, 0, 0, 0.14f));
    canvas.clipToPath(tile);
    if (!source.preservesNativeCanvas && !source.image.isNull()) {
        const QImage &bitmap = source.image;
        const QRect o = opaqueCrop(bitmap);
        const qreal a = qreal(o.width()) / o.height();
        const qreal ratio = rect.width() / rect.height();
        QRectF target = rect;
        if (ratio < a)
            target = QRectF(rect.x(), rect.y() + (rect.height() - rect.width() / a) / 2, rect.width(), rect.width() / a);
        else if (a < ratio)
            target = QRectF(rect.x() + (rect.width() - a * rect.height()) / 2, rect.y(), a * rect.height(), rect.height());
        canvas.drawImagePart(bitmap, o, target);
    } else {
        canvas.drawImage(source.image, rect);
    }
    canvas.restore();
}

int IconComposer::appIconPixels(qsizetype count)
{
    const QList<QRectF> rects = tileRects(std::clamp<qsizetype>(count, 1, 4));
    return qCeil(rects.first().width() * kPixelsPerPoint);
}

QStringList IconComposer::pendingPictureFiles(const QList<AppItem> &apps, AppGroup::IconStyle style,
                                              const std::optional<SkinDefinition> &skin, const SkinManager *skinManager)
{
    // Every one is asked for, so that they are decoded together.
    QStringList files;
    const qsizetype count = std::min<qsizetype>(apps.size(), 4);
    for (qsizetype i = 0; i < count; ++i) {
        const AppItem &item = apps.at(i);
        if (item.itemKind() != AppItem::Kind::App)
            continue;
        if (const std::optional<QString> file = Workspace::shared().pendingIconFile(item.path, appIconPixels(count)))
            files.append(*file);
    }
    if (style == AppGroup::IconStyle::Skin && skin && skinManager && skin->hasUsableCanvas())
        files += pendingSkinLayerFiles(*skin, skinManager->skinsDirectory());
    return files;
}

QImage IconComposer::appIconImage(const AppItem &item, int pixels)
{
    const QIcon icon = item.itemIcon();
    if (icon.isNull())
        return {};
    // The same icon is drawn into every style and every sync; its bitmap is made once, at the
    // pixels of the tile it is drawn into. The stand-in drawn while it is decoded is not kept.
    static StampedCache<QImage> bitmaps(8);
    const QString key = QString::number(icon.cacheKey()) + u':' + QString::number(pixels);
    if (std::optional<QImage> cached = bitmaps.find(key))
        return *cached;
    const bool pending = Workspace::shared().iconPending(item.path, pixels);
    const QImage image = icon.pixmap(QSize(pixels, pixels)).toImage();
    if (!pending)
        bitmaps.insert(key, image);
    return image;
}

QRect IconComposer::opaqueCrop(const QImage &bitmap)
{
    // Only where the part lies is kept, not a copy of it: the canvas keeps the part shrunk to
    // the tile, and a part drawn unshrunk is copied while it is drawn.
    static StampedCache<QRect> crops(64);
    const QString key = QString::number(bitmap.cacheKey());
    if (std::optional<QRect> cached = crops.find(key))
        return *cached;
    const QRect o = opaqueBounds(bitmap).value_or(QRect(0, 0, bitmap.width(), bitmap.height()));
    crops.insert(key, o);
    return o;
}

std::optional<QRect> IconComposer::opaqueBounds(const QImage &bitmap)
{
    const int w = bitmap.width();
    const int h = bitmap.height();
    if (w <= 0 || h <= 0)
        return std::nullopt;
    // Alpha is the top byte of a 32-bit ARGB pixel, premultiplied or not; other formats are read so.
    const bool argb = bitmap.format() == QImage::Format_ARGB32_Premultiplied || bitmap.format() == QImage::Format_ARGB32;
    const QImage buffer = argb ? bitmap : bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (buffer.isNull())
        return std::nullopt;
    const auto row = [&buffer](int y) { return reinterpret_cast<const QRgb *>(buffer.constScanLine(y)); };
    const auto seen = [](QRgb pixel) { return qAlpha(pixel) > 12; };
    const auto rowIsClear = [&](int y) { return std::none_of(row(y), row(y) + w, seen); };
    // Rows are trimmed from both ends first; within the rest only the columns outside what was
    // found so far are looked at.
    int minY = 0;
    while (minY < h && rowIsClear(minY))
        ++minY;
    if (minY == h)
        return std::nullopt;
    int maxY = h - 1;
    while (rowIsClear(maxY))
        --maxY;
    int minX = w, maxX = -1;
    for (int y = minY; y <= maxY; ++y) {
        const QRgb *pixels = row(y);
        for (int x = 0; x < minX; ++x) {
            if (seen(pixels[x])) {
                minX = x;
                break;
            }
        }
        for (int x = w - 1; x > maxX; --x) {
            if (seen(pixels[x])) {
                maxX = x;
                break;
            }
        }
    }
    return QRect(minX, minY, maxX - minX + 1, maxY - minY + 1);
}

void IconComposer::paintStyleBackground(PointCanvas &canvas, AppGroup::IconStyle style, qsizetype count)
{
    switch (style) {
    case AppGroup::IconStyle::Shelf: shelfBackground(canvas, count); break;
    case AppGroup::IconStyle::Glass: glassBackground(canvas); break;
    case AppGroup::IconStyle::Gradient: gradientBackground(canvas); break;
    case AppGroup::IconStyle::Minimal:
    case AppGroup::IconStyle::Skin: minimalBackground(canvas); break;
    case AppGroup::IconStyle::Pelko: pelkoBackground(canvas); break;
    }
}

void IconComposer::drawStyleIcon(PointCanvas &canvas, AppGroup::IconStyle style, const QSizeF &size, const QList<IconSource> &sources)
{
    paintStyleBackground(canvas, style, sources.size());
    drawItemTiles(canvas, size, sources, backgroundPath(512));
}

void IconComposer::shelfBackground(PointCanvas &canvas, qsizetype count)
{
    const QPainterPath b = backgroundPath(512);
    fillBackground(canvas, b, {{0, rgb(0.22f, 0.20f, 0.24f)}, {1, rgb(0.14f, 0.13f, 0.16f)}}, kTop, kBottom);

    const QGradientStops shelfStops{{0, white(0.55f, 0.9f)}, {1, white(0.35f, 0.9f)}};
    QList<qreal> shelves;
    if (count == 1)
        shelves = {80.28};
    else if (count == 2)
        shelves = {139.56};
    else if (count >= 3)
        shelves = {52.48, 254};
    for (qreal y : shelves) {
        const QPainterPath shelf = PointCanvas::roundedRect(QRectF(28, y, 456, 10), 4);
        canvas.save();
        canvas.clipToPath(b);
        canvas.clipToPath(shelf);
        canvas.drawLinearGradient(shelfStops, QPointF(0, y + 10), QPointF(0, y));
        canvas.restore();
        canvas.save();
        canvas.clipToPath(b);
        canvas.strokePath(shelf, white(0.7f, 0.35f), 1);
        canvas.restore();
    }
    strokeBorder(canvas, borderRect(1, 99), white(1.0f, 0.08f), 2);
}

void IconComposer::glassBackground(PointCanvas &canvas)
{
    const QPainterPath b = backgroundPath(512);
    fillBackground(canvas, b, {{0, white(0.96f, 0.85f)}, {1, white(0.88f, 0.75f)}}, kTop, kBottom);
    strokeBorder(canvas, borderRect(1.5, 98.5), white(1.0f, 0.5f), 3);
    strokeBorder(canvas, b, white(0.7f, 0.4f), 1);
}

void IconComposer::gradientBackground(PointCanvas &canvas)
{
    const QPainterPath b = backgroundPath(512);
    fillBackground(canvas, b,
                   {{0, rgb(0.36f, 0.28f, 0.72f)}, {0.5, rgb(0.20f, 0.55f, 0.82f)}, {1, rgb(0.25f, 0.70f, 0.65f)}}, kTop,
                   kBottomRight);
    strokeBorder(canvas, borderRect(1, 99), white(1.0f, 0.2f), 2);
}

void IconComposer::minimalBackground(PointCanvas &canvas)
{
    const QPainterPath b = backgroundPath(512);
    canvas.save();
    canvas.fillPath(b, white(0.93f, 1));
    canvas.restore();
    strokeBorder(canvas, b, white(0.8f, 1), 1.5);
}

void IconComposer::pelkoBackground(PointCanvas &canvas)
{
    const QPainterPath b = backgroundPath(512);
    fillBackground(canvas, b,
                   {{0, rgb(0.12f, 0.30f, 0.35f)}, {0.5, rgb(0.22f, 0.45f, 0.49f)}, {1, rgb(0.35f, 0.63f, 0.67f)}}, kTop,
                   kBottomRight);

    canvas.save();
    canvas.clipToPath(b);
    const QColor ripple = QColor::fromRgbF(1, 1, 1, 0.16f);
    for (const QRectF &r : {QRectF(64, 102.4, 384, 84), QRectF(56, 148.4, 400, 84), QRectF(48, 194.4, 416, 84), QRectF(40, 240.4, 432, 84)})
        canvas.strokePath(PointCanvas::ellipse(r), ripple, 3);
    canvas.restore();

    canvas.save();
    canvas.clipToPath(b);
    QPainterPath strokes;
    strokes.moveTo(143.36, 92.16);
    strokes.lineTo(215.04, 102.16);
    strokes.moveTo(368.64, 92.16);
    strokes.lineTo(296.96, 102.16);
    canvas.strokePath(strokes, QColor::fromRgbF(1, 1, 1, 0.28f), 4);
    QPainterPath triangle;
    triangle.moveTo(256, 110.16);
    triangle.lineTo(235.52, 98.16);
    triangle.lineTo(276.48, 98.16);
    triangle.closeSubpath();
    triangle.setFillRule(Qt::WindingFill);
    canvas.fillPath(triangle, QColor::fromRgbF(1, 1, 1, 0.42f));
    canvas.restore();

    strokeBorder(canvas, borderRect(1, 99), QColor::fromRgbF(1, 1, 1, 0.25f), 2);
}
