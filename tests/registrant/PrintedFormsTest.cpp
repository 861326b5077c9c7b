#include "registrant/PrintedForms.h"

#include "registrant/PageLayout.h"
#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"
#include "ui/framework/Ansi.h"
#include "ui/testing/ScriptedUser.h"

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// The output of a poppler tool; fails the test when the tool fails.
std::string popplerOutput(const char* tool, const QStringList& arguments)
{
    QProcess process;
    process.start(QString::fromLatin1(tool), arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << tool;
    EXPECT_EQ(process.exitCode(), 0) << tool << ": " << process.readAllStandardError().data();
    return process.readAllStandardOutput().toStdString();
}

// A line's characters without its blanks, which pdftotext only guesses; ligatures unfolded.
std::string collapsed(const QString& text)
{
    QString characters = text.normalized(QString::NormalizationForm_KC);
    characters.remove(QRegularExpression(QStringLiteral("\\s")));
    return characters.toStdString();
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
        r.email = "rene@example.com";
        r.phone = "(217) 555-0100";
        r.sendmailings = 1;
        r.purchasedfrom = "Caf\xE9 Books";
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
        const std::string name = print == &PrintFaxForm ? "fax.pdf" : "mail.pdf";
        SCOPED_TRACE(name);
        const QString pdf = QString::fromStdString((world.files().root() / name).string());
        printInto(pdf.toStdString());
        print();
        EXPECT_EQ(registrationSent, 1);

        std::vector<std::string> expected, printed;
        for (const PageLine& line : layout(programRecord, {1999, 7, 4}))
            expected.push_back(collapsed(ui::fromAnsi(line.text)));
        const QString text =
            QString::fromStdString(popplerOutput("pdftotext", {"-layout", pdf, "-"}));
        for (const QString& line : text.split('\n')) {
            if (!collapsed(line).empty())
                printed.push_back(collapsed(line));
        }
        EXPECT_EQ(printed, expected);
        EXPECT_TRUE(QString::fromStdString(popplerOutput("pdfinfo", {pdf}))
                        .contains(QRegularExpression("^Pages:\\s+1$",
                                                     QRegularExpression::MultilineOption)));
        if (print != &PrintFaxForm)
            continue;

        // The top of each word, in points from the top of the sheet.
        const std::string boxes = popplerOutput("pdftotext", {"-bbox", pdf, "-"});
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

TEST_F(PrintedFormsTest, CancelledDialogOrUnstartableDocumentPrintsNothingAndSaysSo)
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
        EXPECT_TRUE(user.finished());
        EXPECT_EQ(user.sightings().at(0).text, "Unable to print.");
        EXPECT_EQ(registrationSent, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST_F(PrintedFormsTest, RealPrintDialogBelongsToTheOwnerAndCanBeCancelled)
{
    QWidget owner;
    setPrintDialogOwner(&owner);
    QWidget* dialogParent = nullptr;
    QTimer poll; // the buyer presses Escape once the dialog is up
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
