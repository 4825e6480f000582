#pragma once

#include <QColor>
#include <QImage>
#include <QString>

class QWidget;

// What `window` shows now: the pixels its backing store holds, as they reach the screen, not a
// fresh render of its widgets.
QImage shownPixels(QWidget *window);

// Reads a floating bar in what its window shows: along the bar's middle row, every point no child
// covers must be the bar's `fill`, and every visible button inside must draw something other than
// that fill. Empty when the bar is drawn whole; else what is wrong, for the failure message.
QString barDrawingFault(const QImage &shown, QWidget *bar, const QColor &fill);
