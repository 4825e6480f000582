#pragma once

#include <QtGlobal>
#include <QtCore/qnamespace.h>

#include <optional>

// The platform's virtual key codes and modifier-flag values, the form in which shortcuts are stored
// and in which key events are compared. Command is the Super key (Qt's Meta modifier), Option is Alt.
namespace VirtualKeys {

constexpr quint64 commandFlag = 0x100000;
constexpr quint64 optionFlag = 0x80000;
constexpr quint64 controlFlag = 0x40000;
constexpr quint64 shiftFlag = 0x20000;

constexpr quint16 keyA = 0;
constexpr quint16 keyReturn = 36;
constexpr quint16 keyComma = 43;
constexpr quint16 keyTab = 48;
constexpr quint16 keySpace = 49;
constexpr quint16 keyDelete = 51;
constexpr quint16 keyEscape = 53;
constexpr quint16 keyLeftArrow = 123;
constexpr quint16 keyRightArrow = 124;
constexpr quint16 keyDownArrow = 125;
constexpr quint16 keyUpArrow = 126;
// Stands for a key that has no code here; it matches no key of any table.
constexpr quint16 keyUnknown = 0xFFFF;

// Qt's modifiers as the platform's flag bits; the keypad and group-switch bits carry nothing.
quint64 modifierFlags(Qt::KeyboardModifiers modifiers);
// The platform's flag bits as Qt's modifiers, the other way of the same table.
Qt::KeyboardModifiers qtModifiers(quint64 flags);

// The virtual key code of the key that produced `qtKey` (a Qt::Key value) on a U.S. layout; shifted
// symbols map to the key that types them ("!" is the 1 key). Nullopt for keys without a code.
std::optional<quint16> keyCodeForQtKey(int qtKey);

} // namespace VirtualKeys
