#include "registrant/FindNoCase.h"

#include <gtest/gtest.h>

namespace {

TEST(FindNoCaseTest, Table)
{
    struct Case
    {
        const char* text;
        const char* word;
        unsigned short limit;
        int expected;
    } cases[] = {
        {"C:\\APP\\register.exe", "REGISTER", 65535, 7},
        {"C:\\APP\\ReGiStEr.EXE", "register", 65535, 7},
        {"NO CARRIER", "CARRIER", 65535, 3},
        {"busy", "BUSY", 65535, 0},
        {"REGISTER twice REGISTER", "register", 65535, 0},
        {"", "BUSY", 65535, -1},
        {"BUS", "BUSY", 65535, -1}, // the text ends inside the word
        {"CLOCK.EXE", "REGISTER", 65535, -1},
        // Only matches that end within the limit count.
        {"xxBUSY", "BUSY", 6, 2},
        {"xxBUSY", "BUSY", 5, -1},
        {"BUSY", "BUSY", 3, -1}, // a word longer than the limit is found nowhere
        {"BUSY", "BUSY", 0, -1},
        // The zero byte ends the text whatever the limit.
        {"OK\0BUSY", "BUSY", 65535, -1},
        // Only ASCII letters are folded; other bytes must match exactly.
        {"caf\xC9", "CAF\xE9", 65535, -1},
        {"[REGISTER]", "[register]", 65535, 0},
        {"abc", "", 65535, 0},
        {"", "", 65535, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindNoCase(c.text, c.word, c.limit), c.expected)
            << '"' << c.text << "\" / \"" << c.word << "\" limit " << c.limit;
}

TEST(FindNoCaseTest, NullArgumentsAreFoundNowhere)
{
    EXPECT_EQ(FindNoCase(nullptr, "OK", 65535), -1);
    EXPECT_EQ(FindNoCase("OK", nullptr, 65535), -1);
}

} // namespace
