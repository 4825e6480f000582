#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include <utility>

// Readings of drawn pictures that the looks tests share.

// The relative-luminance contrast of two colours, from 1 (equal) to 21 (black on white).
double contrastRatio(const QColor &a, const QColor &b);

// The most frequent colour of `picture` and the one of highest contrast against it: the fill of a
// control and its text.
std::pair<QColor, QColor> fillAndInk(const QImage &picture);

class QWidget;

// The contrast of the words `widget` draws against what they are drawn on, read from its window's
// picture (so the surface under a see-through widget counts), inside `widget` shrunk by `inset`
// points on every side (clear of a control's outline).
double drawnTextContrast(QWidget *widget, int inset = 0);
// The same inside `area` of `widget`, in its coordinates: one of several words a widget draws.
double drawnTextContrast(QWidget *widget, const QRect &area);

// The smallest rectangle holding every pixel that differs clearly from `background`.
QRect inkBounds(const QImage &picture, const QColor &background);
