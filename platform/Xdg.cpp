#include "platform/Xdg.h"

#include "platform/System.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

const char* nonEmptyEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// The rules ignore a relative value: it would name a different place from every folder.
std::string absoluteEnvOr(const char* name, const std::string& fallback)
{
    const char* value = nonEmptyEnv(name);
    return value && value[0] == '/' ? std::string(value) : fallback;
}

} // namespace

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
    // Callers append "/.local/share" and the like; "/" as the home becomes "" for that reason.
    while (!home.empty() && home.back() == '/')
        home.pop_back();
    return home;
}

std::string dataHome()
{
    return absoluteEnvOr("XDG_DATA_HOME", homeDirectory() + "/.local/share");
}

std::string configHome()
{
    return absoluteEnvOr("XDG_CONFIG_HOME", homeDirectory() + "/.config");
}

std::vector<std::string> configDirs()
{
    std::vector<std::string> dirs;
    const char* list = nonEmptyEnv("XDG_CONFIG_DIRS");
    const std::string rest = list ? list : "/etc/xdg";
    for (std::size_t start = 0; start <= rest.size();) {
        const std::size_t colon = std::min(rest.find(':', start), rest.size());
        std::string dir = rest.substr(start, colon - start);
        if (!dir.empty() && dir[0] == '/')
            dirs.push_back(std::move(dir));
        start = colon + 1;
    }
    return dirs;
}

bool HideAutostartEntry(const std::string& desktopId)
{
    const std::filesystem::path folder = std::filesystem::path(configHome()) / "autostart";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    // A whole entry rather than the one key: some session managers skip a file that lacks
    // the required keys, and would then fall back to the system's entry.
    const std::string entry = "[Desktop Entry]\nType=Application\nName=" + desktopId +
                              "\nExec=" + desktopId + "\nHidden=true\n";
    return !sys::replaceFile((folder / (desktopId + ".desktop")).string(), entry).isError();
}

} // namespace platform
