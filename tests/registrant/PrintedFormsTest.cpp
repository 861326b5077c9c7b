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
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Form
{
    const char* name;
    void (*print)();
    PageLayout (*layout)(const ProgramRecord&, const platform::Date&);
};

const Form forms[] = {
    {"fax", PrintFaxForm, faxPageLayout},
    {"mail", PrintMailForm, mailPageLayout},
};

// The output of a poppler tool; fails the test when the tool fails.
std::string popplerOutput(const char* tool, const QStringList& arguments)
{
    QProcess process;
    process.start(QString::fromLatin1(tool), arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << tool;
    EXPECT_EQ(process.exitCode(), 0) << tool << ": " << process.readAllStandardError().data();
    return process.readAllStandardOutput().toStdString();
}

// A line's characters without its blanks. pdftotext guesses blanks from the distances
// between glyphs, and in the printer's proportional default font a single blank can fall
// below its threshold; it also reports a ligature the font drew ("fi") as one character.
std::string collapsed(const QString& text)
{
    QString characters = text.normalized(QString::NormalizationForm_KC);
    characters.remove(QRegularExpression(QStringLiteral("\\s")));
    return characters.toStdString();
}

std::vector<std::string> nonEmptyLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string words = collapsed(QString::fromUtf8(line));
        if (!words.empty())
            lines.push_back(words);
    }
    return lines;
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
        r.street = "1 Main St";
        r.city = "Springfield";
        r.state = "IL";
        r.zip = "62701";
        r.country = "USA";
        r.email = "rene@example.com";
        r.phone = "(217) 555-0100";
        r.sendmailings = 1;
        r.serialnumber = 123456;
        r.purchasedfrom = "Caf\xE9 Books";
        r.reasonpurchased = "Gift";
        programRecord.settings.osName = "Unknown";
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

TEST_F(PrintedFormsTest, BothPagesReachAPdfFileLineByLine)
{
    for (const Form& form : forms) {
        registrationSent = 0;
        const auto pdf = world.files().root() / (std::string(form.name) + ".pdf");
        printInto(pdf);
        form.print();
        EXPECT_EQ(registrationSent, 1) << form.name;
        ASSERT_TRUE(std::filesystem::exists(pdf)) << form.name;

        std::vector<std::string> expected;
        for (const PageLine& line : form.layout(programRecord, {1999, 7, 4}))
            expected.push_back(collapsed(ui::fromAnsi(line.text)));
        const QString file = QString::fromStdString(pdf.string());
        EXPECT_EQ(nonEmptyLines(popplerOutput(
                      "pdftotext", {QStringLiteral("-layout"), file, QStringLiteral("-")})),
                  expected)
            << form.name;

        const std::string info = popplerOutput("pdfinfo", {file});
        EXPECT_NE(info.find("Product Registration"), std::string::npos) << info;
        EXPECT_TRUE(QString::fromStdString(info).contains(QRegularExpression(
            QStringLiteral("^Pages:\\s+1$"), QRegularExpression::MultilineOption)))
            << info;
    }
}

TEST_F(PrintedFormsTest, LinesStandAtTheirLineNumberTimesTheLineHeight)
{
    const auto pdf = world.files().root() / "fax.pdf";
    printInto(pdf);
    PrintFaxForm();

    // The top of each word as the PDF places it, in points from the top of the sheet.
    const std::string boxes =
        popplerOutput("pdftotext", {QStringLiteral("-bbox"), QString::fromStdString(pdf.string()),
                                    QStringLiteral("-")});
    std::map<std::string, double> top;
    const QRegularExpression word(QStringLiteral("<word xMin=\"[^\"]+\" yMin=\"([^\"]+)\"[^>]*>"
                                                 "([^<]+)</word>"));
    for (const auto& match : word.globalMatch(QString::fromStdString(boxes))) {
        top.try_emplace(match.captured(2).toStdString(), match.captured(1).toDouble());
    }
    ASSERT_TRUE(top.count("FFFFFF") && top.count("Name:") && top.count("OS:")) << boxes;

    const double lineHeight = (top["OS:"] - top["Name:"]) / (31 - 16);
    ASSERT_GT(lineHeight, 0);
    EXPECT_NEAR(top["Name:"] - top["FFFFFF"], 16 * lineHeight, 0.5);
    // Line 0 hangs from the top of the printable area, not above it: the position is the top
    // of the text cell, not the baseline.
    EXPECT_NEAR(top["FFFFFF"], printableTop, lineHeight / 4);
}

TEST_F(PrintedFormsTest, CancelledDialogPrintsNothingAndSaysSo)
{
    for (const Form& form : forms) {
        bool asked = false;
        setPrintDialogForTesting([&asked](QPrinter&) {
            asked = true;
            return false;
        });
        ui::ScriptedUser user;
        user.answer("Error!", "OK");
        form.print();
        EXPECT_TRUE(asked);
        EXPECT_TRUE(user.finished()) << form.name;
        ASSERT_EQ(user.sightings().size(), 1u);
        EXPECT_EQ(user.sightings()[0].text, "Unable to print.");
        EXPECT_EQ(registrationSent, 0) << form.name;
    }
}

TEST_F(PrintedFormsTest, RealPrintDialogBelongsToTheOwnerAndCanBeCancelled)
{
    QWidget owner;
    setPrintDialogOwner(&owner);
    QWidget* dialogParent = nullptr;
    bool sawDialog = false;
    // The dialog runs its own loop; the buyer presses Escape once it is up. The attempts are
    // bounded so that a dialog that never shows fails the test instead of hanging it, and tied
    // to a guard so that none outlives the test.
    QObject guard;
    std::function<void(int)> cancelWhenShown = [&](int attemptsLeft) {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        if (dialog) {
            sawDialog = true;
            dialogParent = dialog->parentWidget();
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else if (attemptsLeft > 0) {
            QTimer::singleShot(50, &guard,
                               [&, attemptsLeft] { cancelWhenShown(attemptsLeft - 1); });
        } else if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    };
    QTimer::singleShot(0, &guard, [&] { cancelWhenShown(200); });
    ui::ScriptedUser user;
    user.answer("Error!", "OK");
    PrintMailForm();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(dialogParent, &owner);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 0);
}

TEST_F(PrintedFormsTest, PrinterThatCannotStartTheDocumentIsNoDelivery)
{
    const auto pdf = world.files().root() / "no such folder" / "fax.pdf";
    printInto(pdf);
    ui::ScriptedUser user;
    user.answer("Error!", "OK");
    PrintFaxForm();
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(user.sightings().at(0).text, "Unable to print.");
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_EQ(registrationSent, 0);
}

} // namespace
