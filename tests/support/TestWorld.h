#pragma once

// A world of its own for each test: a fresh temporary folder with a program directory (the
// working directory while the world lives), a Windows directory ($WINDIR) and the XDG settings
// folders ($XDG_CONFIG_HOME, $XDG_CONFIG_DIRS, made when written to), removed again
// with everything in it when the world goes, so that no test sees another's files or the
// user's own.

#include "tests/support/FakeClock.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

class TestWorld
{
public:
    TestWorld();
    ~TestWorld();
    TestWorld(const TestWorld&) = delete;
    TestWorld& operator=(const TestWorld&) = delete;

    const std::filesystem::path& root() const { return m_root; }
    const std::filesystem::path& programDir() const { return m_programDir; }
    const std::filesystem::path& windowsDir() const { return m_windowsDir; }

    // Relative paths are taken from the working directory, the program directory.
    // writeFile makes missing folders; both fail the test when the file cannot be written or read.
    void writeFile(const std::filesystem::path& path, std::string_view bytes) const;
    std::string readFile(const std::filesystem::path& path) const;
    // True for any entry, a dangling symbolic link included.
    bool exists(const std::filesystem::path& path) const;

private:
    std::filesystem::path m_root;
    std::filesystem::path m_programDir;
    std::filesystem::path m_windowsDir;
    std::filesystem::path m_previousDir;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_previousEnv;
};

// Sets (or, with no value, removes) an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

} // namespace testsupport
