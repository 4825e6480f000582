#include "NVLXDesign/EffectiveAppearance.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

EffectiveAppearance effectiveAppearance(const QPalette &palette)
{
    // Perceived lightness of the window background: a dark palette keeps it far below the middle.
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    return window.lightnessF() < 0.45 ? EffectiveAppearance::Dark : EffectiveAppearance::Light;
}

EffectiveAppearance effectiveAppearance(const QWidget *widget)
{
    return effectiveAppearance(widget ? widget->palette() : QApplication::palette());
}
