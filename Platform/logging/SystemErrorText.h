#pragma once

#include <QString>

// The system's description of an error number, in English whatever the user's language or the
// process's locale: log lines are read by whoever supports the program, and a reason that changed
// language with the interface (Qt's own texts follow the chosen language) would read differently
// from one line to the next.
QString systemErrorText(int error);

struct QJsonParseError;

// Why a JSON text did not parse, in English (Qt's own text follows the interface's language).
QString jsonErrorText(const QJsonParseError &error);
