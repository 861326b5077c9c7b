#include "platform/DosDevices.h"
#include "platform/WindowsDirectory.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace platform {

namespace {

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        };
        return lower(x) == lower(y);
    });
}

// base + "/" + relative, where each part of relative that does not exist as spelled is
// replaced by an entry of its folder that differs only in letter case. Windows names are
// case-blind, so a CD whose files show up as "gift/setup.exe" still answers to
// "GIFT\SETUP.EXE". Parts that exist in no spelling are kept as given.
std::string resolveCaseBlind(const std::string& base, const std::string& relative)
{
    namespace fs = std::filesystem;
    std::string resolved = base;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t slash = std::min(relative.find('/', start), relative.size());
        std::string part = relative.substr(start, slash - start);
        std::error_code error;
        if (!part.empty() && part != "." && part != ".." &&
            !fs::exists(fs::symlink_status(resolved + "/" + part, error))) {
            std::vector<std::string> matches;
            for (const auto& entry : fs::directory_iterator(resolved, error)) {
                std::string name = entry.path().filename().string();
                if (equalsNoCase(name, part))
                    matches.push_back(name);
            }
            // Of several spellings, always the same one.
            if (!matches.empty())
                part = *std::min_element(matches.begin(), matches.end());
        }
        resolved += "/" + part;
        start = slash + 1;
    }
    return resolved;
}

std::string dosDevicesFolder()
{
    return GetWindowsDirectoryA() + "/dosdevices";
}

} // namespace

std::string mapDosPath(const std::string& windowsPath)
{
    std::string path = windowsPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    char letter = path.size() >= 2 && path[1] == ':' ? path[0] : '\0';
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
        return path;

    std::string rest = path.substr(2);
    if (!rest.empty() && rest.front() == '/')
        rest.erase(0, 1);
    std::string entry = std::string(1, letter >= 'a' ? letter : char(letter - 'A' + 'a')) + ":";
    return resolveCaseBlind(dosDevicesFolder(), rest.empty() ? entry : entry + "/" + rest);
}

std::string comPortDevice(int portNumber)
{
    if (portNumber < 1)
        return {}; // no port configured: a name that opens nothing
    std::string entry = resolveCaseBlind(dosDevicesFolder(), "com" + std::to_string(portNumber));
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(entry, error)))
        return entry;
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

} // namespace platform
