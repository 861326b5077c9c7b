#include "registrant/PageLayout.h"

#include "BuildConfig.h"
#include "ui/Format.h"

#include <algorithm>
#include <string_view>

namespace {

// The banner is drawn by rows of letters and blanks: each run is some letters followed by
// some blanks. Kept as runs rather than as finished strings so that the blank counts, which
// decide where the text column starts, stay readable.
struct BannerRun
{
    const char* letters;
    int blanks;
};

const std::vector<std::vector<BannerRun>>& bannerRuns()
{
    static const std::vector<std::vector<BannerRun>> rows = {
        {{"FFFFFF", 6}, {"A", 6}, {"X", 4}, {"X", 6}},
        {{"F", 10}, {"A", 1}, {"A", 6}, {"X", 2}, {"X", 7}},
        {{"FFF", 7}, {"A", 3}, {"A", 6}, {"XX", 13}},
        {{"F", 8}, {"A", 1}, {"AAA", 1}, {"A", 4}, {"X", 2}, {"X", 12}},
        {{"F", 7}, {"A", 7}, {"A", 2}, {"X", 4}, {"X", 11}},
    };
    return rows;
}

std::string blanks(int count)
{
    return std::string(static_cast<std::size_t>(count), ' ');
}

std::string date(const platform::Date& day)
{
    return ui::format("%d/%d/%d", day.month, day.day, day.year);
}

// The greeting and the registrant's details, the same on both pages; only where they start
// differs. Each label with its blanks fills ten characters (the purchase labels twenty), so
// that the values stand in one column.
void addDetails(PageLayout& page, int greetingLine, const ProgramRecord& record)
{
    const RegistrantRecord& r = record.registrant;
    const int first = greetingLine + 4;
    page.push_back(
        {greetingLine, ui::format("Dear %s, thank you for registering.", r.firstname.c_str()), 5});
    page.push_back(
        {first,
         ui::format("Name:     %s         Last:  %s", r.firstname.c_str(), r.lastname.c_str()),
         10});
    page.push_back({first + 1, ui::format("Address:  %s", r.street.c_str()), 10});
    page.push_back({first + 2, ui::format("City:     %s", r.city.c_str()), 10});
    page.push_back({first + 3, ui::format("State:    %s", r.state.c_str()), 10});
    page.push_back({first + 4, ui::format("Zip:      %s", r.zip.c_str()), 10});
    page.push_back({first + 5, ui::format("Country:  %s", r.country.c_str()), 10});
    page.push_back({first + 7, ui::format("Phone:    %s", r.phone.c_str()), 10});
    page.push_back({first + 8, ui::format("Email:    %s", r.email.c_str()), 10});
    page.push_back({first + 10, ui::format("Product:  %s", config::productName), 10});
    page.push_back({first + 11, ui::format("Version:  %s", config::productVersion), 10});
    page.push_back(
        {first + 12, ui::format("Serial No:%ld", static_cast<long>(r.serialnumber)), 10});
    page.push_back({first + 13, ui::format("Where Purchased:    %s", r.purchasedfrom.c_str()), 20});
    page.push_back(
        {first + 14, ui::format("Reason Purchased:   %s", r.reasonpurchased.c_str()), 20});
    page.push_back({first + 15, ui::format("OS:       %s", record.settings.osName.c_str()), 10});
}

} // namespace

std::vector<std::string> faxBannerRows()
{
    std::vector<std::string> rows;
    for (const auto& runs : bannerRuns()) {
        std::string row;
        for (const BannerRun& run : runs)
            row += run.letters + blanks(run.blanks);
        rows.push_back(std::move(row));
    }
    return rows;
}

PageLayout faxPageLayout(const ProgramRecord& record, const platform::Date& today)
{
    const std::vector<std::string> banner = faxBannerRows();
    // Each banner row and the text beside it are one line, drawn in one piece.
    PageLayout page = {
        {0, banner[0] + "Please FAX this form to:  " + config::faxNumber},
        {1, banner[1] + "Or mail it to:"},
        {2, banner[2] + "Orlam Enterprises"},
        {3, banner[3] + config::addressLine1},
        {4, banner[4] + config::addressLine2},
        {8, "Please Do Not Send A Cover Page With This Fax." + blanks(7) + "date: " + date(today)},
        {9, std::string(73, '-')},
    };
    addDetails(page, 12, record);
    return page;
}

PageLayout mailPageLayout(const ProgramRecord& record, const platform::Date& today)
{
    // The top half is the outside of the folded mailer: stamp box and the maker's address.
    PageLayout page = {
        {0, blanks(19) + "<tape closed...NO STAPLES Please>"},
        {1, blanks(66) + "-----"},
        {2, blanks(65) + "|place|"},
        {3, blanks(65) + "|stamp|"},
        {4, blanks(65) + "|here |"},
        {5, blanks(66) + "-----"},
        {6, blanks(9) + "To,"},
        {7, blanks(13) + "Orlam Enterprises"},
        {8, blanks(13) + config::addressLine1},
        {9, blanks(13) + config::addressLine2},
        {18, blanks(53) + date(today)},
        {19, std::string(32, '-') + "< fold back here >" + std::string(28, '-')},
    };
    addDetails(page, 21, record);
    int next = 41;
    if (record.registrant.sendmailings != 0)
        page.push_back({next++, "I DO NOT want my name put on any other mailing list."});
    page.push_back({next, std::string(31, '-') + "< fold in here >" + std::string(31, '-')});
    return page;
}

std::int16_t lineHeightOf(int fontHeight, int externalLeading)
{
    return static_cast<std::int16_t>(fontHeight + externalLeading);
}

std::vector<PlacedLine> placeLines(const PageLayout& page, std::int16_t lineHeight,
                                   std::size_t columns)
{
    columns = std::max<std::size_t>(columns, 1);
    std::vector<PlacedLine> placed;
    placed.reserve(page.size());
    int movedDown = 0;
    for (const PageLine& line : page) {
        // On a page too narrow even for that, a continuation starts at the margin.
        const std::size_t indent = line.valueColumn < columns / 2 ? line.valueColumn : 0;
        std::string_view rest = line.text;
        std::string lead;
        for (;;) {
            const std::size_t room = columns - lead.size();
            std::size_t cut = rest.size();
            if (cut > room) {
                // A break in the label would leave the label alone on its line.
                const std::size_t blank = rest.substr(0, room + 1).find_last_of(' ');
                cut =
                    blank != std::string_view::npos && lead.size() + blank > indent ? blank : room;
            }
            placed.push_back({pageLeftMargin, (line.number + movedDown) * lineHeight,
                              lead + std::string(rest.substr(0, cut))});
            rest.remove_prefix(cut);
            rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(' ')));
            if (rest.empty())
                break;
            ++movedDown;
            lead.assign(indent, ' ');
        }
    }
    return placed;
}
