#pragma once

#include <QString>

#include <memory>
#include <optional>

// The characters a key types, for naming keys that have no fixed name in the program's own table.
// Key codes are the platform's virtual key codes (those of the hot keys).
class KeyCharacters {
public:
    virtual ~KeyCharacters() = default;

    static KeyCharacters &shared();
    // Replaces the process-wide source; nullptr goes back to this machine's.
    static void install(std::unique_ptr<KeyCharacters> characters);

    // The characters of a key-down event of `keyCode` without modifiers; nullopt when no such event
    // can be made.
    virtual std::optional<QString> charactersIgnoringModifiers(quint16 keyCode) const = 0;
};
