#include "registrant/InformationFile.h"

#include "registrant/FindNoCase.h"
#include "tests/support/TestWorld.h"

namespace {

TEST(FindNoCaseTest, Table)
{
    // Only ASCII letters are folded; a zero byte ends the text.
    const std::tuple<const char*, const char*, unsigned short, int> cases[] = {
        {"C:\\APP\\ReGiStEr.EXE", "register", 65535, 7},
        {"REGISTER x REGISTER", "register", 65535, 0},
        {"BUS", "BUSY", 65535, -1},
        {"xxBUSY", "BUSY", 6, 2},
        {"xxBUSY", "BUSY", 5, -1},
        {"OK\0BUSY", "BUSY", 65535, -1},
        {"caf\xC9", "CAF\xE9", 65535, -1},
        {"abc", "", 65535, 0},
        {"", "", 65535, -1},
        {nullptr, "OK", 65535, -1}};
    for (const auto& [text, word, limit, expected] : cases)
        EXPECT_EQ(FindNoCase(text, word, limit), expected) << testing::PrintToString(text) << limit;
}

// Reads in pieces are the fuzz target's.
TEST(InformationLoaderTest, MapsLinesOntoTheFormsFields)
{
    testsupport::TestWorld world;
    const std::string body = "Smith\r\n1 Main\r\nCity\r\nIL\r\n62701\r\n(555) 123-4567\r\nUSA\r\n"
                             "ann@example.com\r\n123456\r\nShop\r\nReferral.\r\n7/4/1999\r\n1";
    const std::string answers =
        "Smith|1 Main|City|IL|62701|(555) 123-4567|USA|ann@example.com|Shop";
    const std::string shifted = "Ann|Smith|1 Main|City|IL|62701|(555) 123-4567|USA|123456";
    std::string lineFeeds = "\r\nAnn\r\n" + body;
    lineFeeds.erase(std::remove(lineFeeds.begin(), lineFeeds.end(), '\r'), lineFeeds.end());
    std::string carriageReturns = "\r\nAnn\r\n" + body;
    std::replace(carriageReturns.begin(), carriageReturns.end(), '\n', '\r');

    const std::pair<std::string, std::string> cases[] = {
        {"\r\nAnn\r\n" + body, "Ann|" + answers},
        {lineFeeds, "Ann|" + answers},
        {"Ann\r\n" + body, "Ann|" + answers},
        {"\r\n0\r\n4\r\n1\r\nAnn\r\n" + body, "Ann|" + answers}, // digits 0-4 are no name
        {"\r\n\r\nAnn\r\n" + body, "|" + shifted},
        {"\r\n5\r\nAnn\r\n" + body, "5|" + shifted},
        {"\r\n00\r\nAnn\r\n" + body, "00|" + shifted},
        {"\r\n", ""},
        {"\r\nAnn", ""},
        {"\r\nAnn\r\nSmith", "Ann|Smith|||||||"}, // an empty COUNTRY keeps the form's preset
        {"\r\nAnn\r\nSm\x1Aith\r\n" + body, "Ann|Sm|||||||"},     // Ctrl-Z ends the file
        {std::string("\r\nA\0nn\r\n", 8) + body, "A|" + answers}, // a zero byte ends the line
        {"\r\n" + std::string(10000, 'n') + "\r\n" + body, std::string(199, 'n') + "|" + answers},
        {"\r\n" + std::string(300, '\r') + "Ann\r\n" + body, "Ann|" + answers},
        {carriageReturns, ""},
    };
    for (const auto& [bytes, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes.substr(0, 20)));
        world.writeFile("oldinfo", bytes);
        std::string joined;
        for (const auto& value : loadPreviousAnswers("oldinfo"))
            joined += (value.field == std::string("FIRST_NAME") ? "" : "|") + value.value;
        EXPECT_EQ(joined, expected);
    }
    EXPECT_TRUE(loadPreviousAnswers(".").empty()) << "a folder";
}

} // namespace
