#pragma once

// The installation's settings (REGISTER.INI in the Windows directory, else the maker's copy
// for every user in the system settings folder, FileFolders.h), the name of the operating
// system, and the program's own entry in the WIN.INI auto-start list.

#include "registrant/ProgramRecord.h"

#include <cstdint>
#include <string>

// Fills record.settings from REGISTER.INI; an absent file or key gives its default. The
// product identity is not among them: it is fixed when the program is built (BuildConfig.h).
// Always returns 1.
int ReadSettings(ProgramRecord& record);

// "Windows 98", "Windows 95" or "Unknown" for a version number with the major version in the
// low byte and the minor version in the next (the platform's GetVersion).
std::string osNameFromVersion(std::uint32_t version);

// Today's date as DD-MON-YY, e.g. 04-DEC-26.
std::string todayAsDayMonthYear();

// Removes the first word of WIN.INI [windows] run= that contains "REGISTER" in any case, with
// the one separator after it. Leaves WIN.INI untouched when there is no such word. Hides the
// program's XDG autostart entry for this user in any case.
void RemoveAutoStartEntry();
