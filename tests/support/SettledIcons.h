#pragma once

class QWidget;

// Application icons and skin layers are decoded out of the program and drawn once they are in:
// draws `widget` so that every picture it shows is asked for, then waits (up to `timeoutMs`) until
// none is on its way any more and the widget has drawn them, as a picture of it is meant to show.
void settleDecodedIcons(QWidget *widget, int timeoutMs = 60000);
