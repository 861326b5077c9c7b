#pragma once

// Where the program's files are. A copy in a folder the user can write (the demo, a portable
// copy) keeps them all beside the program file, as on Windows. An installed copy cannot
// write its folder: the files it writes (rdate, oldinfo, remindo.flg, the reply of the
// internet request) then live in a per-user folder, $XDG_DATA_HOME/pantrix/register, which
// becomes programDirectory and the working directory; the files a maker ships beside the
// program (drive, installing) are looked for there first, then beside the program file.

#include <string>

// The folder of the program file, where the maker's files lie; empty when it is the same
// folder as programDirectory.
extern std::string programFileDirectory;

// The folder for the files the program writes, for a program file in programFolder: that
// folder when this user can write it, else the per-user folder (which may not exist yet).
std::string writableFilesFolder(const std::string& programFolder);

// The path of a file the maker ships (a relative name): in filesFolder (programDirectory)
// when it exists there, else beside the program file.
std::string shippedFile(const std::string& filesFolder, const char* name);

// Settings the maker ships for every user: pantrix/<name> in the first system settings
// folder ($XDG_CONFIG_DIRS, by default /etc/xdg) that holds it; empty when none does.
std::string systemSettingsFile(const char* name);
