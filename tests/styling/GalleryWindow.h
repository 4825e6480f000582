#pragma once

#include "NVLXDesign/EffectiveAppearance.h"

#include <QPalette>
#include <QString>
#include <QWidget>
#include <functional>

// Pieces the screenshot galleries are built from.
namespace Gallery {

// A light or dark palette from the application's colour tokens, as the windows get one.
QPalette palette(EffectiveAppearance appearance);

// A widget that draws itself with `paint`, at a fixed size.
QWidget *painted(const QSize &size, std::function<void(QPainter &, QWidget *)> paint, QWidget *parent = nullptr);

// A small grey caption in the interface font.
QWidget *caption(const QString &text, QWidget *parent = nullptr);

// Renders `window` (after laying it out) into "<build>/screenshots/<name>-<light|dark>[-<language>].png"
// and returns the picture.
QImage save(QWidget *window, const QString &name, EffectiveAppearance appearance, const QString &language = QString());

QString appearanceName(EffectiveAppearance appearance);

} // namespace Gallery
