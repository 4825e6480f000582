#include "Kestrowan/shell/PointerPlainButton.h"

#include "Kestrowan/shell/PointerCursorState.h"

PointerPlainButton::PointerPlainButton(QWidget *parent) : PlainContentButton(PointerCursorState::shared(), parent) {}
