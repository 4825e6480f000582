#pragma once

#include <QString>

#include <optional>

// Starting the program when the user logs in, as an XDG autostart entry
// (~/.config/autostart/kestrowan.desktop). The state lives only in that file: it is read from it
// and written to it, never kept anywhere else.
namespace LaunchAtLogin {

QString autostartEntryPath();

// Whether the entry exists and is not switched off (Hidden=true, or an
// X-GNOME-Autostart-enabled=false that desktops honour).
bool isEnabled();

// Writes (with the running program's path) or removes the entry. A failure is logged as
// "Launch at login toggle failed: ..." and its reason returned; the entry is then as it was.
// The autostart folder, when writing the entry made it, is recorded as the program's and goes
// again with the entry once it is empty; a folder that was there before is never removed.
std::optional<QString> setLaunchAtLogin(bool enabled, const QString &programPath);

} // namespace LaunchAtLogin
