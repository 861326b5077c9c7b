#include "app/FileFolders.h"

#include "platform/Xdg.h"

#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

std::string programFileDirectory;

namespace fs = std::filesystem;

std::string writableFilesFolder(const std::string& programFolder)
{
    // The effective user decides, as for the writes themselves. Root may write anywhere, so
    // an installed copy run by root keeps its files beside the program.
    if (programFolder.empty() ||
        ::faccessat(AT_FDCWD, programFolder.c_str(), W_OK, AT_EACCESS) == 0)
        return programFolder;
    return platform::dataHome() + "/pantrix/register";
}

std::string shippedFile(const std::string& filesFolder, const char* name)
{
    std::error_code error;
    const fs::path own = fs::path(filesFolder) / name;
    if (programFileDirectory.empty() || fs::exists(fs::symlink_status(own, error)))
        return own.string();
    return (fs::path(programFileDirectory) / name).string();
}

std::string systemSettingsFile(const char* name)
{
    std::error_code error;
    for (const auto& dir : platform::configDirs()) {
        const fs::path candidate = fs::path(dir) / "pantrix" / name;
        if (fs::is_regular_file(candidate, error))
            return candidate.string();
    }
    return {};
}
