#pragma once

#include <QString>

#include <functional>

class QWidget;

// Gives `widget` the style sheet `build` makes, and makes it again whenever the palette of
// `lookSource` changes (a live switch between light and dark). A sheet holds colours as they were
// resolved, and a widget with a sheet no longer hears of the application's palette by itself, so
// the look is followed on `lookSource`: the widget, without a sheet, its colours are resolved from.
void setLookStyleSheet(QWidget *widget, QWidget *lookSource, std::function<QString()> build);
