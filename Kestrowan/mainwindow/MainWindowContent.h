#pragma once

#include "Kestrowan/shell/AppEnvironment.h"

class QWidget;

// The main window's root view. The window frame shows whatever this returns and treats the view
// being shown or hidden as the main view coming on or leaving the screen.
QWidget *makeMainWindowContent(const AppEnvironment &environment, QWidget *parent);
