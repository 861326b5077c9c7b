#pragma once

// A fresh temporary folder for each test, removed when the world goes: a program directory (the
// working directory meanwhile), a Windows directory ($WINDIR) and the XDG settings folders.

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

    // writeFile makes missing folders; both fail the test when they fail.
    void writeFile(const std::filesystem::path& path, std::string_view bytes) const;
    std::string readFile(const std::filesystem::path& path) const;
    // A dangling symbolic link counts.
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
