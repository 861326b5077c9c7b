#include "registrant/PageLayout.h"

#include "BuildConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::pair<int, std::string>>;

Lines linesOf(const PageLayout& page)
{
    Lines lines;
    for (const PageLine& line : page)
        lines.emplace_back(line.number, line.text);
    return lines;
}

std::string repeat(char c, int count)
{
    return std::string(static_cast<std::size_t>(count), c);
}

// A buyer as the form leaves the record: names with letters outside ASCII (as their
// Windows-1252 bytes), the serial number and mailing-list flag the form sets.
ProgramRecord sampleRecord()
{
    ProgramRecord record;
    RegistrantRecord& r = record.registrant;
    r.firstname = "Zo\xEB";
    r.lastname = "Hern\xE1ndez";
    r.street = "12 Rue de l'\xC9glise";
    r.city = "Montr\xE9"
             "al";
    r.state = "QC";
    r.zip = "H2X 1Y4";
    r.country = "Canada";
    r.email = "zoe@example.com";
    r.phone = "(514) 555-0100";
    r.sendmailings = 1;
    r.serialnumber = 123456;
    r.purchasedfrom = "Corner Shop";
    r.reasonpurchased = "Gift";
    record.settings.osName = "Unknown";
    return record;
}

const platform::Date independenceDay{1999, 7, 4};

// The details block as both pages print it for sampleRecord(), from the greeting line on.
Lines sampleDetails(int greeting)
{
    const int name = greeting + 4;
    return {
        {greeting, "Dear Zo\xEB, thank you for registering."},
        {name, "Name:     Zo\xEB         Last:  Hern\xE1ndez"},
        {name + 1, "Address:  12 Rue de l'\xC9glise"},
        {name + 2, "City:     Montr\xE9"
                   "al"},
        {name + 3, "State:    QC"},
        {name + 4, "Zip:      H2X 1Y4"},
        {name + 5, "Country:  Canada"},
        {name + 7, "Phone:    (514) 555-0100"},
        {name + 8, "Email:    zoe@example.com"},
        {name + 10, std::string("Product:  ") + config::productName},
        {name + 11, std::string("Version:  ") + config::productVersion},
        {name + 12, "Serial No:123456"},
        {name + 13, "Where Purchased:    Corner Shop"},
        {name + 14, "Reason Purchased:   Gift"},
        {name + 15, "OS:       Unknown"},
    };
}

Lines operator+(Lines head, const Lines& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(PageLayoutTest, FaxBannerRowsHaveTheirWidthsAndSpellFax)
{
    const std::vector<std::string> rows = faxBannerRows();
    EXPECT_THAT(rows, testing::ElementsAre("FFFFFF      A      X    X      ",
                                           "F          A A      X  X       ",
                                           "FFF       A   A      XX             ",
                                           "F        A AAA A    X  X            ",
                                           "F       A       A  X    X           "));
    const std::size_t widths[] = {31, 31, 36, 36, 36};
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].size(), widths[i]) << "row " << i + 1;
}

TEST(PageLayoutTest, FaxPageLineByLine)
{
    const std::vector<std::string> banner = faxBannerRows();
    const Lines expected =
        Lines{
            {0, banner[0] + "Please FAX this form to:  " + config::faxNumber},
            {1, banner[1] + "Or mail it to:"},
            {2, banner[2] + "Orlam Enterprises"},
            {3, banner[3] + config::addressLine1},
            {4, banner[4] + config::addressLine2},
            {8, "Please Do Not Send A Cover Page With This Fax.       date: 7/4/1999"},
            {9, repeat('-', 73)},
        } +
        sampleDetails(12);
    EXPECT_EQ(linesOf(faxPageLayout(sampleRecord(), independenceDay)), expected);
}

TEST(PageLayoutTest, MailPageLineByLine)
{
    const Lines outside = {
        {0, "                   <tape closed...NO STAPLES Please>"},
        {1, repeat(' ', 66) + "-----"},
        {2, repeat(' ', 65) + "|place|"},
        {3, repeat(' ', 65) + "|stamp|"},
        {4, repeat(' ', 65) + "|here |"},
        {5, repeat(' ', 66) + "-----"},
        {6, "         To,"},
        {7, "             Orlam Enterprises"},
        {8, std::string("             ") + config::addressLine1},
        {9, std::string("             ") + config::addressLine2},
        {18, repeat(' ', 53) + "12/25/2024"},
        {19, repeat('-', 32) + "< fold back here >" + repeat('-', 28)},
    };
    const std::string foldIn = repeat('-', 31) + "< fold in here >" + repeat('-', 31);
    const platform::Date christmas{2024, 12, 25};
    ProgramRecord record = sampleRecord();

    // The mailing-list line is printed only for a buyer who asked for it; the fold-in line
    // takes the next free line either way.
    const Lines mailingList = {{41, "I DO NOT want my name put on any other mailing list."},
                               {42, foldIn}};
    EXPECT_EQ(linesOf(mailPageLayout(record, christmas)),
              outside + sampleDetails(21) + mailingList);
    record.registrant.sendmailings = 0;
    const Lines noMailingList = {{41, foldIn}};
    EXPECT_EQ(linesOf(mailPageLayout(record, christmas)),
              outside + sampleDetails(21) + noMailingList);
}

TEST(PageLayoutTest, EmptyAndFullFieldsArePrintedAsTheyAre)
{
    struct Case
    {
        int lineOnFax;
        std::string empty; // the line for a record with nothing filled in
        std::string full;  // the line for a record filled to every field's capacity
    };
    const std::string a74 = repeat('a', 74), b149 = repeat('b', 149);
    const Case cases[] = {
        {12, "Dear , thank you for registering.", "Dear " + a74 + ", thank you for registering."},
        {16, "Name:              Last:  ", "Name:     " + a74 + "         Last:  " + b149},
        {17, "Address:  ", "Address:  " + b149},
        {18, "City:     ", "City:     " + a74},
        {21, "Country:  ", "Country:  " + b149},
        {23, "Phone:    ", "Phone:    " + b149},
        {28, "Serial No:0", "Serial No:123456"},
        {29, "Where Purchased:    ", "Where Purchased:    " + a74},
        {30, "Reason Purchased:   ", "Reason Purchased:   " + a74},
        {31, "OS:       ", "OS:       " + a74},
    };

    ProgramRecord full;
    RegistrantRecord& r = full.registrant;
    r.firstname = r.city = r.state = r.zip = r.email = a74;
    r.purchasedfrom = r.reasonpurchased = a74;
    r.lastname = r.street = r.country = r.phone = b149;
    r.serialnumber = 123456;
    full.settings.osName = a74;

    auto lineOf = [](const PageLayout& page, int number) {
        for (const PageLine& line : page) {
            if (line.number == number)
                return line.text;
        }
        return std::string("(no line)");
    };
    const PageLayout emptyPage = faxPageLayout(ProgramRecord(), independenceDay);
    const PageLayout fullPage = faxPageLayout(full, independenceDay);
    for (const Case& c : cases) {
        EXPECT_EQ(lineOf(emptyPage, c.lineOnFax), c.empty) << "line " << c.lineOnFax;
        EXPECT_EQ(lineOf(fullPage, c.lineOnFax), c.full) << "line " << c.lineOnFax;
    }
    EXPECT_EQ(lineOf(fullPage, 16).size(), 249u) << "longer than 151 characters, yet whole";
}

TEST(PageLayoutTest, LinesArePlacedByLineNumberAndLineHeight)
{
    const std::int16_t lineHeight = lineHeightOf(50, 0);
    ASSERT_EQ(lineHeight, 50);

    auto yOf = [](const std::vector<PlacedLine>& placed, std::string_view start) {
        for (const PlacedLine& line : placed) {
            EXPECT_EQ(line.x, 25);
            if (line.text.starts_with(start))
                return line.y;
        }
        return -1;
    };
    const auto fax = placeLines(faxPageLayout(sampleRecord(), independenceDay), lineHeight);
    EXPECT_EQ(yOf(fax, "Name:"), 800);
    EXPECT_EQ(yOf(fax, "OS:"), 1550);
    EXPECT_EQ(yOf(fax, "FFFFFF"), 0);
    const auto mail = placeLines(mailPageLayout(sampleRecord(), independenceDay), lineHeight);
    EXPECT_EQ(yOf(mail, "-------------------------------< fold in"), 2100);

    EXPECT_EQ(lineHeightOf(45, 5), 50) << "the external leading adds to the font's height";
}

} // namespace
