#pragma once

// Shared by the harnesses; the README says what each one checks.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? void(0)                                                                         \
                 : (std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition),   \
                    std::abort()))

namespace fuzz {

// The input cut at zero bytes into count fields; the last one holds the rest, zero bytes and all.
inline std::vector<std::string> fields(const std::uint8_t* data, std::size_t size,
                                       std::size_t count)
{
    std::string rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    for (std::size_t end; parts.size() + 1 < count; rest.erase(0, std::min(end + 1, rest.size())))
        parts.push_back(rest.substr(0, end = rest.find('\0')));
    parts.push_back(rest);
    return parts;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline const std::filesystem::path& scratch()
{
    static const struct Folder : std::filesystem::path
    {
        Folder() : path(std::filesystem::temp_directory_path() / std::to_string(::getpid()))
        {
            std::filesystem::create_directories(*this);
        }
        ~Folder() { std::filesystem::remove_all(*this); }
    } folder;
    return folder;
}

} // namespace fuzz
