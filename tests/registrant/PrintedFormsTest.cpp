#include "registrant/PrintedForms.h"

#include "BuildConfig.h"
#include "registrant/PageLayout.h"
#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"
#include "ui/framework/Ansi.h"

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <map>

namespace {

using Lines = std::vector<std::pair<int, std::string>>;

Lines linesOf(const PageLayout& page)
{
    Lines lines;
    for (const PageLine& line : page)
        lines.emplace_back(line.number, line.text);
    return lines;
}

ProgramRecord sampleRecord(int sendmailings = 1)
{
    ProgramRecord record;
    RegistrantRecord& r = record.registrant;
    r.firstname = "Zo\xEB";
    r.lastname = "Hern\xE1ndez";
    r.street = "12 Rue de l'\xC9glise";
    r.city = "Montr\351al";
    r.state = "QC";
    r.zip = "H2X 1Y4";
    r.country = "Canada";
    r.email = "zoe@example.com";
    r.phone = "(514) 555-0100";
    r.sendmailings = sendmailings;
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
    page.insert(page.end(), {{greeting, "Dear Zo\xEB, thank you for registering."},
                             {name, "Name:     Zo\xEB         Last:  Hern\xE1ndez"},
                             {name + 1, "Address:  12 Rue de l'\xC9glise"},
                             {name + 2, "City:     Montr\351al"},
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
                             {name + 15, "OS:       Unknown"}});
    return page;
}

TEST(PageLayoutTest, FaxAndMailPagesLineByLineAndPlaced)
{
    const Lines fax = withDetails(
        {{0, std::string("FFFFFF      A      X    X      Please FAX this form to:  ") +
                 config::faxNumber},
         {1, "F          A A      X  X       Or mail it to:"},
         {2, "FFF       A   A      XX             Orlam Enterprises"},
         {3, std::string("F        A AAA A    X  X            ") + config::addressLine1},
         {4, std::string("F       A       A  X    X           ") + config::addressLine2},
         {8, "Please Do Not Send A Cover Page With This Fax.       date: 7/4/1999"},
         {9, std::string(73, '-')}},
        12);
    EXPECT_EQ(linesOf(faxPageLayout(sampleRecord(), independenceDay)), fax);

    const std::string stamp(65, ' '), to(13, ' ');
    Lines mail =
        withDetails({{0, "                   <tape closed...NO STAPLES Please>"},
                     {1, stamp + " -----"},
                     {2, stamp + "|place|"},
                     {3, stamp + "|stamp|"},
                     {4, stamp + "|here |"},
                     {5, stamp + " -----"},
                     {6, "         To,"},
                     {7, to + "Orlam Enterprises"},
                     {8, to + config::addressLine1},
                     {9, to + config::addressLine2},
                     {18, std::string(53, ' ') + "12/25/2024"},
                     {19, std::string(32, '-') + "< fold back here >" + std::string(28, '-')}},
                    21);
    // The fold-in line takes the next free line, with or without the mailing-list line.
    const std::string foldIn = std::string(31, '-') + "< fold in here >" + std::string(31, '-');
    mail.emplace_back(41, foldIn);
    EXPECT_EQ(linesOf(mailPageLayout(sampleRecord(0), {2024, 12, 25})), mail);
    mail.back().second = "I DO NOT want my name put on any other mailing list.";
    mail.emplace_back(42, foldIn);
    EXPECT_EQ(linesOf(mailPageLayout(sampleRecord(), {2024, 12, 25})), mail);

    EXPECT_EQ(lineHeightOf(45, 5), 50) << "the external leading adds to the font's height";
    const auto faxPlaced = placeLines(faxPageLayout(sampleRecord(), independenceDay), 50),
               mailPlaced = placeLines(mailPageLayout(sampleRecord(), independenceDay), 50);
    ASSERT_EQ(faxPlaced.size(), 22u);
    ASSERT_FALSE(mailPlaced.empty());
    EXPECT_EQ(
        std::vector({faxPlaced[0].y, faxPlaced[8].y, faxPlaced.back().y, mailPlaced.back().y}),
        std::vector({0, 800, 1550, 2100})); // FFFFFF, Name:, OS:, fold in
    for (const PlacedLine& line : faxPlaced)
        EXPECT_EQ(line.x, 25);
}

// A line's characters without its blanks, which pdftotext only guesses; ligatures unfolded.
std::string collapsed(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC)
        .remove(QRegularExpression(QStringLiteral("\\s")))
        .toStdString();
}

class PrintedFormsTest : public ::testing::Test
{
protected:
    PrintedFormsTest()
    {
        resetProgramState();
        clock.setToday(1999, 7, 4);
        programRecord = sampleRecord();
    }
    ~PrintedFormsTest() override
    {
        setPrintDialogForTesting({});
        setPrintDialogOwner(nullptr);
        resetProgramState();
    }

    // The dialog done as by a buyer who prints into a PDF file.
    void printInto(const std::filesystem::path& file)
    {
        setPrintDialogForTesting([this, file](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(file.string()));
            printableTop = printer.pageRect(QPrinter::Point).top();
            return true;
        });
    }
    // Each word's top in points from the sheet's top; the rightmost word's right end.
    void readWords()
    {
        const QString boxes =
            QString::fromStdString(testsupport::popplerOutput("pdftotext", {"-bbox", pdf, "-"}));
        width = QRegularExpression("page width=\"([^\"]+)").match(boxes).captured(1).toDouble();
        for (const auto& word :
             QRegularExpression("yMin=\"([^\"]+)\" xMax=\"([^\"]+)\"[^>]*>([^<]+)<")
                 .globalMatch(boxes)) {
            top.try_emplace(word.captured(3).toStdString(), word.captured(1).toDouble());
            right = std::max(right, word.captured(2).toDouble());
        }
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    QString pdf = QString::fromStdString((world.files().root() / "page.pdf").string());
    double printableTop = 0, width = 0, right = 0;
    std::map<std::string, double> top;
};

TEST_F(PrintedFormsTest, BothPagesReachAPdfFileWholeAndInPlace)
{
    registrantRecord().lastname = std::string(149, 'q');
    for (auto [print, layout] :
         {std::pair(&PrintMailForm, &mailPageLayout), std::pair(&PrintFaxForm, &faxPageLayout)}) {
        printInto(pdf.toStdString());
        print();
        std::string expected;
        for (const PageLine& line : layout(programRecord, {1999, 7, 4}))
            expected += collapsed(ui::fromAnsi(line.text));
        EXPECT_EQ(collapsed(QString::fromStdString(
                      testsupport::popplerOutput("pdftotext", {"-layout", pdf, "-"}))),
                  expected);
        EXPECT_THAT(testsupport::popplerOutput("pdfinfo", {pdf}),
                    testing::ContainsRegex("\nPages: +1\n"));
    }
    readWords();
    EXPECT_LE(right, width);
    ASSERT_TRUE(top.count("FFFFFF") && top.count("Name:") && top.count("Address:") &&
                top.count("OS:"));
    const double lineHeight = (top["OS:"] - top["Address:"]) / (31 - 17);
    ASSERT_GT(lineHeight, 0);
    EXPECT_NEAR(top["Name:"] - top["FFFFFF"], 16 * lineHeight, 0.5);
    EXPECT_GE(top["Address:"] - top["Name:"], 1.5 * lineHeight);
    // The position is the top of the text cell, not the baseline.
    EXPECT_NEAR(top["FFFFFF"], printableTop, 0.5);
}

TEST_F(PrintedFormsTest, CancelledOrFailedPrintingIsNotSentAndSaysSo)
{
    // A cancelled dialog is the flow's test; here the file cannot be made.
    const auto missing = world.files().root() / "no such folder" / "fax.pdf";
    printInto(missing);
    ui::ScriptedUser user;
    user.answer("Error!", "OK");
    PrintFaxForm();
    EXPECT_THAT(testsupport::boxesSeen(user), testing::ElementsAre("Error! | Unable to print."));
    EXPECT_EQ(registrationSent, 0);
    // The real dialog belongs to the owner; the buyer presses Escape once it is up.
    QWidget owner;
    setPrintDialogOwner(&owner);
    setPrintDialogForTesting({});
    QWidget* dialogParent = nullptr;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
            dialogParent = dialog->parentWidget();
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
    poll.start(50);
    user.answer("Error!", "OK");
    PrintMailForm();
    EXPECT_EQ(dialogParent, &owner);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 0);
}

} // namespace
