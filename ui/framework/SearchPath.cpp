#include "ui/framework/SearchPath.h"

#include "platform/Module.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ui {

UI_PATH::UI_PATH()
{
    std::error_code error;
    m_directories.push_back(std::filesystem::current_path(error).string());
    m_directories.push_back(DirectoryOf(platform::GetModuleFileNameA()));
    for (const char* variable : {"ZINC_PATH", "PATH"}) {
        if (const char* list = std::getenv(variable)) {
            for (auto& directory : SplitList(list))
                m_directories.push_back(std::move(directory));
        }
    }
}

std::string UI_PATH::Entry(std::size_t index) const
{
    return index < m_directories.size() ? m_directories[index] : std::string();
}

std::string UI_PATH::Find(const std::string& fileName) const
{
    std::error_code error;
    if (fileName.find('/') != std::string::npos)
        return std::filesystem::is_regular_file(fileName, error) ? fileName : std::string();
    for (const auto& directory : m_directories) {
        if (directory.empty())
            continue;
        auto candidate = std::filesystem::path(directory) / fileName;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate.string();
    }
    return {};
}

std::string UI_PATH::DirectoryOf(const std::string& filePath)
{
    auto slash = filePath.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : filePath.substr(0, slash);
}

std::vector<std::string> UI_PATH::SplitList(const std::string& list)
{
    std::vector<std::string> entries;
    std::string current;
    for (char c : list) {
        if (c == ';' || c == ':') {
            if (!current.empty())
                entries.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty())
        entries.push_back(std::move(current));
    return entries;
}

} // namespace ui
