#pragma once

#include "Kestrowan/shell/AppEnvironment.h"

// Puts the group editor into the main window: the page the window builds for a group or a new
// draft, with the main window's application pickers as its sheets.
void installGroupEditorPage(const AppEnvironment &environment);
