#include "registrant/FindNoCase.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(FindNoCaseTest, Table)
{
    const std::tuple<const char*, const char*, unsigned short, int> cases[] = {
        {"C:\\APP\\register.exe", "REGISTER", 65535, 7},
        {"C:\\APP\\ReGiStEr.EXE", "register", 65535, 7},
        {"busy", "BUSY", 65535, 0},
        {"REGISTER twice REGISTER", "register", 65535, 0},
        {"BUS", "BUSY", 65535, -1}, // the text ends inside the word
        {"xxBUSY", "BUSY", 6, 2},   // only matches that end within the limit count
        {"xxBUSY", "BUSY", 5, -1},
        {"BUSY", "BUSY", 3, -1},           // a word longer than the limit
        {"OK\0BUSY", "BUSY", 65535, -1},   // the zero byte ends the text
        {"caf\xC9", "CAF\xE9", 65535, -1}, // only ASCII letters are folded
        {"abc", "", 65535, 0},
        {"", "", 65535, -1},
        {nullptr, "OK", 65535, -1},
        {"OK", nullptr, 65535, -1},
    };
    for (const auto& [text, word, limit, expected] : cases)
        EXPECT_EQ(FindNoCase(text, word, limit), expected)
            << testing::PrintToString(text) << " / " << testing::PrintToString(word) << " limit "
            << limit;
}

} // namespace
