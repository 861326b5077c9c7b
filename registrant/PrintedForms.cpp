#include "registrant/PrintedForms.h"

#include "platform/Clock.h"
#include "registrant/PageLayout.h"
#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "ui/MessageWindow.h"
#include "ui/framework/Ansi.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

namespace {

std::function<bool(QPrinter&)> dialogReplacement;

bool runPrintDialog(QPrinter& printer)
{
    if (dialogReplacement)
        return dialogReplacement(printer);
    QPrintDialog dialog(&printer, printDialogOwner());
    // The form is one page, printed once: there is no page range to choose.
    dialog.setMinMax(1, 1);
    printer.setCopyCount(1);
    return dialog.exec() == QDialog::Accepted;
}

void reportPrintFailure()
{
    ui::MessageWindow box("Error!", "ASTERISK", ui::MSG_OK, ui::MSG_OK, "Unable to print.");
    box.Run();
}

void printPage(PageLayout (*layoutOf)(const ProgramRecord&, const platform::Date&))
{
    // High resolution, so that device units are the printer's own pixels.
    QPrinter printer(QPrinter::HighResolution);
    if (!runPrintDialog(printer)) {
        reportPrintFailure();
        return;
    }
    printer.setDocName(QStringLiteral("Product Registration"));
    QPainter painter;
    // A printer that cannot even start the document (a PDF file in a folder that does not
    // exist, a printer that went away) has printed nothing: that is no delivery.
    if (!painter.begin(&printer)) {
        reportPrintFailure();
        return;
    }
    // The page is laid out in columns of blanks (the FAX banner, the stamp box, the values
    // after their labels), as on a printer whose own font has fixed pitch. Qt's default font
    // is proportional, so the printer's fixed-pitch font is asked for; the lines are spaced
    // by its height plus its external leading.
    painter.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics(painter.font(), &printer);
    const std::int16_t lineHeight = lineHeightOf(metrics.height(), metrics.leading());
    const PageLayout page = layoutOf(programRecord, platform::clock().today());
    // What does not fit between the margin and the right edge of the printable area goes on.
    const int columns =
        (printer.width() - pageLeftMargin) / metrics.horizontalAdvance(QLatin1Char('M'));
    // The layout places the top of each text cell; Qt draws text from its baseline.
    for (const PlacedLine& line : placeLines(page, lineHeight, std::max(columns, 1)))
        painter.drawText(QPoint(line.x, line.y + metrics.ascent()), ui::fromAnsi(line.text));
    painter.end();
    registrationSent = 1;
}

} // namespace

void PrintFaxForm()
{
    printPage(faxPageLayout);
}

void PrintMailForm()
{
    printPage(mailPageLayout);
}

void setPrintDialogForTesting(std::function<bool(QPrinter&)> dialog)
{
    dialogReplacement = std::move(dialog);
}
