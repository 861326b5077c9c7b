#pragma once

// Starting another program.

#include <string>

namespace platform {

inline constexpr int SW_SHOWNORMAL = 1;

// Starts the program named by the first word of commandLine (a Windows path such as
// D:\GIFT\SETUP.EXE is mapped through DosDevices.h) with the remaining words as its
// arguments, and returns at once without waiting for it. Like WinExec, the result is greater
// than 31 when the program was started, and 31 or less when it could not be (2: file not
// found, 3: path not found, 5: access denied, 11: not a program, 0: out of resources).
// Words are separated by blanks; a word in double quotes may hold blanks. A program name
// without a folder is looked up along $PATH. The program reads its input from /dev/null,
// runs in a session of its own and is never waited for (nor left a zombie); showCommand has
// no meaning on Linux.
unsigned WinExec(const std::string& commandLine, int showCommand);

} // namespace platform
