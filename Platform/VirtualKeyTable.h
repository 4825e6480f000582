#pragma once

#include <QtGlobal>

#include <optional>

// The platform's virtual key codes (those stored in shortcuts) against this machine's keys: the
// X11 key symbol of each key of the U.S. layout that has a code. One table for every use.
namespace VirtualKeyTable {

std::optional<quint32> keysymForVirtualKeyCode(quint16 keyCode);
std::optional<quint16> virtualKeyCodeForKeysym(quint32 keysym);

} // namespace VirtualKeyTable
