#include "platform/WindowsDirectory.h"

#include "platform/Xdg.h"

#include <cstdlib>

namespace platform {

namespace {

const char* nonEmptyEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

} // namespace

std::string GetWindowsDirectoryA()
{
    std::string directory;
    if (const char* windir = nonEmptyEnv("WINDIR")) {
        directory = windir;
    } else {
        directory = dataHome() + "/pantrix/windows";
    }
    // Like the Windows call, no separator at the end, so that callers can append "\NAME".
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory;
}

} // namespace platform
