// A whole registration played by the scripted user on whatever display Qt has (the offscreen
// platform on a machine without one): what `make run` shows where no person can click. The
// windows are the real ones, the flow and the channels are the program's own; a picture of
// every window is saved just before the scripted user acts on it.
//
//   register-demo --pictures DIR [--method internet|mail|fax|modem] [--pdf FILE]
//
// Paper methods print to the PDF file instead of asking for a printer.

#include "app/RunRegistration.h"
#include "registrant/PrintedForms.h"
#include "ui/Application.h"
#include "ui/framework/Event.h"
#include "ui/testing/ScriptedUser.h"

#include <QPrinter>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Options
{
    QString pictures = QStringLiteral("demo-pictures");
    std::string method = "internet";
    QString pdf = QStringLiteral("registration.pdf");
};

Options readOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--pictures") == 0)
            options.pictures = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--method") == 0)
            options.method = argv[i + 1];
        else if (std::strcmp(argv[i], "--pdf") == 0)
            options.pdf = QString::fromLocal8Bit(argv[i + 1]);
    }
    return options;
}

void fillTheForm(ui::ScriptedUser& user)
{
    user.answer("Register Now!", "OK")
        .choose("COUNTRY", "USA")
        .press("COUNTRY", ui::OK_EVENT)
        .type("DATA_WINDOW", "FIRST_NAME", QStringLiteral("Zoë"))
        .type("DATA_WINDOW", "LAST_NAME", "Example")
        .type("DATA_WINDOW", "STREET", "12 Oak St., Apt #4")
        .type("DATA_WINDOW", "CITY", "Springfield")
        .type("DATA_WINDOW", "STATE", "IL")
        .type("DATA_WINDOW", "ZIP", "62701")
        .type("DATA_WINDOW", "PHONE", "2175550123")
        .type("DATA_WINDOW", "EMAIL", "zoe@example.com")
        .type("DATA_WINDOW", "PURCHASED_FROM", "Corner Computers")
        .type("DATA_WINDOW", "REASON_PURCHASED", "Referral.")
        .press("DATA_WINDOW", ui::OK_EVENT);
}

void deliver(ui::ScriptedUser& user, const Options& options)
{
    if (options.method == "mail" || options.method == "fax") {
        user.choose("METHOD", options.method == "mail" ? "MAIL" : "FAX")
            .press("METHOD", ui::OK_EVENT);
        QString pdf = options.pdf;
        setPrintDialogForTesting([pdf](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        });
    } else if (options.method == "modem") {
        user.choose("METHOD", "MODEM")
            .press("METHOD", ui::OK_EVENT)
            .type("DIALING_CONFIGURE", "PREFIX", "9")
            .press("DIALING_CONFIGURE", ui::OK_EVENT);
    } else {
        user.press("METHOD", ui::OK_EVENT).answer("Information", "OK");
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options = readOptions(argc, argv);
    ui::silenceOffscreenWarnings();
    ui::UI_APPLICATION application(argc, argv);
    ui::ScriptedUser user;
    user.savePicturesTo(options.pictures);

    fillTheForm(user);
    deliver(user, options);
    // The thanks, and the free gift from the demo's CD.
    user.answer("Information", "OK").answer("Free Gift", "OK");

    int exitCode = 0;
    try {
        exitCode = ui::RunGuarded(application, RunRegistration);
    } catch (const ui::ScriptError& error) {
        std::fprintf(stderr, "The demo went another way than its script: %s\n", error.what());
        exitCode = 1;
    }
    std::printf("Pictures of the windows:\n");
    for (const QString& picture : user.pictures())
        std::printf("  %s\n", qPrintable(picture));
    return exitCode;
}
