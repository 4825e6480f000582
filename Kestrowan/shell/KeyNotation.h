#pragma once

#include <QKeySequence>
#include <QString>

// Every shortcut the program shows (menus, the popup's badges and footer, the recorder, onboarding,
// hints) is written here, in this desktop's notation: Qt's native text with the Super key named as
// the desktop names it ("Super+1", "Ctrl+Alt+D"), never another platform's modifier glyphs.
namespace KeyNotation {

// `modifierFlags` in the platform's flag values (command, option, control, shift), then `keyName`.
QString text(quint64 modifierFlags, const QString &keyName);
// A key sequence as a menu shows it; only its first combination counts.
QString text(const QKeySequence &sequence);

} // namespace KeyNotation
