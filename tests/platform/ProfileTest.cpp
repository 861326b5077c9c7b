#include "platform/Profile.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <filesystem>
#include <optional>

using namespace platform;
using testsupport::TestWorld;

namespace {

// A case's description as a test name: gtest allows only letters, digits and '_'.
template <class Info> std::string caseName(const Info& info)
{
    std::string name = info.param.name;
    for (auto& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

struct ReadCase
{
    const char* name;
    const char* file;
    const char* section;
    const char* key;
    const char* expected; // nullptr: the default, "DEF"
    std::size_t bufferSize = 256;
};

const ReadCase readCases[] = {
    {"plain", "[modem]\r\nComPort=2\r\n", "modem", "ComPort", "2"},
    {"case blind", "[MoDeM]\nCOMPORT=3\n", "modem", "comport", "3"},
    {"value trimmed", "[a]\nk = \t v  x \t\n", "a", "k", "v  x"},
    {"names trimmed", "  [ a ] ; note\n\t k\t=v\n", " a", "k ", "v"},
    {"first section wins", "[a]\nk=1\n[a]\nk=2\nj=3\n", "a", "k", "1"},
    {"later section shadowed", "[a]\nk=1\n[a]\nj=3\n", "a", "j", nullptr},
    {"first key wins", "[a]\nk=1\nK=2\n", "a", "k", "1"},
    {"key of another section", "[a]\nx=1\n[b]\nk=2\n", "a", "k", nullptr},
    {"key before any section", "k=1\n[a]\n", "a", "k", nullptr},
    {"comment is no key", "[a]\n;k=1\n k=2\n", "a", ";k", nullptr},
    {"line without =", "[a]\nk\nk=5\n", "a", "k", "5"},
    {"header without ]", "[a\nk=1\n", "a", "k", nullptr},
    {"value holds =", "[a]\nk=x=y\n", "a", "k", "x=y"},
    {"empty value", "[a]\nk=\n", "a", "k", ""},
    {"no final line end", "[a]\nk=v", "a", "k", "v"},
    {"byte-order mark", "\xEF\xBB\xBF[a]\r\nk=v\r\n", "a", "k", "v"},
    {"double quotes", "[a]\nk=\"  q  \"\n", "a", "k", "  q  "},
    {"single quotes", "[a]\nk='q'\n", "a", "k", "q"},
    {"unmatched quotes", "[a]\nk=\"q'\n", "a", "k", "\"q'"},
    {"lone quote", "[a]\nk=\"\n", "a", "k", "\""},
    {"cut to buffer", "[a]\nk=abcdef\n", "a", "k", "abc", 4},
    {"buffer of one", "[a]\nk=abcdef\n", "a", "k", "", 1},
    {"buffer of none", "[a]\nk=abcdef\n", "a", "k", "", 0},
    {"default cut too", "", "a", "k", "DE", 3},
};

class ProfileRead : public testing::TestWithParam<ReadCase>
{};

TEST_P(ProfileRead, FindsTheValueLikeWindows)
{
    TestWorld world;
    const auto& c = GetParam();
    world.writeFile(world.windowsDir() / "REGISTER.INI", c.file);
    EXPECT_EQ(GetPrivateProfileStringA(c.section, c.key, "DEF", "REGISTER.INI", c.bufferSize),
              c.expected ? c.expected : "DEF");
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileRead, testing::ValuesIn(readCases),
                         [](const auto& info) { return caseName(info); });

TEST(Profile, MissingFileOrKeyGivesDefaultWithoutTrailingBlanks)
{
    TestWorld world;
    EXPECT_EQ(GetPrivateProfileStringA("a", "k", "ATD \t ", "REGISTER.INI"), "ATD");
    EXPECT_EQ(GetPrivateProfileIntA("product", "Installed", 1, "REGISTER.INI"), 1);
}

struct IntCase
{
    std::optional<std::string> value; // nothing: no such key
    int expected;
};

TEST(Profile, IntegerIsTheLeadingDigits)
{
    const IntCase cases[] = {
        {"42", 42},
        {"  42abc", 42},
        {"abc", 0},
        {"-5", -5},
        {"+7", 7},
        {"- 5", 0},
        {"0x10", 0},
        {"\"12\"", 12},
        {"", 9},
        {std::nullopt, 9},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    TestWorld world;
    for (const auto& c : cases) {
        world.writeFile(world.windowsDir() / "R.INI",
                        c.value ? "[a]\nk=" + *c.value + "\n" : "[a]\n");
        EXPECT_EQ(GetPrivateProfileIntA("a", "k", 9, "R.INI"), c.expected)
            << c.value.value_or("(none)");
    }
}

struct WriteCase
{
    const char* name;
    std::optional<std::string> before; // nothing: no file
    const char* section;
    const char* key;
    const char* value;
    std::optional<std::string> after;
};

const WriteCase writeCases[] = {
    {"replace keeps every other byte",
     "; top\r\n[modem]\r\nComPort=1\r\n; c\r\nodd line\r\n\r\n[user]\r\nMode=Tone\r\n", "modem",
     "comport", "3",
     "; top\r\n[modem]\r\nComPort=3\r\n; c\r\nodd line\r\n\r\n[user]\r\nMode=Tone\r\n"},
    {"replace keeps spelling and blanks", "[a]\n  Key = old value  \n", "A", " key", "new",
     "[a]\n  Key = new\n"},
    {"replace only the first", "[a]\nk=1\nk=2\n[a]\nk=3\n", "a", "k", "9",
     "[a]\nk=9\nk=2\n[a]\nk=3\n"},
    {"add after last key, before blanks", "[a]\r\nx=1\r\n\r\n[b]\r\n", "a", "k", "v",
     "[a]\r\nx=1\r\nk=v\r\n\r\n[b]\r\n"},
    {"add before a comment that ends the section", "[a]\nx=1\n; about b\n[b]\n", "a", "k", "v",
     "[a]\nx=1\nk=v\n; about b\n[b]\n"},
    {"add to empty section", "[a]\n[b]\n", "a", "k", "v", "[a]\nk=v\n[b]\n"},
    {"add after unended last line", "[a]\nx=1", "a", "k", "v", "[a]\nx=1\nk=v"},
    {"add section with LF", "[a]\nx=1\n", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
    {"add section after unended line", "[a]\r\nx=1", "b", "k", "v", "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
    {"add section to file without line ends", "; c", "b", "k", "v", "; c\r\n[b]\r\nk=v\r\n"},
    {"create file", std::nullopt, "b", "k", "v", "[b]\r\nk=v\r\n"},
    {"delete every copy of the key", "[a]\nk=1\nx=2\nK=3\n[b]\nk=4\n", "a", "k", nullptr,
     "[a]\nx=2\n[b]\nk=4\n"},
    {"delete unended last key", "[a]\nx=1\nk=2", "a", "k", nullptr, "[a]\nx=1"},
    {"delete every copy of the section", "; c\n[a]\nx=1\n\n[b]\ny=2\n[A]\nz=3\n", "a", nullptr,
     nullptr, "; c\n[b]\ny=2\n"},
    {"delete missing key", "[a]\nx=1", "a", "k", nullptr, "[a]\nx=1"},
    {"delete from missing file", std::nullopt, "a", "k", nullptr, std::nullopt},
    {"refuse line feed in value", "[a]\nk=1\n", "a", "k", "2\n[b]", "[a]\nk=1\n"},
    {"refuse carriage return in value", "[a]\nk=1\n", "a", "k", "2\r", "[a]\nk=1\n"},
    {"refuse = in key", "[a]\n", "a", "k=1", "2", "[a]\n"},
    {"refuse key read as section", "[a]\n", "a", "[k", "2", "[a]\n"},
    {"refuse key read as comment", "[a]\n", "a", ";k", "2", "[a]\n"},
    {"refuse ] in section", "[a]\n", "a]b", "k", "2", "[a]\n"},
};

class ProfileWrite : public testing::TestWithParam<WriteCase>
{};

TEST_P(ProfileWrite, ChangesOnlyItsOwnLine)
{
    TestWorld world;
    const auto& c = GetParam();
    auto path = world.windowsDir() / "WIN.INI";
    if (c.before)
        world.writeFile(path, *c.before);
    bool refused = std::string(c.name).starts_with("refuse");
    EXPECT_EQ(WritePrivateProfileStringA(c.section, c.key, c.value, "WIN.INI"), !refused);
    ASSERT_EQ(world.exists(path), c.after.has_value());
    if (c.after) {
        EXPECT_EQ(world.readFile(path), *c.after);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(world.windowsDir()), {}),
              c.after ? 1 : 0)
        << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileWrite, testing::ValuesIn(writeCases),
                         [](const auto& info) { return caseName(info); });

TEST(Profile, RunValueRoundTripsWithTabsAndFullBuffer)
{
    TestWorld world;
    std::string run = "C:\\APP\\REGISTER.EXE\tC:\\TOOLS\\CLOCK.EXE";
    run += std::string(255 - run.size() - 1, 'x') + "Z";
    ASSERT_EQ(run.size(), 255u);
    world.writeFile(world.windowsDir() / "WIN.INI", "[Windows]\r\nload=\r\nrun=\t\r\n");
    ASSERT_TRUE(WriteProfileStringA("windows", "run", run.c_str()));
    EXPECT_EQ(GetProfileStringA("windows", "run", ""), run);
    EXPECT_EQ(GetProfileStringA("windows", "run", "", 255), run.substr(0, 254));
    EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"),
              "[Windows]\r\nload=\r\nrun=\t" + run + "\r\n");
    EXPECT_TRUE(WriteProfileStringA(nullptr, nullptr, nullptr));
}

TEST(Profile, FileNamesAndFileSystemCases)
{
    TestWorld world;
    namespace fs = std::filesystem;
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

    // A read-only file is refused even to root, a missing folder fails.
    fs::permissions("real.ini", fs::perms(0444));
    EXPECT_FALSE(WritePrivateProfileStringA("a", "k", "3", "LINKED.INI"));
    EXPECT_EQ(world.readFile("real.ini"), "[a]\nk=2\n");
    EXPECT_FALSE(WritePrivateProfileStringA("a", "k", "3", "nowhere/X.INI"));
}

} // namespace

namespace {

TEST(Profile, HostileFilesAreReadAndKeptByteForByte)
{
    TestWorld world;
    std::string hostile;
    hostile += "[windows]\r\nload=\x01\x02\xFF\xFE\r\n";
    hostile += std::string("nul=a\0b", 7) + "\r\n";
    hostile += "long=" + std::string(100000, 'x') + "\r\n";
    hostile += "[windows]\r\nrun=shadowed\r\n";
    hostile += "[other]\nrun=C:\\APP\\REGISTER.EXE";
    world.writeFile(world.windowsDir() / "WIN.INI", hostile);

    EXPECT_EQ(GetProfileStringA("windows", "run", "none"), "none") << "the first [windows] wins";
    EXPECT_EQ(GetProfileStringA("windows", "long", "", 256), std::string(255, 'x'));
    EXPECT_EQ(GetProfileStringA("windows", "long", "", 200000), std::string(100000, 'x'));
    EXPECT_EQ(GetProfileStringA("other", "run", ""), "C:\\APP\\REGISTER.EXE");
    GetProfileStringA("windows", "nul", "");
    GetProfileStringA("windows", "load", "");

    ASSERT_TRUE(WriteProfileStringA("other", "run", "C:\\TOOLS\\CLOCK.EXE"));
    std::string expected = hostile;
    expected.replace(expected.rfind("C:\\APP\\REGISTER.EXE"), 19, "C:\\TOOLS\\CLOCK.EXE");
    EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"), expected);
    EXPECT_TRUE(WriteProfileStringA(nullptr, nullptr, nullptr)) << "the cache flush";
    EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"), expected);
}

} // namespace
