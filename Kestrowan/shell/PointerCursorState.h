#pragma once

#include "NVLXDesign/PointerCursor.h"

class QWidget;

// The application's own count of hovered regions that show the pointing hand (the design kit keeps
// a separate one).
namespace PointerCursorState {
PointerCursorCount &shared();
}

// Gives `widget` the pointing hand while the pointer is over it; the modifier belongs to the widget.
PointerCursorModifier *applyPointerCursor(QWidget *widget);
// The same, switchable: while `enabled` is false the pointer entering and leaving is ignored (use
// setEnabled on the result), but the widget going away still ends its hover.
PointerCursorModifier *applyPelkoPointer(QWidget *widget, bool enabled);
