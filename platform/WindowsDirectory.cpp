#include "platform/WindowsDirectory.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

const char* nonEmptyEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

std::string homeDirectory()
{
    std::string home;
    if (const char* fromEnv = nonEmptyEnv("HOME")) {
        home = fromEnv;
    } else {
        // A service or a bare sudo may run us without $HOME; the password database still knows.
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found)
            home = found->pw_dir;
    }
    // The caller appends "/.local/share"; "/" as the home becomes "" here for that reason.
    while (!home.empty() && home.back() == '/')
        home.pop_back();
    return home;
}

} // namespace

std::string GetWindowsDirectoryA()
{
    std::string directory;
    if (const char* windir = nonEmptyEnv("WINDIR")) {
        directory = windir;
    } else {
        // The XDG rules ignore a relative $XDG_DATA_HOME.
        const char* dataHome = nonEmptyEnv("XDG_DATA_HOME");
        directory = dataHome && dataHome[0] == '/' ? std::string(dataHome)
                                                   : homeDirectory() + "/.local/share";
        directory += "/pantrix/windows";
    }
    // Like the Windows call, no separator at the end, so that callers can append "\NAME".
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory;
}

} // namespace platform
