#pragma once

// The places of the XDG base directory and autostart rules: where per-user data and settings
// live, where the system's settings live, and how a program's autostart entry is switched off
// for one user. On Linux these stand in for the program's own folder (when it cannot be
// written) and for WIN.INI's run= entry.

#include <string>
#include <vector>

namespace platform {

// The user's home directory without a trailing slash: $HOME, else the password database's.
std::string homeDirectory();

// $XDG_DATA_HOME, else ~/.local/share. A relative value is ignored, as the rules say.
std::string dataHome();
// $XDG_CONFIG_HOME, else ~/.config.
std::string configHome();
// The system's settings folders in order of preference: $XDG_CONFIG_DIRS, else /etc/xdg.
std::vector<std::string> configDirs();

// Switches the autostart entry desktopId + ".desktop" off for this user: writes a user
// autostart file of that name with Hidden=true, which shadows the system's entry (the
// command it names is desktopId too). Returns false when the file cannot be written.
bool HideAutostartEntry(const std::string& desktopId);

} // namespace platform
