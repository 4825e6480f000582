#pragma once

class QScrollBar;

// A slim grey thumb on no track instead of the style's full bar: it tells that a list scrolls and
// where it is, without taking room from the rows. Neutral grey reads on both appearances.
void setSlimScrollBar(QScrollBar *bar);
