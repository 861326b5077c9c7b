#pragma once

// The two printed pages as data, apart from drawing them: each page is the list of its
// non-empty lines, by line number, as Windows-1252 text. The printer code only places them:
// every line at x = 25 device units and y = line number x line height, where the line height
// comes from the printer's default font. A line longer than the page is wide continues on the
// next line, under the column where its value starts, and the lines after it move down; the
// lines that fit stay exactly where they are.

#include "platform/Clock.h"
#include "registrant/ProgramRecord.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PageLine
{
    int number = 0;
    std::string text; // Windows-1252
    // Where the line's value starts: the column under which a line too long for the page
    // continues.
    std::size_t valueColumn = 0;
};

using PageLayout = std::vector<PageLine>;

// The five rows of the block-letter "FAX" banner at the head of the fax page, with the blanks
// that put the text column of each row right after the letters.
std::vector<std::string> faxBannerRows();

// The page the buyer faxes (or mails) to the maker, dated today.
PageLayout faxPageLayout(const ProgramRecord& record, const platform::Date& today);
// The page the buyer folds and tapes into a self-mailer, dated today.
PageLayout mailPageLayout(const ProgramRecord& record, const platform::Date& today);

// Every line starts this far from the left edge of the printable area, in device units.
inline constexpr int pageLeftMargin = 25;

// The height of one printed line from the font's height and external leading, in device
// units. It is kept as a 16-bit signed value, as the text metrics of the printer give it.
std::int16_t lineHeightOf(int fontHeight, int externalLeading);

// A line where the printer draws it: (x, y) is the top left corner of its text cell.
struct PlacedLine
{
    int x = 0;
    int y = 0;
    std::string text; // Windows-1252
};

// Places the lines of a page on which columns characters fit in a line after the margin
// (the font has fixed pitch). A longer line is broken at its last blank that fits, or where
// it must, and continues on the following lines; every later line moves down with it.
std::vector<PlacedLine> placeLines(const PageLayout& page, std::int16_t lineHeight,
                                   std::size_t columns = SIZE_MAX);
