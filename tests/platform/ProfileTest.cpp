#include "platform/Profile.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <climits>

using namespace platform;
using testsupport::TestWorld;
namespace fs = std::filesystem;

TEST(Profile, ReadsLikeWindows)
{
    // File, section, key, buffer size, value (null: the default "DEF").
    const std::tuple<const char*, const char*, const char*, std::size_t, const char*> cases[] = {
        {"[modem]\r\nComPort=2\r\n", "modem", "ComPort", 256, "2"},
        {"[MoDeM Z]\nCOMPORT=3\n", "modem z", "comport", 256, "3"},
        {"[a]\nk = \t v  x \t\n", "a", "k", 256, "v  x"},
        {"  [ a ] ; note\n\t k\t=v\n", " a", "k ", 256, "v"},
        {"[a]\nk=1\n[a]\nk=2\nj=3\n", "a", "k", 256, "1"},
        {"[a]\nk=1\n[a]\nj=3\n", "a", "j", 256, nullptr},
        {"[a]\nk=1\nK=2\n", "a", "k", 256, "1"},
        {"[a]\nx=1\n[b]\nk=2\n", "a", "k", 256, nullptr},
        {"k=1\n[a]\n", "a", "k", 256, nullptr},
        {"[a]\n;k=1\n k=2\n", "a", ";k", 256, nullptr},
        {"[a]\nk\nk=5\n", "a", "k", 256, "5"},
        {"[a\nk=1\n", "a", "k", 256, nullptr},
        {"[a]\nk=x=y\n", "a", "k", 256, "x=y"},
        {"[a]\nk=\n", "a", "k", 256, ""},
        {"[a]\nk=v", "a", "k", 256, "v"},
        {"\xEF\xBB\xBF[a]\r\nk=v\r\n", "a", "k", 256, "v"},
        {"[a]\nk=\"  q  \"\n", "a", "k", 256, "  q  "},
        {"[a]\nk='q'\n", "a", "k", 256, "q"},
        {"[a]\nk=\"q'\n", "a", "k", 256, "\"q'"},
        {"[a]\nk=\"\n", "a", "k", 256, "\""},
        {"[a]\nk=abcdef\n", "a", "k", 4, "abc"},
        {"[a]\nk=abcdef\n", "a", "k", 1, ""},
        {"[a]\nk=abcdef\n", "a", "k", 0, ""},
        {"", "a", "k", 3, "DE"},
    };
    TestWorld world;
    for (const auto& [file, section, key, size, expected] : cases) {
        world.writeFile(world.windowsDir() / "REGISTER.INI", file);
        EXPECT_EQ(GetPrivateProfileStringA(section, key, "DEF", "REGISTER.INI", size),
                  expected ? expected : "DEF")
            << testing::PrintToString(file);
    }
    fs::remove(world.windowsDir() / "REGISTER.INI");
    EXPECT_EQ(GetPrivateProfileStringA("a", "k", "ATD \t ", "REGISTER.INI"), "ATD");
    const int max = INT_MAX, min = INT_MIN;
    const std::pair<const char*, int> integers[] = {
        {"42", 42}, {"  42abc", 42}, {"abc", 0},           {"-5", -5},
        {"+7", 7},  {"- 5", 0},      {"0x10", 0},          {"\"12\"", 12},
        {"", 9},    {nullptr, 9},    {"99999999999", max}, {"-99999999999", min}};
    for (const auto& [value, expected] : integers) {
        world.writeFile(world.windowsDir() / "R.INI",
                        value ? std::string("[a]\nk=") + value + "\n" : "[a]\n");
        EXPECT_EQ(GetPrivateProfileIntA("a", "k", 9, "R.INI"), expected) << (value ? value : "-");
    }
}

TEST(Profile, WriteChangesOnlyItsOwnLine)
{
    // Before (null: no file), section, key, value, after (null: no file); "!" refuses.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"; top\r\n[modem]\r\nComPort=1\r\n; c\r\nodd line\r\n\r\n[user]\r\nMode=Tone\r\n", "modem",
         "comport", "3",
         "; top\r\n[modem]\r\nComPort=3\r\n; c\r\nodd line\r\n\r\n[user]\r\nMode=Tone\r\n"},
        {"[a]\n  Key = old value  \n", "A", " key", "new", "[a]\n  Key = new\n"},
        {"[a]\nk=1\nk=2\n[a]\nk=3\n", "a", "k", "9", "[a]\nk=9\nk=2\n[a]\nk=3\n"},
        {"[a]\r\nx=1\r\n\r\n[b]\r\n", "a", "k", "v", "[a]\r\nx=1\r\nk=v\r\n\r\n[b]\r\n"},
        {"[a]\nx=1\n; about b\n[b]\n", "a", "k", "v", "[a]\nx=1\nk=v\n; about b\n[b]\n"},
        {"[a]\n[b]\n", "a", "k", "v", "[a]\nk=v\n[b]\n"},
        {"[a]\nx=1", "a", "k", "v", "[a]\nx=1\nk=v"},
        {"[a]\nx=1\n", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
        {"[a]\r\nx=1", "b", "k", "v", "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"; c", "b", "k", "v", "; c\r\n[b]\r\nk=v\r\n"},
        {nullptr, "b", "k", "v", "[b]\r\nk=v\r\n"},
        {"[a]\nk=1\nx=2\nK=3\n[b]\nk=4\n", "a", "k", nullptr, "[a]\nx=2\n[b]\nk=4\n"},
        {"[a]\nx=1\nk=2", "a", "k", nullptr, "[a]\nx=1"},
        {"; c\n[a]\nx=1\n\n[b]\ny=2\n[A]\nz=3\n", "a", nullptr, nullptr, "; c\n[b]\ny=2\n"},
        {"[a]\nx=1", "a", "k", nullptr, "[a]\nx=1"},
        {nullptr, "a", "k", nullptr, nullptr},
        {"[a]\nk=1\n", "a", "k", "2\n[b]", "!"},
        {"[a]\nk=1\n", "a", "k", "2\r", "!"},
        {"[a]\n", "a", "k=1", "2", "!"},
        {"[a]\n", "a", "[k", "2", "!"},
        {"[a]\n", "a", ";k", "2", "!"},
        {"[a]\n", "a]b", "k", "2", "!"},
    };
    for (const auto& [before, section, key, value, after] : cases) {
        SCOPED_TRACE(testing::PrintToString(before) + " " + section + (key ? key : "-"));
        TestWorld world;
        const fs::path path = world.windowsDir() / "WIN.INI";
        if (before)
            world.writeFile(path, before);
        const bool refused = after && std::string(after) == "!";
        EXPECT_EQ(WritePrivateProfileStringA(section, key, value, "WIN.INI"), !refused);
        ASSERT_EQ(world.exists(path), after != nullptr);
        if (after) {
            EXPECT_EQ(world.readFile(path), refused ? before : after);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(world.windowsDir()), {}), after ? 1 : 0)
            << "a temporary file was left behind";
    }
}

TEST(Profile, HostileFilesLinksAndPaths)
{
    TestWorld world;
    std::string hostile = "[windows]\r\nload=\x01\x02\xFF\xFE\r\n" + std::string("nul=a\0b", 7) +
                          "\r\nlong=" + std::string(100000, 'x') +
                          "\r\n[windows]\r\nrun=shadowed\r\n[other]\nrun=C:\\APP\\REGISTER.EXE";
    world.writeFile(world.windowsDir() / "WIN.INI", hostile);
    EXPECT_EQ(GetProfileStringA("windows", "run", "none"), "none") << "the first [windows] wins";
    EXPECT_EQ(GetProfileStringA("windows", "long", "", 256), std::string(255, 'x'));
    EXPECT_EQ(GetProfileStringA("windows", "long", "", 200000), std::string(100000, 'x'));
    ASSERT_TRUE(WriteProfileStringA("other", "run", "C:\\TOOLS\\CLOCK.EXE\tX"));
    hostile.replace(hostile.rfind("C:\\APP"), 19, "C:\\TOOLS\\CLOCK.EXE\tX");
    EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"), hostile);
    EXPECT_TRUE(WriteProfileStringA(nullptr, nullptr, nullptr)) << "the cache flush";

    // A name with a folder is a path; a drive goes through dosdevices.
    world.writeFile("sub/LOCAL.INI", "[a]\nk=here\n");
    EXPECT_EQ(GetPrivateProfileStringA("a", "k", "", "sub\\LOCAL.INI"), "here");
    fs::create_directories(world.windowsDir() / "dosdevices/c:");
    EXPECT_TRUE(WritePrivateProfileStringA("a", "k", "v", "C:\\ON_C.INI"));
    EXPECT_TRUE(world.exists(world.windowsDir() / "dosdevices/c:/ON_C.INI"));
    // The file behind a link is written; the link and the file's permissions stay.
    world.writeFile("real.ini", "[a]\nk=1\n");
    fs::permissions("real.ini", fs::perms(0640));
    fs::create_symlink(world.programDir() / "real.ini", world.windowsDir() / "LINKED.INI");
    EXPECT_TRUE(WritePrivateProfileStringA("a", "k", "2", "LINKED.INI"));
    EXPECT_TRUE(fs::is_symlink(world.windowsDir() / "LINKED.INI"));
    EXPECT_EQ(world.readFile("real.ini"), "[a]\nk=2\n");
    EXPECT_EQ(fs::status("real.ini").permissions(), fs::perms(0640));
    fs::permissions("real.ini", fs::perms(0444)); // refused even to root
    EXPECT_FALSE(WritePrivateProfileStringA("a", "k", "3", "LINKED.INI"));
    EXPECT_EQ(world.readFile("real.ini"), "[a]\nk=2\n");
    EXPECT_FALSE(WritePrivateProfileStringA("a", "k", "3", "nowhere/X.INI"));
}
