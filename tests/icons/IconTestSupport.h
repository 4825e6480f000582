#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/SkinDefinition.h"

#include <QColor>
#include <QGradientStops>
#include <QIcon>
#include <QImage>
#include <QString>
#include <QTest>

#include <functional>

class QPainter;

class FakeWorkspace;
class SkinManager;

// Colour of the pixel under the point (x, y), in points with the origin at the bottom-left corner,
// unpremultiplied.
QColor pointColor(const QImage &image, qreal x, qreal y);
bool sameColor(const QColor &a, const QColor &b, int tolerance);
QString colorText(const QColor &color);

// `over` composited source-over onto the opaque `under`.
QColor blendOver(const QColor &over, const QColor &under);
// The colour a linear gradient shows at position t in 0...1.
QColor gradientAt(const QGradientStops &stops, qreal t);

QImage solidImage(const QSize &size, const QColor &color);
QIcon solidIcon(const QColor &color, int side = 64);
bool writeSolidPicture(const QString &path, const QSize &size, const QColor &color, const char *format = nullptr);
// An application icon in the usual manner on a 512-pixel canvas: a rounded square with a margin and a
// top-to-bottom gradient, with what `glyph` draws on it.
QIcon drawnAppIcon(const QColor &top, const QColor &bottom, const std::function<void(QPainter &)> &glyph);
// A one-page A4 report with a blue band along its top; `body` draws the rest, in units of a twentieth
// of the page's width.
void writeReportDocument(const QString &path, const std::function<void(QPainter &, int unit)> &body);
// Counts the pixels whose colour is within `tolerance` of `color`.
int countPixels(const QImage &image, const QColor &color, int tolerance);

// Waits (up to `timeoutMs`) until the pictures of the items' previews are decoded by the helper,
// as a view does before it draws them again; true when all of them are in.
bool previewPicturesDrawn(const QList<AppItem> &items, int timeoutMs = 60000);
// The item's preview once its picture is in.
QImage settledThumbnail(const AppItem &item);
// The group icon once its items' pictures, application icons and skin layers are in.
QImage settledGroupIcon(const QList<AppItem> &apps, AppGroup::IconStyle style,
                        const std::optional<SkinDefinition> &skin = std::nullopt, const SkinManager *skinManager = nullptr);
// A skin's icon drawn from ready-made sources once its layer pictures are in.
QImage settledSkinIcon(const QList<IconComposer::IconSource> &sources, const SkinDefinition &skin, const QString &skinsDirectory);
// Replaces the process's workspace with a fake the test can fill with icons.
FakeWorkspace &installFakeWorkspace();

// Writes a short video of `frames` identical frames drawn by `picture`, with the given display
// rotation: the degrees the picture is to be turned clockwise when shown. False when no encoder is at hand.
bool writeTestVideo(const QString &path, const QImage &picture, int frames, int rotation);

#define QCOMPARE_COLOR(actual, expected, tolerance)                                                                   \
    do {                                                                                                              \
        const QColor actualColor_ = (actual);                                                                         \
        const QColor expectedColor_ = (expected);                                                                     \
        QVERIFY2(sameColor(actualColor_, expectedColor_, (tolerance)),                                                \
                 qPrintable(QStringLiteral("%1 is %2, expected %3").arg(QStringLiteral(#actual), colorText(actualColor_), colorText(expectedColor_)))); \
    } while (false)
