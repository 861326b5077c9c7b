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
        RegistrantRecord& r = registrantRecord();
        r.firstname = "Ren\xE9";
        r.lastname = "Fa\xDF";
        r.phone = "(217) 555-0100";
        r.sendmailings = 1;
    }
    ~PrintedFormsTest() override
    {
        setPrintDialogForTesting({});
        setPrintDialogOwner(nullptr);
        resetProgramState();
    }

    // The dialog's part done as a buyer who chooses to print into a PDF file would.
    void printInto(const std::filesystem::path& pdf)
    {
        setPrintDialogForTesting([this, pdf](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf.string()));
            printableTop = printer.pageRect(QPrinter::Point).top();
            return true;
        });
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    double printableTop = 0;
};

TEST_F(PrintedFormsTest, BothPagesReachAPdfFileLineByLineAndInPlace)
{
    for (auto [print, layout] :
         {std::pair(&PrintFaxForm, &faxPageLayout), std::pair(&PrintMailForm, &mailPageLayout)}) {
        registrationSent = 0;
        const QString pdf = QString::fromStdString((world.files().root() / "page.pdf").string());
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
        if (print != &PrintFaxForm)
            continue;
        // The top of each word, in points from the top of the sheet.
        const std::string boxes = testsupport::popplerOutput("pdftotext", {"-bbox", pdf, "-"});
        std::map<std::string, double> top;
        const QRegularExpression word(
            "<word xMin=\"[^\"]+\" yMin=\"([^\"]+)\"[^>]*>([^<]+)</word>");
        for (const auto& match : word.globalMatch(QString::fromStdString(boxes)))
            top.try_emplace(match.captured(2).toStdString(), match.captured(1).toDouble());
        ASSERT_TRUE(top.count("FFFFFF") && top.count("Name:") && top.count("OS:")) << boxes;
        const double lineHeight = (top["OS:"] - top["Name:"]) / (31 - 16);
        ASSERT_GT(lineHeight, 0);
        EXPECT_NEAR(top["Name:"] - top["FFFFFF"], 16 * lineHeight, 0.5);
        // The position is the top of the text cell, not the baseline.
        EXPECT_NEAR(top["FFFFFF"], printableTop, lineHeight / 4);
    }
}

TEST_F(PrintedFormsTest, CancelledOrFailedPrintingIsNotSentAndSaysSo)
{
    const auto pdf = world.files().root() / "no such folder" / "fax.pdf";
    for (bool cancelled : {true, false}) {
        if (cancelled)
            setPrintDialogForTesting([](QPrinter&) { return false; });
        else
            printInto(pdf);
        ui::ScriptedUser user;
        user.answer("Error!", "OK");
        PrintFaxForm();
        EXPECT_THAT(testsupport::boxesSeen(user),
                    testing::ElementsAre("Error! | Unable to print."));
        EXPECT_EQ(registrationSent, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(pdf));
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
    ui::ScriptedUser user;
    user.answer("Error!", "OK");
    PrintMailForm();
    EXPECT_EQ(dialogParent, &owner);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 0);
}

} // namespace
