// The whole registration as a user meets it: the real windows on the offscreen platform, driven
// by the scripted user, in a program directory and Windows directory of the test's own.

#include "app/RunRegistration.h"
#include "registrant/PrintedForms.h"
#include "registrant/ProgramRecord.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <QAbstractButton>
#include <QPrinter>

#include <optional>

#include <unistd.h>

using namespace ui;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
namespace fs = std::filesystem;

namespace {

const std::string sent = "Information | Your Registration Information has been sent.\nThank you "
                         "for registering Pantrix Morsels.",
                  gift = "Free Gift | You qualify for a free 6 month trial of Remindo.\n\nRemindo "
                         "is a simple and useful utility which reminds\nyou of special events "
                         "every time you turn your\ncomputer on.",
                  noCd = "Error! | The Pantrix Morsels CD was not found.  Unable to install "
                         "Remindo.",
                  insertCd = "Insert CD | Please insert the Pantrix Morsels CD in drive ",
                  retry = "Registration | Your Registration Information has not been sent.  Do "
                          "you wish to retry?",
                  print = "Print Registration? | Would you like to print your registration "
                          "information?",
                  connect = "Information | Please connect to the internet now...\nClick OK when "
                            "ready.",
                  cancel = "Registration | Completing this registration allows you to receive "
                           "technical support.\n\nThis program provides a way for you to register "
                           "by using your modem or the mail.\n\nAre you sure you want to cancel?";

class FlowTest : public ::testing::Test
{
protected:
    FlowTest()
    {
        resetProgramState();
        clock.setToday(2026, 12, 6);
        // The program's directory is the search path's second entry; the stores are found
        // further along it, in the build's output folder.
        application()->searchPath =
            UI_PATH({fs::current_path().string(), world.programDir().string(),
                     testsupport::binaryDirectory()});
    }
    ~FlowTest() override
    {
        setPrintDialogForTesting({});
        while (UIW_WINDOW* window = UIW_WINDOW::windowManager->First()) {
            UIW_WINDOW::windowManager->Subtract(window);
            if (window->DestroyOnClose())
                delete window;
        }
    }

    int run() { return RunRegistration(*application()); }

    // The titles and definition names of the windows the user acted on, in order.
    std::vector<std::string> seen() const
    {
        std::vector<std::string> names;
        for (const auto& sighting : user.sightings())
            names.push_back(
                (sighting.name == "MessageWindow" ? sighting.title : sighting.name).toStdString());
        return names;
    }
    std::vector<std::string> boxes() const { return testsupport::boxesSeen(user); }
    std::string file(const char* name) const { return world.readFile(world.programDir() / name); }
    bool markerWritten() const { return world.exists(world.windowsDir() / "MORSELS.REG"); }

    // Prints into a PDF file of the test's, or cancels the print dialog; gives the page's text.
    std::string printTo(bool cancelled = false)
    {
        setPrintDialogForTesting([this, cancelled](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf.string()));
            return !cancelled;
        });
        return pdf.string();
    }
    std::string pageText() const
    {
        return QString::fromStdString(
                   testsupport::popplerOutput(
                       "pdftotext", {"-layout", QString::fromStdString(pdf.string()), "-"}))
            .simplified()
            .toStdString();
    }

    // The introduction, the country window and a form that passes its checks.
    void registerAnn()
    {
        user.answer("Register Now!", "OK")
            .press("COUNTRY", OK_EVENT)
            .type("DATA_WINDOW", "FIRST_NAME", "Ann")
            .type("DATA_WINDOW", "LAST_NAME", "Example")
            .type("DATA_WINDOW", "STREET", "12 Oak St., Apt #4")
            .type("DATA_WINDOW", "CITY", "Springfield")
            .type("DATA_WINDOW", "STATE", "IL")
            .type("DATA_WINDOW", "ZIP", "62701")
            .type("DATA_WINDOW", "PHONE", "2175550123")
            .type("DATA_WINDOW", "PURCHASED_FROM", "Corner Computers")
            .press("DATA_WINDOW", OK_EVENT);
    }
    // A failing internet attempt, with its messages answered.
    void failOverTheInternet()
    {
        server.emplace("REGISTER_SERVER", "127.0.0.1:1"); // nothing listens there
        user.press("METHOD", OK_EVENT)
            .answer("Information", "OK")
            .answer("NetManager", "OK")
            .answer("Error!", "OK");
    }
    // COM5 named in REGISTER.INI and every other port blocked; the simulator on COM5, and a
    // desktop that keeps the test's clock from outrunning it.
    void connectModem()
    {
        world.writeFile(world.windowsDir() / "REGISTER.INI", "[modem]\r\nComPort=5\r\n");
        modemtest::blockOtherPorts(world, {5});
        modem.emplace(world, 5);
        pacing.emplace(&clock);
    }

    testsupport::TestWorld world;
    testsupport::FakeClock clock;
    ScriptedUser user;
    fs::path pdf = world.root() / "page.pdf";
    std::optional<testsupport::ScopedEnv> server;
    std::optional<modemtest::ModemSimulator> modem;
    std::optional<modemtest::WatchingDesktop> pacing;
};

TEST_F(FlowTest, TheReminderDecidesWhenTheIntroductionComes)
{
    // Year 1 restarts the interval without a window; 14 days are not yet due, 15 are.
    for (const char* rdate : {"1/1/1", "11/22/2026"}) {
        world.writeFile(world.programDir() / "rdate", rdate);
        EXPECT_EQ(run(), 0);
        EXPECT_TRUE(user.sightings().empty()) << rdate;
    }
    EXPECT_EQ(file("rdate"), "11/22/2026");
    world.writeFile(world.programDir() / "rdate", "11/21/2026");
    user.answer("Registration", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(boxes(), ElementsAre("Registration | Would you like to register your Pantrix "
                                     "Morsels software now?"));
    EXPECT_EQ(file("rdate"), "12/6/2026") << "rewritten before the question, whatever the answer";

    world.writeFile(world.programDir() / "rdate", "1/1/2020");
    user.answer("Registration", "Yes")
        .answer("Register Now!", "OK")
        .closeByTitleBar("COUNTRY")
        .press("DATA_WINDOW", CANCEL_EVENT)
        .answer("Registration", "Yes");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(UIW_WINDOW::windowManager->Title(), "On-Line Registration");
    EXPECT_THAT(seen(), ElementsAre("Registration", "Registration", "Register Now!", "COUNTRY",
                                    "DATA_WINDOW", "Registration"));
    EXPECT_EQ(boxes().at(2),
              "Register Now! | Register your copy of Pantrix Morsels today and be one of the first "
              "to learn\nabout the latest product information, accessories, technical "
              "support,\nand online services.\n\nUse this electronic registration assistant to "
              "register over the\ninternet or by modem quickly, or print for easy fax or "
              "mail-in\nservice.\n\nThank you for selecting Orlam.");
    EXPECT_EQ(boxes().at(3), cancel);
}

TEST_F(FlowTest, FirstRunWritesTodayAndCancelWritesNoFile)
{
    user.answer("Register Now!", "OK")
        .press("COUNTRY", OK_EVENT)
        .press("DATA_WINDOW", CANCEL_EVENT)
        .answer("Registration", "Yes");
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(seen(), ElementsAre("Register Now!", "COUNTRY", "DATA_WINDOW", "Registration"));
    EXPECT_EQ(file("rdate"), "12/6/2026");
    EXPECT_FALSE(world.exists(world.programDir() / "oldinfo"));
    EXPECT_EQ(registrationSent, 0);
    EXPECT_FALSE(markerWritten());
}

TEST_F(FlowTest, FailedInternetAttemptOffersTheMethodWindowAgainThenPrinting)
{
    registerAnn();
    failOverTheInternet();
    user.answer("Registration", "Yes")
        .inspect("METHOD",
                 [](QWidget* window) {
                     auto* internet = window->findChild<QAbstractButton*>("INTERNET");
                     ASSERT_NE(internet, nullptr);
                     EXPECT_TRUE(internet->isChecked()) << "every attempt starts with the internet";
                 })
        .choose("METHOD", "MAIL")
        .press("METHOD", CANCEL_EVENT) // ends the loop without the retry question
        .answer("Print Registration?", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 0);
    EXPECT_EQ(boxes().at(1), connect);
    EXPECT_EQ(boxes().at(4), retry);
    EXPECT_THAT(boxes(), testing::Contains(print));
    EXPECT_TRUE(file("oldinfo").starts_with("\r\nAnn\r\nExample\r\n"));
    EXPECT_FALSE(markerWritten());
}

TEST_F(FlowTest, NoToRetryThenYesToPrintDeliversTheMailInPage)
{
    printTo();
    registerAnn();
    failOverTheInternet();
    user.answer("Registration", "No")
        .answer("Print Registration?", "Yes")
        .answer("Information", "OK")
        .answer("Free Gift", "OK")
        .answer("Insert CD", "OK")
        .answer("Error!", "OK");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 1);
    EXPECT_THAT(pageText(), testing::AllOf(HasSubstr("< fold back here >"),
                                           HasSubstr("Dear Ann, thank you"), Not(HasSubstr("FAX"))))
        << "the mail-in page";
    const std::vector<std::string> all = boxes();
    ASSERT_GE(all.size(), 6u);
    EXPECT_THAT(std::vector(all.end() - 6, all.end()),
                ElementsAre(retry, print, sent, gift, insertCd, noCd));
    EXPECT_TRUE(markerWritten());
}

TEST_F(FlowTest, FaxPrintedCountsAsSentAndTheGiftIsInstalledFromTheCd)
{
    printTo();
    fs::path cd = world.root() / "cd";
    world.writeFile(cd / "pantrixID", "");
    world.writeFile(cd / "GIFT" / "SETUP.EXE",
                    "#!/bin/sh\necho started > \"" + (world.root() / "gift").string() + "\"\n");
    fs::permissions(cd / "GIFT" / "SETUP.EXE", fs::perms::owner_all);
    fs::create_directories(world.windowsDir() / "dosdevices");
    fs::create_directory_symlink(cd, world.windowsDir() / "dosdevices" / "d:");
    world.writeFile(world.programDir() / "drive", "d");
    world.writeFile(world.windowsDir() / "WIN.INI",
                    "[windows]\r\nrun=C:\\APP\\REGISTER.EXE C:\\TOOLS\\CLOCK.EXE\r\n");
    registerAnn();
    user.choose("METHOD", "FAX")
        .press("METHOD", OK_EVENT)
        .answer("Information", "OK")
        .answer("Free Gift", "OK");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished()) << "no retry question, no insert request";
    EXPECT_EQ(registrationSent, 1);
    EXPECT_THAT(pageText(),
                testing::AllOf(HasSubstr("Please FAX this form to:"),
                               HasSubstr("Dear Ann, thank you"), Not(HasSubstr("fold back"))))
        << "the fax page";
    EXPECT_EQ(world.readFile(world.windowsDir() / "MORSELS.REG"), "");
    EXPECT_EQ(file("remindo.flg"), "Launch Remindo Install");
    EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"),
              "[windows]\r\nrun=C:\\TOOLS\\CLOCK.EXE\r\n");
    for (int i = 0; i < 100 && !world.exists(world.root() / "gift"); ++i)
        usleep(20000);
    EXPECT_TRUE(world.exists(world.root() / "gift")) << "the gift's installer ran";
}

TEST_F(FlowTest, CancelledPrintDialogIsNotSentAndLeadsToTheRetryQuestion)
{
    printTo(true);
    registerAnn();
    user.choose("METHOD", "FAX")
        .press("METHOD", OK_EVENT)
        .answer("Error!", "OK")
        .answer("Registration", "No")
        .answer("Print Registration?", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_THAT(boxes(), testing::Contains("Error! | Unable to print."));
    EXPECT_EQ(registrationSent, 0);
    EXPECT_FALSE(world.exists(pdf));
}

TEST_F(FlowTest, ModemChosenInTheMethodWindowRegistersThroughTheSimulator)
{
    connectModem();
    registerAnn();
    user.choose("METHOD", "MODEM")
        .press("METHOD", OK_EVENT)
        .press("DIALING_CONFIGURE", OK_EVENT)
        .answer("Information", "OK")
        .answer("Free Gift", "OK")
        .answer("Insert CD", "OK")
        .answer("Error!", "OK");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 1);
    EXPECT_EQ(boxes().at(1), sent);
    EXPECT_EQ(world.readFile(modem->receiveDir() / "oldinfo"), file("oldinfo"))
        << "the server gets the information file, with the connection's line";
    EXPECT_TRUE(file("oldinfo").ends_with("\r\n1\r\n0"));
    EXPECT_TRUE(markerWritten());
}

TEST_F(FlowTest, CancelledDialingWindowEndsTheLoopWithoutTheRetryQuestion)
{
    connectModem();
    registerAnn();
    user.choose("METHOD", "MODEM")
        .press("METHOD", OK_EVENT)
        .press("DIALING_CONFIGURE", CANCEL_EVENT)
        .answer("Registration", "Yes")
        .answer("Print Registration?", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 0);
    for (const auto& command : modem->commands())
        EXPECT_FALSE(command.starts_with("ATD")) << "nothing dialed";
}

} // namespace
