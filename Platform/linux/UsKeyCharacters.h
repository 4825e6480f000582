#pragma once

#include "Platform/KeyCharacters.h"

// The characters of the U.S. keyboard layout for the punctuation and keypad keys, by the platform's
// virtual key code. Keys that type no printable character (function keys, modifiers) give nullopt.
class UsKeyCharacters final : public KeyCharacters {
public:
    std::optional<QString> charactersIgnoringModifiers(quint16 keyCode) const override;
};
