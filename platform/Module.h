#pragma once

// Facts about the running program and the system it runs on.

#include <cstdint>
#include <string>

namespace platform {

// The full path of the program file (/proc/self/exe on Linux); empty when unknown.
std::string GetModuleFileNameA();

// The Windows version number: major version in the low byte, minor version in the next.
// Linux is no Windows version, so the answer is 0.
std::uint32_t GetVersion();

// Error modes are a Windows notion; the mode is kept and returned, and changes nothing.
inline constexpr unsigned SEM_FAILCRITICALERRORS = 0x0001;
unsigned SetErrorMode(unsigned mode);

} // namespace platform
