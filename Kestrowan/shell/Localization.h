#pragma once

#include <QString>

// The one lookup of user-visible texts: the chosen language's table first, then the packaged
// resources in the program's preferred language, and the key itself when no table has it.
QString localized(const QString &key);
