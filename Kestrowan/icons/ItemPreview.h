#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <optional>
#include <QRectF>
#include <QString>

class PointCanvas;

// The program's own 128-point preview of any item, drawn without the network or the system's
// thumbnail service: an application's icon on a rounded square, a picture, PDF page or video still on
// a paper card, or a badge in the colours of the item's kind. Always an image, at once: the picture
// of a document is decoded out of the program (PreviewPictures), and until it is in, its badge
// shows; views draw again on PreviewPictures::pictureArrived.
QImage itemThumbnail(const AppItem &item);
// The preview of an item other than an application as a view on the main thread draws it: from what
// is kept of its file (SeenPaths), which is looked at beside the main thread. Until the file was
// first looked at, the badge its name tells stands in. `followFile` names the file whose news
// (DecodedIcons::arrived) call for drawing it again: its first look, a change seen later.
struct KeptItemThumbnail {
    QImage image;
    std::optional<QString> followFile;
};
KeptItemThumbnail keptItemThumbnail(const AppItem &item);
// The drawn preview of an item other than an application when it is at hand already, without
// drawing anything.
std::optional<QImage> drawnItemThumbnail(const AppItem &item);

class ItemPreview {
public:
    // The preview's side in points, and the pixels behind each point.
    static constexpr qreal kSide = 128;
    static constexpr qreal kPixelsPerPoint = 2;

    static QImage drawAppIconPreview(const QIcon &icon, qreal side);
    // The pixels a side an application's icon is drawn with in a preview of `side` points.
    static int appIconPixels(qreal side = kSide);
    static QImage drawPhotoCard(const QImage &picture, const QString &ext);
    // A document's picture at the pixels a photo card draws it with: drawPhotoCard draws it the
    // same, so only this needs keeping.
    static QImage photoCardPicture(const QImage &picture);
    // The badge of a document without a picture of its own: drawn once per kind and extension.
    static QImage drawFileTypeBadge(const QString &ext, AppItem::Kind kind);
    // The same, drawn afresh.
    static QImage paintFileTypeBadge(const QString &ext, AppItem::Kind kind);

    // The symbol drawn on an item's badge.
    static QString badgeSymbolName(const QString &ext, AppItem::Kind kind);
    // The lower-cased text after the last dot of the path's last component; empty when there is none.
    static QString pathExtension(const QString &path);

    static bool isPreviewImageExtension(const QString &ext);
    static bool isPreviewPDFExtension(const QString &ext);
    static bool isPreviewVideoExtension(const QString &ext);

    // The five colours of a badge, by the item's kind.
    struct BadgePalette {
        QColor cardFill, cardOutline, symbol, labelFill, labelText;
    };
    static BadgePalette badgePalette(AppItem::Kind kind);

private:
    static void drawCardShadow(PointCanvas &canvas, const QRectF &card, qreal radius);
    // A preview's canvas, in pixels, with the card's shadow drawn on it.
    static QImage shadowedCard();
    static void drawCardHighlight(PointCanvas &canvas, const QRectF &card, qreal radius);
    static void drawExtensionLabel(PointCanvas &canvas, const QString &text, const QRectF &rect);
};
