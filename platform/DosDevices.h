#pragma once

// Drive letters and COM ports. Like Wine, the Windows directory holds a folder "dosdevices"
// whose entries stand for the devices: "d:" is the root of drive D (a symbolic link or a
// folder), "com1" to "com9" are links to serial devices.

#include <string>

namespace platform {

// The Linux path of a Windows path. "D:\GIFT\SETUP.EXE" becomes
// "<Windows directory>/dosdevices/d:/GIFT/SETUP.EXE"; a path without a drive only has its
// backslashes turned into slashes. Drive letters are matched without regard to case, and so
// are the names on the drive, as on Windows: a part of the path that does not exist as
// written but exists in another mix of upper and lower case (gift/setup.exe) is taken in
// that spelling. Parts that exist in no spelling are kept as written.
std::string mapDosPath(const std::string& windowsPath);

// The device of COM port n (1 = COM1): the dosdevices entry "com<n>" when there is one,
// else /dev/ttyS<n-1>. Port 0 (none configured) or below gives an empty name, which opens
// nothing.
std::string comPortDevice(int portNumber);

} // namespace platform
