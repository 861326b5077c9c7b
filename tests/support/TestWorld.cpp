#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace testsupport {

static std::optional<std::string> getEnv(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

static void setEnv(const std::string& name, const std::optional<std::string>& value)
{
    value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
}

TestWorld::TestWorld() : m_previousDir(fs::current_path())
{
    std::string pattern = (fs::temp_directory_path() / "register-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    // Canonical, so that paths the code under test builds compare equal to ours.
    m_root = fs::canonical(pattern);
    m_programDir = m_root / "program";
    m_windowsDir = m_root / "windows";
    fs::create_directory(m_programDir);
    fs::create_directory(m_windowsDir);
    for (const auto& [name, value] : {std::pair{"WINDIR", m_windowsDir},
                                      {"XDG_CONFIG_HOME", m_root / "config"},
                                      {"XDG_CONFIG_DIRS", m_root / "xdg"}}) {
        m_previousEnv.emplace_back(name, getEnv(name));
        setEnv(name, value.string());
    }
    fs::current_path(m_programDir);
}

TestWorld::~TestWorld()
{
    std::error_code error;
    fs::current_path(m_previousDir, error);
    for (const auto& [name, value] : m_previousEnv)
        setEnv(name, value);
    // A test may have taken away a folder's write permission.
    for (const auto& entry : fs::recursive_directory_iterator(m_root, error))
        if (entry.is_directory(error) && !entry.is_symlink(error))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(m_root, error);
}

void TestWorld::writeFile(const fs::path& path, std::string_view bytes) const
{
    std::error_code error;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file)
        ADD_FAILURE() << "cannot write " << path;
}

std::string TestWorld::readFile(const fs::path& path) const
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        ADD_FAILURE() << "cannot read " << path;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool TestWorld::exists(const fs::path& path) const
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : m_name(std::move(name)), m_previous(getEnv(m_name))
{
    setEnv(m_name, value);
}

ScopedEnv::~ScopedEnv()
{
    setEnv(m_name, m_previous);
}

} // namespace testsupport
