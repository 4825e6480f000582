#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/icons/SkinDefinition.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QRect>
#include <QSizeF>
#include <optional>

class PointCanvas;
class SkinManager;

// Draws a group's square icon from its items: one of the built-in backgrounds (or a skin's layers)
// with up to four item tiles on it. The backgrounds and the tiles it has drawn are kept, as neither
// depends on the other: trying the styles in turn only lays the same tiles on another background.
class IconComposer {
public:
    static constexpr qreal kCanvasSide = 512;
    // Pixels behind each point of a composed icon.
    static constexpr qreal kPixelsPerPoint = 1;

    // The picture of one item as a tile shows it.
    struct IconSource {
        QImage image;
        // True: draw the image whole, as designed (application icons). False: trim it to its visibly
        // opaque part and fit that into the tile.
        bool preservesNativeCanvas = false;
    };

    // Icons composed during one batch of them, by what they were drawn from: groups that show the same
    // pictures in the same style are drawn once. A few icons' worth at most; used on one thread.
    class Drawn {
    public:
        std::optional<QImage> find(const QString &key) const;
        void keep(const QString &key, const QImage &icon);

    private:
        static constexpr qsizetype kept = 8;
        QHash<QString, QImage> m_icons;
    };

    // The group icon: 512 by 512 points, or the skin's canvas when the style is skin and both the skin
    // and the manager are given (and the skin is usable). Always an image. With `drawn`, an icon
    // drawn before from the same pictures is given again.
    static QImage composeGroupIcon(const QList<AppItem> &apps, AppGroup::IconStyle style,
                                   const std::optional<SkinDefinition> &skin = std::nullopt,
                                   const SkinManager *skinManager = nullptr, Drawn *drawn = nullptr);
    // The same picture for ready-made sources, in a built-in style (skin falls back to minimal).
    static QImage composeFromSources(const QList<IconSource> &sources, AppGroup::IconStyle style);

    // The sources of the first `limit` items (all of them when negative), in order.
    static QList<IconSource> itemSources(const QList<AppItem> &apps, qsizetype limit = -1);

    // A whole icon in a built-in style, painted afresh: the style's background, then the item tiles.
    static void drawStyleIcon(PointCanvas &canvas, AppGroup::IconStyle style, const QSizeF &size, const QList<IconSource> &sources);

    // The grid of up to four tiles (in 512-point canvas units), or the faint empty-group symbol.
    static void drawItemTiles(PointCanvas &canvas, const QSizeF &size, const QList<IconSource> &sources, const QPainterPath &clip);
    static void drawIconTile(const IconSource &source, PointCanvas &canvas, const QRectF &rect);
    // The same grid on a 512-point canvas at the icon's own scale, from the tiles already drawn for
    // these pictures where there are any (any other canvas is drawn on afresh).
    static void layItemTiles(PointCanvas &canvas, const QList<IconSource> &sources);
    // The pixels a side an application's icon is drawn with on the tiles of `count` sources.
    static int appIconPixels(qsizetype count);
    // The picture files of the first four items' application icons and, for a skinned icon, of the
    // skin's layers that are still being decoded (asking starts them): an icon composed now would
    // show stand-ins in their place.
    static QStringList pendingPictureFiles(const QList<AppItem> &apps, AppGroup::IconStyle style,
                                           const std::optional<SkinDefinition> &skin, const SkinManager *skinManager);
    static bool picturesPending(const QList<AppItem> &apps, AppGroup::IconStyle style,
                                const std::optional<SkinDefinition> &skin, const SkinManager *skinManager)
    {
        return !pendingPictureFiles(apps, style, skin, skinManager).isEmpty();
    }
    // The squares the tiles of `count` sources occupy, in drawing order.
    static QList<QRectF> tileRects(qsizetype count);

    // The smallest rectangle, in pixels with rows counted from the top, holding every pixel whose alpha
    // is above 12 of 255; nothing when there is none.
    static std::optional<QRect> opaqueBounds(const QImage &bitmap);

    // Rounded rectangle (0, 0, side, side) with the corner the backgrounds and skins share.
    static QPainterPath backgroundPath(qreal side);

private:
    // One tile as it lands on a 512-point icon: its picture, shadow and clips already applied.
    struct TileLayer {
        QImage pixels;
        QPoint origin;
    };
    // Tiles depend only on their picture and place, not on the style: they are drawn once and kept.
    static TileLayer tileLayer(const IconSource &source, const QRectF &rect);
    // The kept tile for the source at the place, when there is one.
    static std::optional<TileLayer> keptTileLayer(const IconSource &source, const QRectF &rect);
    // An application's icon as a bitmap of `pixels` a side.
    static QImage appIconImage(const AppItem &item, int pixels);
    // The bitmap's opaque part, in its pixels (the whole bitmap when it has none).
    static QRect opaqueCrop(const QImage &bitmap);
    // The 512-point picture of a built-in style before any tile, for `count` sources.
    static QImage styleBackground(AppGroup::IconStyle style, qsizetype count);
    // The background of a built-in style (skin without a skin is minimal) for `count` items.
    static void paintStyleBackground(PointCanvas &canvas, AppGroup::IconStyle style, qsizetype count);
    static void shelfBackground(PointCanvas &canvas, qsizetype count);
    static void glassBackground(PointCanvas &canvas);
    static void gradientBackground(PointCanvas &canvas);
    static void minimalBackground(PointCanvas &canvas);
    static void pelkoBackground(PointCanvas &canvas);
};
