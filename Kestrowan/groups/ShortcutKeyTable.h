#pragma once

#include <QString>

// The name of a virtual key code as shortcuts show it ("A", "1", "Return", "←", ...). Keys outside
// the program's table are named by the characters they type, upper-cased, else "Key<code>".
QString keyNameForKeyCode(quint16 keyCode);
