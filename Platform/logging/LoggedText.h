#pragma once

#include <QString>

// Text from outside the program (a link, a path, a name typed or dropped, a file's or a server's
// words) as a log line holds it: at most `loggedTextLimit` characters, a longer text cut with its
// length noted, and control characters shown as "?" so that a value cannot start a line of its own.
// The platform layer, the stand-in Dock and the usage-signal client link no library of the program,
// so the one form lives down here, beside the safe file replacement they all link.
inline constexpr qsizetype loggedTextLimit = 300;
QString loggedText(const QString &text);
