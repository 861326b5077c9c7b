#include "registrant/PrintedForms.h"

#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

// A 249-character name line continues under its value within the sheet, nothing of it lost, and
// the lines after it move down.
TEST(PrintedLongLinesTest, LineTooLongForTheSheetContinuesUnderItsValue)
{
    testsupport::GuiWorld world;
    registrantRecord().firstname = std::string(74, 'F');
    registrantRecord().lastname = std::string(149, 'q');
    const QString pdf = QString::fromStdString((world.files().root() / "fax.pdf").string());
    setPrintDialogForTesting([&](QPrinter& printer) {
        printer.setOutputFileName(pdf);
        return true;
    });
    PrintFaxForm();
    setPrintDialogForTesting({});
    resetProgramState();
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-bbox", pdf, "-"});
    ASSERT_TRUE(pdftotext.waitForFinished(30000));
    const QString boxes = QString::fromUtf8(pdftotext.readAllStandardOutput());
    const double width =
        QRegularExpression("page width=\"([^\"]+)").match(boxes).captured(1).toDouble();
    std::map<QString, double> top;
    qsizetype surname = 0;
    for (const auto& word : QRegularExpression("yMin=\"([^\"]+)\" xMax=\"([^\"]+)\"[^>]*>([^<]+)<")
                                .globalMatch(boxes)) {
        EXPECT_LE(word.captured(2).toDouble(), width) << word.captured(3).toStdString();
        top.try_emplace(word.captured(3), word.captured(1).toDouble());
        surname += word.captured(3).count('q');
    }
    EXPECT_EQ(surname, 149);
    EXPECT_GE(top["Address:"] - top["Name:"], 1.5 * (top["City:"] - top["Address:"]))
        << boxes.toStdString();
    EXPECT_GT(width, top["City:"] - top["Address:"]);
}
