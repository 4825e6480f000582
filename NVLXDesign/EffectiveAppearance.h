#pragma once

class QPalette;
class QWidget;

// The appearance a colour is drawn in. Windows switch between light and dark by their palette (the
// shell installs one palette per appearance), so a colour asks the palette of the widget it is drawn
// into: a dark window background means dark, anything else, including a palette that is neither
// clearly light nor dark, means light.
enum class EffectiveAppearance { Light, Dark };

EffectiveAppearance effectiveAppearance(const QPalette &palette);
// The appearance `widget` is drawn in; the application's palette when there is no widget.
EffectiveAppearance effectiveAppearance(const QWidget *widget);
