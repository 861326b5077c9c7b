#include "registrant/InformationFile.h"

#include "BuildConfig.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

class InformationFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetProgramState();
        programDirectory = world.programDir().string();
        clock.setToday(1999, 7, 4);
    }

    std::size_t filesInProgramDirectory()
    {
        auto entries = fs::directory_iterator(world.programDir());
        return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
    }

    testsupport::TestWorld world;
    testsupport::FakeClock clock;
};

// The record with only the first name "Ann": 17 line ends before the final "1".
std::string annFile()
{
    return std::string(
               "\r\nAnn\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n123456\r\n\r\n\r\n7/4/1999\r\n") +
           config::productVersion + "\r\nOS: \r\n" + config::productName + "\r\n1";
}

// A reader over bytes that arrive in random small pieces, as from a slow file.
InformationFileReader chunkedReader(const std::string& bytes, unsigned seed = 1)
{
    auto position = std::make_shared<std::size_t>(0);
    auto random = std::make_shared<std::mt19937>(seed);
    return InformationFileReader([=](char* buffer, std::size_t size) {
        std::size_t n = std::min({std::uniform_int_distribution<std::size_t>(1, 7)(*random), size,
                                  bytes.size() - *position});
        std::copy_n(bytes.data() + *position, n, buffer);
        *position += n;
        return n;
    });
}

// The values the loader finds, joined by "|".
std::string loaded(const std::string& bytes)
{
    InformationFileReader reader = chunkedReader(bytes);
    std::string joined;
    bool first = true;
    for (const auto& value : loadPreviousAnswers(reader)) {
        joined += (first ? "" : "|") + value.value;
        first = false;
    }
    return joined;
}

TEST_F(InformationFileTest, WritesTheRecordByteForByteAndReplacesTheOldFile)
{
    registrantRecord().firstname = "Ann";
    registrantRecord().serialnumber = 999; // the file always says 123456 and ends in 1
    ASSERT_TRUE(WriteInformationFile());
    EXPECT_EQ(world.readFile("oldinfo"), annFile());

    // Counter lines that the modem channel appended go with the next save.
    world.writeFile("oldinfo", annFile() + "\n1\n2");
    ASSERT_TRUE(WriteInformationFile());
    EXPECT_EQ(world.readFile("oldinfo"), annFile());
    EXPECT_EQ(filesInProgramDirectory(), 1u) << "no temporary file stays behind";
}

TEST_F(InformationFileTest, AFailedWriteLeavesTheOldFileAsItWas)
{
    const std::string old = "\r\nOld\r\nfile";
    struct Case
    {
        const char* name;
        std::function<void()> prepare;
    } cases[] = {
        {"read-only oldinfo",
         [] {
             fs::permissions("oldinfo", fs::perms(0444));
         }},
        {"oldinfo is a folder",
         [] {
             fs::remove("oldinfo");
             fs::create_directory("oldinfo");
         }},
        {"program directory gone",
         [&] {
             programDirectory = world.root() / "gone";
         }},
        {"read-only program directory",
         [&] {
             fs::permissions(world.programDir(), fs::perms(0555));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Root writes into a read-only folder regardless.
        if (c.name == std::string("read-only program directory") && ::geteuid() == 0)
            continue;
        world.writeFile("oldinfo", old);
        c.prepare();
        EXPECT_FALSE(WriteInformationFile());
        if (fs::is_regular_file("oldinfo")) {
            EXPECT_EQ(world.readFile("oldinfo"), old);
        }
        EXPECT_EQ(filesInProgramDirectory(), 1u);
        fs::permissions(world.programDir(), fs::perms(0755));
        fs::permissions("oldinfo", fs::perms(0644));
        fs::remove_all("oldinfo");
        programDirectory = world.programDir().string();
    }
}

TEST(InformationLineTest, ReadsLinesAsTheTextModeRuntimeDid)
{
    const std::string x199(199, 'x');
    struct Case
    {
        std::string bytes;
        std::string lines; // up to the end of the file, joined by "|"
    } cases[] = {
        {"a\r\nb\nc", "a|b|c"},
        {"a\r\n", "a|"},
        {"", ""},
        {"a\rb\rc\r", "abc"}, // carriage returns alone end no line
        {"a\r\nb\x1A\r\nc\r\n", "a|b"},
        {std::string("A\0nn\r\nx", 7), "A|x"},
        {x199 + "\r\ny", x199 + "|y"},
        {x199 + "LOST\r\ny", x199 + "|y"},
        {std::string(10000, 'x') + "\nnext", x199 + "|next"},
        {std::string(300, '\r') + "ok\n", "ok|"},
    };
    for (const auto& c : cases) {
        for (unsigned seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::PrintToString(c.bytes.substr(0, 20)) + " seed " +
                         std::to_string(seed));
            InformationFileReader reader = chunkedReader(c.bytes, seed);
            std::string lines(ReadInformationLine(reader));
            while (!reader.atEnd() && lines.size() < 20000)
                lines += "|" + std::string(ReadInformationLine(reader));
            EXPECT_EQ(lines, c.lines);
            EXPECT_EQ(ReadInformationLine(reader), "") << "the end stays the end";
        }
    }
}

TEST(InformationLoaderTest, MapsLinesOntoTheFormsFields)
{
    const std::string tail =
        "\r\n(555) 123-4567\r\nUSA\r\nann@example.com\r\n123456\r\nShop\r\n"
        "Referral.\r\n7/4/1999\r\n6.993\r\nOS: Unknown\r\nPantrix Morsels\r\n1";
    const std::string body = "Smith\r\n1 Main\r\nCity\r\nIL\r\n62701" + tail;
    const std::string answers =
        "Smith|1 Main|City|IL|62701|(555) 123-4567|USA|ann@example.com|Shop";
    const std::string shifted = "Ann|Smith|1 Main|City|IL|62701|(555) 123-4567|USA|123456";
    const std::string zeroByte("\r\nA\0nn\r\n", 8);
    std::string lineFeeds = "\r\nAnn\r\n" + body;
    lineFeeds.erase(std::remove(lineFeeds.begin(), lineFeeds.end(), '\r'), lineFeeds.end());
    std::string carriageReturns = "\r\nAnn\r\n" + body;
    std::replace(carriageReturns.begin(), carriageReturns.end(), '\n', '\r');

    struct Case
    {
        const char* name;
        std::string bytes;
        std::string answers; // joined by "|"
    } cases[] = {
        {"as written", "\r\nAnn\r\n" + body, "Ann|" + answers},
        {"counter lines appended", "\r\nAnn\r\n" + body + "\n1\n2", "Ann|" + answers},
        {"bare line feeds", lineFeeds, "Ann|" + answers},
        {"no empty first line", "Ann\r\n" + body, "Ann|" + answers},
        {"digit line before the first name", "\r\n3\r\nAnn\r\n" + body, "Ann|" + answers},
        {"digit lines 0 to 4", "\r\n0\r\n4\r\n1\r\nAnn\r\n" + body, "Ann|" + answers},
        {"two empty lines shift by one", "\r\n\r\nAnn\r\n" + body, "|" + shifted},
        {"5 is a first name", "\r\n5\r\nAnn\r\n" + body, "5|" + shifted},
        {"00 is a first name", "\r\n00\r\nAnn\r\n" + body, "00|" + shifted},
        {"only the empty first line", "\r\n", ""},
        {"empty file", "", ""},
        {"first name without line end", "\r\nAnn", ""},
        {"digit lines up to the end", "\r\n1\r\n2\r\n", ""},
        {"cut short", "\r\nAnn\r\nSmith", "Ann|Smith|||||||"}, // COUNTRY keeps its preset
        {"Ctrl-Z", "\r\nAnn\r\nSm\x1Aith\r\n" + body, "Ann|Sm|||||||"},
        {"zero byte", zeroByte + body, "A|" + answers},
        {"10,000-character line", "\r\n" + std::string(10000, 'n') + "\r\n" + body,
         std::string(199, 'n') + "|" + answers},
        {"carriage returns alone make one line", carriageReturns, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(loaded(c.bytes), c.answers);
    }

    // Any bytes at all: no crash, no value beyond the line buffer.
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(0, 3000)(random), '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random() % (round % 2 ? 256 : 16));
        InformationFileReader any = chunkedReader(bytes);
        for (const auto& value : loadPreviousAnswers(any))
            EXPECT_LT(value.value.size(), InformationFileReader::lineBufferSize);
    }
}

TEST_F(InformationFileTest, LoadingReadsTheFileWithoutChangingIt)
{
    EXPECT_TRUE(loadPreviousAnswers("oldinfo").empty()) << "no file";
    fs::create_directory("folder");
    EXPECT_TRUE(loadPreviousAnswers("folder").empty());

    registrantRecord().firstname = "Ann";
    registrantRecord().purchasedfrom = "Shop";
    ASSERT_TRUE(WriteInformationFile());
    world.writeFile("oldinfo", world.readFile("oldinfo") + "\n1");
    fs::permissions("oldinfo", fs::perms(0444));
    const std::string before = world.readFile("oldinfo");
    const auto modified = fs::last_write_time("oldinfo");
    auto values = loadPreviousAnswers("oldinfo");
    ASSERT_EQ(values.size(), 9u) << "an empty COUNTRY keeps the preset";
    EXPECT_EQ(values.front(), (FieldValue{"FIRST_NAME", "Ann"}));
    EXPECT_EQ(values.back(), (FieldValue{"PURCHASED_FROM", "Shop"}));
    EXPECT_EQ(world.readFile("oldinfo"), before);
    EXPECT_EQ(fs::last_write_time("oldinfo"), modified);
}

} // namespace
