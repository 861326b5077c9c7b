#pragma once

// The Windows directory: where REGISTER.INI, WIN.INI, the marker file and the dosdevices
// folder live. On Linux it is $WINDIR when that is set and not empty, else
// $XDG_DATA_HOME/pantrix/windows (by default ~/.local/share/pantrix/windows).

#include <string>

namespace platform {

std::string GetWindowsDirectoryA();

} // namespace platform
