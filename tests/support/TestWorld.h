#pragma once

// A temporary folder for a test: program directory (the working directory), $WINDIR and XDG.

#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <optional>

namespace testsupport {

// Sets (or, with no value, removes) an environment variable for the life of the object.
struct ScopedEnv
{
    ScopedEnv(std::string name, const std::optional<std::string>& value) : m_name(std::move(name))
    {
        if (const char* previous = std::getenv(m_name.c_str()))
            m_previous = previous;
        set(value);
    }
    ~ScopedEnv() { set(m_previous); }
    void set(const std::optional<std::string>& value)
    {
        value ? ::setenv(m_name.c_str(), value->c_str(), 1) : ::unsetenv(m_name.c_str());
    }
    std::string m_name;
    std::optional<std::string> m_previous;
};

class TestWorld
{
public:
    TestWorld()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "register-test-XXXXXX").string();
        ::mkdtemp(pattern.data()); // canonical() fails when this did
        // Canonical, so that paths the code under test builds compare equal to ours.
        m_root = std::filesystem::canonical(pattern);
        std::filesystem::create_directory(m_programDir = m_root / "program");
        std::filesystem::create_directory(m_windowsDir = m_root / "windows");
        for (const auto& [name, value] : {std::pair{"WINDIR", m_windowsDir},
                                          {"XDG_CONFIG_HOME", m_root / "config"},
                                          {"XDG_CONFIG_DIRS", m_root / "xdg"}})
            m_env.emplace_back(name, value.string());
        std::filesystem::current_path(m_programDir);
    }
    ~TestWorld()
    {
        std::error_code error;
        std::filesystem::current_path(m_previousDir, error);
        std::filesystem::remove_all(m_root, error);
    }

    const std::filesystem::path& root() const { return m_root; }
    const std::filesystem::path& programDir() const { return m_programDir; }
    const std::filesystem::path& windowsDir() const { return m_windowsDir; }

    // writeFile makes missing folders; both fail the test when they fail.
    void writeFile(const std::filesystem::path& path, std::string_view bytes) const
    {
        std::error_code error;
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path(), error);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_EQ(std::filesystem::file_size(path, error), bytes.size()) << path;
    }
    std::string readFile(const std::filesystem::path& path) const
    {
        std::ifstream file(path, std::ios::binary);
        EXPECT_TRUE(file) << "cannot read " << path;
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // A dangling symbolic link counts.
    bool exists(const std::filesystem::path& path) const
    {
        std::error_code error;
        return std::filesystem::exists(std::filesystem::symlink_status(path, error));
    }

private:
    std::filesystem::path m_root, m_programDir, m_windowsDir;
    std::filesystem::path m_previousDir = std::filesystem::current_path();
    std::list<ScopedEnv> m_env;
};

} // namespace testsupport
