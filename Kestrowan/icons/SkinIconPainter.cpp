#include "Kestrowan/icons/SkinIconPainter.h"

#include "Kestrowan/icons/PointCanvas.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/icons/StampedCache.h"
#include "Kestrowan/shell/Log.h"

#include "Platform/DecodedIcons.h"

#include <QFileInfo>
#include <algorithm>

namespace {

// Foreground layers made ready for canvases up to this many pixels a side are kept (4 MiB each).
constexpr int kLargestKeptCanvas = 1024;

// The layer's file when it is a regular file inside the skin's folder once links are resolved (the
// folder itself may be a link a user made on purpose); a layer linking to any other picture on the
// machine is not drawn.
std::optional<QString> layerFile(const QString &folder, const QString &imageName)
{
    const QString root = QFileInfo(folder).canonicalFilePath();
    const QString file = QFileInfo(folder + QLatin1Char('/') + imageName).canonicalFilePath();
    if (root.isEmpty() || file.isEmpty() || !file.startsWith(root + QLatin1Char('/')) || !QFileInfo(file).isFile())
        return std::nullopt;
    return file;
}

// A layer picture as large as the canvas it is stretched over, and no larger. Skin packages come
// from outside: their pictures are decoded out of the program, once per state of the file, and a
// layer still on its way is left out (the icon is drawn again when it arrives).
DecodedIcons::Lookup layerPicture(const QString &folder, const QString &imageName, int canvasPixels)
{
    const std::optional<QString> path = layerFile(folder, imageName);
    DecodedIcons *icons = DecodedIcons::shared();
    if (!path || !icons || canvasPixels < 1)
        return {DecodedIcons::State::Failed, {}};
    // Looked at now, even on the main thread: a layer the user rewrote shows in the next icon, and a
    // skin has only a few.
    return icons->lookupCurrent(*path, std::min(canvasPixels, IconDrawing::maximumSide), DecodedIcons::Fit::Stretch);
}

QImage loadLayerImage(const QString &folder, const QString &imageName, int canvasPixels, bool *pending = nullptr)
{
    const DecodedIcons::Lookup found = layerPicture(folder, imageName, canvasPixels);
    if (pending && found.state == DecodedIcons::State::Pending)
        *pending = true;
    return found.picture;
}

void drawLayers(PointCanvas &canvas, const QList<SkinLayer> &layers, SkinLayer::ZOrder pass, const QString &folder, qreal c,
                bool *pending)
{
    for (const SkinLayer &layer : layers) {
        if (layer.zOrder != pass || !SkinDefinition::isSafeImageName(layer.imageName))
            continue;
        const QImage image = loadLayerImage(folder, layer.imageName, int(c * canvas.pixelsPerPoint()), pending);
        if (image.isNull())
            continue;
        canvas.save();
        canvas.setAlpha(layer.opacity);
        canvas.drawImage(image, QRectF(0, 0, c, c), layer.opacity);
        canvas.restore();
    }
}

// The foreground layers over the rounded canvas, each made ready (clipped, at its opacity) once per
// state of its file and laid on every icon of the skin as it is.
void drawForeground(PointCanvas &canvas, const QList<SkinLayer> &layers, const QString &folder, qreal c)
{
    static StampedCache<PointCanvas::Layer> ready(6);
    const int canvasPixels = int(c * canvas.pixelsPerPoint());
    for (const SkinLayer &layer : layers) {
        if (layer.zOrder != SkinLayer::ZOrder::Foreground || !SkinDefinition::isSafeImageName(layer.imageName))
            continue;
        const std::optional<QString> path = layerFile(folder, layer.imageName);
        if (!path)
            continue;
        const QString key = QStringLiteral("%1:%2:%3").arg(canvasPixels).arg(layer.opacity, 0, 'g', 17).arg(*path);
        const FileStamp stamp = FileStamp::of(*path);
        std::optional<PointCanvas::Layer> pixels = ready.find(key, stamp);
        if (!pixels) {
            const QImage image = loadLayerImage(folder, layer.imageName, canvasPixels);
            if (image.isNull())
                continue;
            canvas.save();
            canvas.clipToPath(IconComposer::backgroundPath(c));
            canvas.setAlpha(layer.opacity);
            pixels = canvas.imageLayer(image, QRectF(0, 0, c, c), layer.opacity);
            canvas.restore();
            if (!pixels)
                continue;
            // A layer as large as its canvas: those of very large canvases are not worth their memory.
            if (canvasPixels <= kLargestKeptCanvas)
                ready.insert(key, stamp, *pixels);
        }
        canvas.placeLayer(*pixels);
    }
}

// The background and midground layers on the rounded canvas, as drawing them first would leave it.
QImage skinUnderlay(const QList<SkinLayer> &layers, const QString &folder, qreal c)
{
    static StampedCache<QImage> underlays(8);
    QString key = QString::number(c) + u':' + folder;
    bool settled = true;
    const qint64 now = FileStamp::nowNanoseconds();
    for (const SkinLayer &layer : layers) {
        if (layer.zOrder == SkinLayer::ZOrder::Foreground)
            continue;
        const FileStamp stamp = FileStamp::of(folder + QLatin1Char('/') + layer.imageName);
        settled = settled && (!stamp.exists || stamp.settledAt(now));
        key += QStringLiteral("|%1:%2:%3:%4:%5:%6:%7:%8")
                   .arg(layer.imageName)
                   .arg(int(layer.zOrder))
                   .arg(layer.opacity, 0, 'g', 17)
                   .arg(stamp.exists)
                   .arg(stamp.size)
                   .arg(stamp.inode)
                   .arg(stamp.modifiedNanoseconds)
                   .arg(stamp.changedNanoseconds);
    }
    if (std::optional<QImage> cached = underlays.find(key))
        return *cached;
    PointCanvas canvas(QSizeF(c, c), IconComposer::kPixelsPerPoint);
    if (!canvas.isValid())
        return {};
    canvas.save();
    canvas.clipToPath(IconComposer::backgroundPath(c));
    bool pending = false;
    drawLayers(canvas, layers, SkinLayer::ZOrder::Background, folder, c, &pending);
    drawLayers(canvas, layers, SkinLayer::ZOrder::Midground, folder, c, &pending);
    canvas.restore();
    const QImage image = canvas.takeImage();
    // A layer written a moment ago could change again without changing its stamp; one still being
    // decoded is missing from this picture.
    if (settled && !pending)
        underlays.insert(key, image);
    return image;
}

} // namespace

QStringList pendingSkinLayerFiles(const SkinDefinition &skin, const QString &skinsDirectory)
{
    if (!skin.hasUsableCanvas())
        return {};
    const QString folder = skinsDirectory + QLatin1Char('/') + skin.id;
    const int canvasPixels = int(qreal(skin.canvasSize) * IconComposer::kPixelsPerPoint);
    // Every one is asked for, so that they are decoded together.
    QStringList files;
    for (const SkinLayer &layer : skin.layers) {
        if (!SkinDefinition::isSafeImageName(layer.imageName))
            continue;
        const std::optional<QString> file = layerFile(folder, layer.imageName);
        if (file && layerPicture(folder, layer.imageName, canvasPixels).state == DecodedIcons::State::Pending)
            files.append(*file);
    }
    return files;
}

QImage drawSkinIcon(const QList<AppItem> &apps, const SkinDefinition &skin, const SkinManager &manager)
{
    // Only four tiles are ever drawn, so only four sources are made.
    return drawSkinIcon(IconComposer::itemSources(apps, 4), skin, manager.skinsDirectory());
}

QImage drawSkinIcon(const QList<IconComposer::IconSource> &sources, const SkinDefinition &skin, const QString &skinsDirectory)
{
    if (!skin.hasUsableCanvas())
        return IconComposer::composeFromSources(sources, AppGroup::IconStyle::Minimal);
    const qreal c = qreal(skin.canvasSize);
    QList<SkinLayer> layers = skin.layers;
    std::stable_sort(layers.begin(), layers.end(), [](const SkinLayer &a, const SkinLayer &b) { return a.zOrder < b.zOrder; });
    const QString folder = skinsDirectory + QLatin1Char('/') + skin.id;

    // What lies under the tiles depends on the skin alone: it is drawn once per state of its layer
    // files and every icon of the skin starts from a copy of it.
    PointCanvas canvas(skinUnderlay(layers, folder, c), QSizeF(c, c), IconComposer::kPixelsPerPoint);
    if (!canvas.isValid())
        return canvas.takeImage();
    // Tiles laid from kept layers were clipped when they were drawn; anything drawn here is clipped
    // to the rounded canvas.
    if (c == IconComposer::kCanvasSide && !sources.isEmpty()) {
        IconComposer::layItemTiles(canvas, sources);
    } else {
        canvas.save();
        canvas.clipToPath(IconComposer::backgroundPath(c));
        if (c == IconComposer::kCanvasSide) {
            IconComposer::layItemTiles(canvas, sources);
        } else {
            // The tile grid is laid out for 512 points; other canvases get it scaled to fit, so that
            // the tiles sit where they would on a 512-point skin.
            canvas.save();
            canvas.scaleBy(c / IconComposer::kCanvasSide);
            const qreal side = IconComposer::kCanvasSide;
            IconComposer::drawItemTiles(canvas, QSizeF(side, side), sources, IconComposer::backgroundPath(side));
            canvas.restore();
        }
        canvas.restore();
    }
    drawForeground(canvas, layers, folder, c);
    return canvas.takeImage();
}
