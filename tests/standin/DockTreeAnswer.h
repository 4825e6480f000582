#pragma once

#include <QDeadlineTimer>
#include <QString>

// Asks the Dock on `socketPath` for a copy of its tree, as the program does at its start: whether
// an answer with the tiles' layout came before `deadline`. A Dock not listening yet is asked again
// in a moment, as a client that waits for a Dock does.
bool treeAnswered(const QString &socketPath, const QDeadlineTimer &deadline);
