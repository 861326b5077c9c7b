#include "registrant/PrintedForms.h"

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
        registrantRecord().firstname = "Ren\xE9";
        registrantRecord().sendmailings = 1;
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
    // Each word's top in points from the sheet's top; the rightmost word's right end; all text.
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
            words += word.captured(3).toStdString();
        }
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    QString pdf = QString::fromStdString((world.files().root() / "page.pdf").string());
    double printableTop = 0, width = 0, right = 0;
    std::map<std::string, double> top;
    std::string words;
};

TEST_F(PrintedFormsTest, BothPagesReachAPdfFileLineByLineAndInPlace)
{
    for (auto [print, layout] :
         {std::pair(&PrintMailForm, &mailPageLayout), std::pair(&PrintFaxForm, &faxPageLayout)}) {
        registrationSent = 0;
        printInto(pdf.toStdString());
        print();
        EXPECT_EQ(registrationSent, 1);
        std::vector<std::string> expected, printed;
        for (const PageLine& line : layout(programRecord, {1999, 7, 4}))
            expected.push_back(collapsed(ui::fromAnsi(line.text)));
        for (const QString& line :
             QString::fromStdString(testsupport::popplerOutput("pdftotext", {"-layout", pdf, "-"}))
                 .split('\n'))
            if (!collapsed(line).empty())
                printed.push_back(collapsed(line));
        EXPECT_EQ(printed, expected);
        EXPECT_THAT(testsupport::popplerOutput("pdfinfo", {pdf}),
                    testing::ContainsRegex("\nPages: +1\n"));
    }
    readWords();
    ASSERT_TRUE(top.count("FFFFFF") && top.count("Name:") && top.count("OS:"));
    const double lineHeight = (top["OS:"] - top["Name:"]) / (31 - 16);
    ASSERT_GT(lineHeight, 0);
    EXPECT_NEAR(top["Name:"] - top["FFFFFF"], 16 * lineHeight, 0.5);
    // The position is the top of the text cell, not the baseline.
    EXPECT_NEAR(top["FFFFFF"], printableTop, lineHeight / 4);
}

// A 249-character name line continues under its value, nothing lost; the lines after move down.
TEST_F(PrintedFormsTest, LineTooLongForTheSheetContinuesUnderItsValue)
{
    registrantRecord().firstname = std::string(74, 'F');
    registrantRecord().lastname = std::string(149, 'q');
    printInto(pdf.toStdString());
    PrintFaxForm();
    readWords();
    EXPECT_LE(right, width);
    EXPECT_EQ(std::count(words.begin(), words.end(), 'q'), 149);
    const double lineHeight = top["City:"] - top["Address:"];
    EXPECT_GE(top["Address:"] - top["Name:"], 1.5 * lineHeight);
    EXPECT_GT(width, lineHeight);
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
    EXPECT_FALSE(std::filesystem::exists(missing));
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
