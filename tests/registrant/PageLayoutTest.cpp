#include "registrant/PageLayout.h"

#include "BuildConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::pair<int, std::string>>;

Lines linesOf(const PageLayout& page)
{
    Lines lines;
    for (const PageLine& line : page)
        lines.emplace_back(line.number, line.text);
    return lines;
}

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

// The page's head, then the details both pages print for sampleRecord() from the greeting on.
Lines withDetails(Lines page, int greeting)
{
    const int name = greeting + 4;
    page.insert(page.end(), {
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
                            });
    return page;
}

TEST(PageLayoutTest, FaxAndMailPagesLineByLine)
{
    const Lines fax = withDetails(
        {
            {0, std::string("FFFFFF      A      X    X      Please FAX this form to:  ") +
                    config::faxNumber},
            {1, "F          A A      X  X       Or mail it to:"},
            {2, "FFF       A   A      XX             Orlam Enterprises"},
            {3, std::string("F        A AAA A    X  X            ") + config::addressLine1},
            {4, std::string("F       A       A  X    X           ") + config::addressLine2},
            {8, "Please Do Not Send A Cover Page With This Fax.       date: 7/4/1999"},
            {9, std::string(73, '-')},
        },
        12);
    EXPECT_EQ(linesOf(faxPageLayout(sampleRecord(), independenceDay)), fax);

    Lines mail = withDetails(
        {
            {0, "                   <tape closed...NO STAPLES Please>"},
            {1, std::string(66, ' ') + "-----"},
            {2, std::string(65, ' ') + "|place|"},
            {3, std::string(65, ' ') + "|stamp|"},
            {4, std::string(65, ' ') + "|here |"},
            {5, std::string(66, ' ') + "-----"},
            {6, "         To,"},
            {7, "             Orlam Enterprises"},
            {8, std::string("             ") + config::addressLine1},
            {9, std::string("             ") + config::addressLine2},
            {18, std::string(53, ' ') + "12/25/2024"},
            {19, std::string(32, '-') + "< fold back here >" + std::string(28, '-')},
        },
        21);
    const std::string foldIn = std::string(31, '-') + "< fold in here >" + std::string(31, '-');
    const platform::Date christmas{2024, 12, 25};
    ProgramRecord record = sampleRecord();

    // The fold-in line takes the next free line, with or without the mailing-list line.
    mail.emplace_back(41, foldIn);
    record.registrant.sendmailings = 0;
    EXPECT_EQ(linesOf(mailPageLayout(record, christmas)), mail);
    mail.back().second = "I DO NOT want my name put on any other mailing list.";
    mail.emplace_back(42, foldIn);
    record.registrant.sendmailings = 1;
    EXPECT_EQ(linesOf(mailPageLayout(record, christmas)), mail);
}

TEST(PageLayoutTest, LinesArePlacedByLineNumberAndLineHeight)
{
    EXPECT_EQ(lineHeightOf(45, 5), 50) << "the external leading adds to the font's height";
    const auto fax = placeLines(faxPageLayout(sampleRecord(), independenceDay), 50),
               mail = placeLines(mailPageLayout(sampleRecord(), independenceDay), 50);
    ASSERT_EQ(fax.size(), 22u);
    ASSERT_FALSE(mail.empty());
    EXPECT_EQ(std::vector({fax[0].y, fax[8].y, fax.back().y, mail.back().y}),
              std::vector({0, 800, 1550, 2100})); // FFFFFF, Name:, OS:, fold in
    for (const PlacedLine& line : fax)
        EXPECT_EQ(line.x, 25);
}

} // namespace
