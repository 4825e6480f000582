#include "Kestrowan/shell/PointerCursorState.h"

PointerCursorCount &PointerCursorState::shared()
{
    static PointerCursorCount count;
    return count;
}

PointerCursorModifier *applyPointerCursor(QWidget *widget)
{
    return new PointerCursorModifier(widget, PointerCursorState::shared());
}

PointerCursorModifier *applyPelkoPointer(QWidget *widget, bool enabled)
{
    PointerCursorModifier *modifier = applyPointerCursor(widget);
    modifier->setEnabled(enabled);
    return modifier;
}
