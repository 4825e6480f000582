#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QString>

// A short message banner: what it says (already localised) and of which kind.
struct AppToast {
    enum class Kind { Success, Error, Warning, Info };

    Kind kind = Kind::Info;
    QString text;
    // Shown on as many lines as it takes, never cut: a text naming folders the user must find.
    bool whole = false;

    // The kind's symbol drawing and its colour token.
    static QString symbolName(Kind kind);
    static DynamicColor color(Kind kind);

    friend bool operator==(const AppToast &, const AppToast &) = default;
};
