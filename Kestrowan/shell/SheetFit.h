#pragma once

#include <QSize>

class QWidget;

// Sizes a sheet for the window it belongs to: its wished size, made smaller where the window is
// smaller, so that it never reaches past the window's edges (a margin stays around it). The sheet
// keeps that size as its minimum; `resizable` lets it grow.
void fitSheetToWindow(QWidget *sheet, QWidget *owner, QSize wished, bool resizable);
