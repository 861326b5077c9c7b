// The whole registration as a user meets it: real windows, offscreen, driven by the script.

#include "app/RunRegistration.h"
#include "registrant/PrintedForms.h"
#include "registrant/ProgramRecord.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <QPrinter>

#include <optional>

using namespace ui;
using namespace testing;
namespace fs = std::filesystem;

namespace {

const std::string sent = "Information | Your Registration Information has been sent.\nThank you "
                         "for registering Pantrix Morsels.",
                  retry = "Registration | Your Registration Information has not been sent.  Do "
                          "you wish to retry?",
                  print = "Print Registration? | Would you like to print your registration "
                          "information?";

// The script fails on any window out of its order; the checks are for the boxes' texts.
class FlowTest : public ::testing::Test
{
protected:
    FlowTest()
    {
        resetProgramState();
        clock.setToday(2026, 12, 6);
        // The program's directory is the second entry; the stores are in the build's folder.
        application()->searchPath =
            UI_PATH({fs::current_path().string(), world.programDir().string(),
                     testsupport::binaryDirectory()});
    }
    ~FlowTest() override { setPrintDialogForTesting({}); }

    void run()
    {
        EXPECT_EQ(RunRegistration(*application()), 0);
        EXPECT_TRUE(user.finished()) << user.stepsLeft() << " steps left";
        EXPECT_EQ(CurrentStatusWindow(), nullptr) << "the progress window closed";
    }
    std::vector<std::string> boxes() const { return testsupport::boxesSeen(user); }
    std::string file(const char* name) { return world.readFile(name); }
    bool markerWritten() { return world.exists(world.windowsDir() / "MORSELS.REG"); }
    // The first print dialogs are cancelled, as many as given; the next print into the PDF file.
    void printTo(int cancels)
    {
        setPrintDialogForTesting([this, cancels](QPrinter& printer) mutable {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(pdf.string()));
            return cancels-- <= 0;
        });
    }
    std::string pageText() const
    {
        return testsupport::popplerOutput("pdftotext", {"-raw", pdf.c_str(), "-"});
    }

    // The introduction, the country window and a form that passes its checks.
    void registerAnn()
    {
        user.answer("Register Now!", "OK").press("COUNTRY", OK_EVENT);
        const char *fields[] = {"FIRST_NAME", "LAST_NAME", "STREET", "CITY",
                                "STATE",      "ZIP",       "PHONE",  "PURCHASED_FROM"},
                   *values[] = {"Ann", "Example", "12 Oak St.", "Springfield",
                                "IL",  "62701",   "2175550123", "Corner Computers"};
        for (int i = 0; i < 8; ++i)
            user.type("DATA_WINDOW", fields[i], values[i]);
        user.press("DATA_WINDOW", OK_EVENT);
    }
    // The thanks, the gift's offer, the request for the CD and the word that it is missing.
    void acceptThanksAndGift()
    {
        for (const char* title : {"Information", "Free Gift", "Insert CD", "Error!"})
            user.answer(title, "OK");
    }
    // The simulator on COM5, named in REGISTER.INI; the desktop keeps the clock from outrunning it.
    void connectModem()
    {
        world.writeFile(world.windowsDir() / "REGISTER.INI", "[modem]\r\nComPort=5\r\n");
        modemtest::blockOtherPorts(world, {5});
        modem.emplace(world, 5);
        pacing.emplace(&clock);
    }

    testsupport::GuiWorld gui;
    testsupport::TestWorld& world = gui.files();
    testsupport::FakeClock clock;
    ScriptedUser user;
    fs::path pdf = world.root() / "page.pdf";
    std::optional<modemtest::ModemSimulator> modem;
    std::optional<modemtest::WatchingDesktop> pacing;
};

TEST_F(FlowTest, TheReminderDecidesWhenTheIntroductionComes)
{
    // Year 1 restarts the interval without a window; 14 days are not yet due, 15 are.
    for (const char* rdate : {"1/1/1", "11/22/2026"}) {
        world.writeFile("rdate", rdate);
        run();
        EXPECT_TRUE(user.sightings().empty()) << rdate;
        EXPECT_EQ(file("rdate"), std::string(rdate) == "1/1/1" ? "12/6/2026" : rdate);
    }
    world.writeFile("rdate", "11/21/2026");
    user.answer("Registration", "No");
    run();
    EXPECT_THAT(boxes(), ElementsAre("Registration | Would you like to register your Pantrix "
                                     "Morsels software now?"));
    EXPECT_EQ(file("rdate"), "12/6/2026") << "rewritten before the question, whatever the answer";

    world.writeFile("rdate", "1/1/2020");
    user.answer("Registration", "Yes")
        .answer("Register Now!", "OK")
        .closeByTitleBar("COUNTRY")
        .press("DATA_WINDOW", CANCEL_EVENT)
        .answer("Registration", "Yes");
    run();
    EXPECT_EQ(UIW_WINDOW::windowManager->Title(), "On-Line Registration");
    EXPECT_THAT(
        boxes(),
        ElementsAre(
            _, _,
            "Register Now! | Register your copy of Pantrix Morsels today and be one of the first "
            "to learn\nabout the latest product information, accessories, technical "
            "support,\nand online services.\n\nUse this electronic registration assistant to "
            "register over the\ninternet or by modem quickly, or print for easy fax or "
            "mail-in\nservice.\n\nThank you for selecting Orlam.",
            "Registration | Completing this registration allows you to receive "
            "technical support.\n\nThis program provides a way for you to register "
            "by using your modem or the mail.\n\nAre you sure you want to cancel?"));
}

TEST_F(FlowTest, FailedInternetAttemptThenNoToRetryThenYesToPrintDeliversTheMailInPage)
{
    printTo(0);
    registerAnn();
    testsupport::ScopedEnv server("REGISTER_SERVER", "127.0.0.1:1"); // nothing listens there
    user.press("METHOD", OK_EVENT)
        .answer("Information", "OK")
        .answer("NetManager", "OK")
        .answer("Error!", "OK")
        .answer("Registration", "No")
        .answer("Print Registration?", "Yes");
    acceptThanksAndGift();
    run();
    EXPECT_THAT(pageText(), AllOf(HasSubstr("< fold back here >"), HasSubstr("Dear Ann, thank you"),
                                  HasSubstr("I DO NOT want my name"), HasSubstr("Serial No:123456"),
                                  Not(HasSubstr("FAX"))))
        << "the mail-in page";
    EXPECT_THAT(boxes(), IsSupersetOf(std::vector<std::string>{
                             "Information | Please connect to the internet now...\nClick "
                             "OK when ready.",
                             retry, print, sent}));
    EXPECT_TRUE(file("oldinfo").starts_with("\r\nAnn\r\nExample\r\n"));
    EXPECT_EQ(file("rdate"), "12/6/2026") << "the first run's date";
}

TEST_F(FlowTest, CancelledPrintingAsksToRetryThenTheFaxPageIsPrinted)
{
    printTo(1);
    registerAnn();
    user.choose("METHOD", "FAX")
        .press("METHOD", OK_EVENT)
        .answer("Error!", "OK")
        .closeByTitleBar("Registration") // not a No: asked again
        .choose("METHOD", "FAX")
        .press("METHOD", OK_EVENT);
    acceptThanksAndGift();
    run();
    EXPECT_THAT(boxes(),
                IsSupersetOf(std::vector<std::string>{"Error! | Unable to print.", retry, sent}));
    EXPECT_THAT(pageText(), AllOf(HasSubstr("Please FAX this form to:"),
                                  HasSubstr("Dear Ann, thank you"), Not(HasSubstr("fold back"))))
        << "the fax page";
    EXPECT_EQ(world.readFile(world.windowsDir() / "MORSELS.REG"), "");
}

// Cancels in the method and dialing windows ask no retry; then the modem registers.
TEST_F(FlowTest, ModemAfterCancelsInTheMethodAndDialingWindows)
{
    connectModem();
    registerAnn();
    user.press("METHOD", CANCEL_EVENT).answer("Print Registration?", "No");
    run();
    fs::remove("rdate");
    resetProgramState();
    registerAnn();
    user.choose("METHOD", "MODEM")
        .press("METHOD", OK_EVENT)
        .press("DIALING_CONFIGURE", CANCEL_EVENT)
        .answer("Registration", "Yes")
        .answer("Print Registration?", "No");
    run();
    EXPECT_FALSE(markerWritten());
    for (const auto& command : modem->commands())
        EXPECT_FALSE(command.starts_with("ATD")) << "nothing dialed";

    fs::remove("rdate");
    resetProgramState();
    registerAnn();
    user.choose("METHOD", "MODEM").press("METHOD", OK_EVENT).press("DIALING_CONFIGURE", OK_EVENT);
    acceptThanksAndGift();
    run();
    EXPECT_EQ(world.readFile(modem->receiveDir() / "oldinfo"), file("oldinfo"))
        << "the server gets the information file, with the connection's line";
    EXPECT_TRUE(file("oldinfo").ends_with("\r\n1\r\n0"));
    EXPECT_TRUE(markerWritten());
}

} // namespace
