#pragma once

// Gives the usage-signal client what it cannot reach with Qt Core alone: the main screen, the
// appearance and layout direction of the user interface, and the program's own defaults store for
// the client's suite. Safe to call more than once.
void connectTallylineToHost();
