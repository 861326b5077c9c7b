// The whole registration as a user meets it: the real windows on the offscreen platform, driven
// by the scripted user, in a program directory and Windows directory of the test's own.

#include "app/RunRegistration.h"
#include "registrant/PrintedForms.h"
#include "registrant/ProgramRecord.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <QAbstractButton>
#include <QPrinter>

#include <arpa/inet.h>
#include <unistd.h>

using namespace ui;
using testing::ElementsAre;
namespace fs = std::filesystem;

namespace {

// A loopback port on which nothing listens: connecting to it is refused at once.
class RefusingPort
{
public:
    RefusingPort() : m_socket(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(m_socket); }
    std::string server() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_socket;
    int m_port = 0;
};

// Stands in for the print dialog: prints to a PDF file of the test's, or is cancelled.
class PrintToFile
{
public:
    explicit PrintToFile(fs::path file, bool cancelled = false)
    {
        setPrintDialogForTesting([file, cancelled](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(file.string()));
            return !cancelled;
        });
    }
    ~PrintToFile() { setPrintDialogForTesting({}); }
};

// The text of a printed page, blanks collapsed.
std::string pageText(const fs::path& pdf)
{
    QString text = QString::fromStdString(testsupport::popplerOutput(
        "pdftotext", {"-layout", QString::fromStdString(pdf.string()), "-"}));
    return text.simplified().toStdString();
}

// COM5 named in REGISTER.INI and every other port blocked, before the simulator takes COM5.
struct ModemPortConfigured
{
    static constexpr int port = 5;
    explicit ModemPortConfigured(const testsupport::TestWorld& world)
    {
        world.writeFile(world.windowsDir() / "REGISTER.INI", "[modem]\r\nComPort=5\r\n");
        modemtest::blockOtherPorts(world, {port});
    }
};

// The simulated modem with rb behind it, and a desktop that keeps the test's clock from
// outrunning the simulator, which answers in real time.
struct SimulatedModem : ModemPortConfigured
{
    SimulatedModem(const testsupport::TestWorld& world, const testsupport::FakeClock& clock)
        : ModemPortConfigured(world), modem(world, port), pacing(&clock)
    {}
    modemtest::ModemSimulator modem;
    modemtest::WatchingDesktop pacing;
};

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
        auto* manager = UIW_WINDOW::windowManager;
        while (UIW_WINDOW* window = manager->First()) {
            manager->Subtract(window);
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

    // The message of the index-th message window of that title the user answered.
    QString textOf(const char* title, int index = 0) const
    {
        for (const auto& sighting : user.sightings()) {
            if (sighting.title == title && index-- == 0)
                return sighting.text;
        }
        return QStringLiteral("(not shown)");
    }

    std::string file(const char* name) const { return world.readFile(world.programDir() / name); }
    bool markerWritten() const { return world.exists(world.windowsDir() / "MORSELS.REG"); }

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

    testsupport::TestWorld world;
    testsupport::FakeClock clock;
    ScriptedUser user;
};

TEST_F(FlowTest, FirstRunGoesStraightToTheIntroductionAndWritesToday)
{
    user.answer("Register Now!", "OK")
        .press("COUNTRY", OK_EVENT)
        .press("DATA_WINDOW", CANCEL_EVENT)
        .answer("Registration", "Yes");
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(seen(), ElementsAre("Register Now!", "COUNTRY", "DATA_WINDOW", "Registration"));
    EXPECT_EQ(file("rdate"), "12/6/2026");
    EXPECT_FALSE(world.exists(world.programDir() / "oldinfo")) << "Cancel writes no file";
    EXPECT_EQ(registrationSent, 0);
    EXPECT_FALSE(markerWritten());
}

TEST_F(FlowTest, YearOneRestartsTheIntervalWithoutAWindow)
{
    world.writeFile(world.programDir() / "rdate", "1/1/1");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.sightings().empty());
    EXPECT_EQ(file("rdate"), "12/6/2026");
}

TEST_F(FlowTest, AskedAgainFromTheFifteenthDay)
{
    world.writeFile(world.programDir() / "rdate", "11/22/2026");
    EXPECT_EQ(run(), 0) << "14 days: not yet";
    EXPECT_TRUE(user.sightings().empty());
    EXPECT_EQ(file("rdate"), "11/22/2026");

    world.writeFile(world.programDir() / "rdate", "11/21/2026");
    user.answer("Registration", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_THAT(seen(), ElementsAre("Registration"));
    EXPECT_EQ(user.sightings()[0].text,
              "Would you like to register your Pantrix Morsels software now?");
    EXPECT_EQ(file("rdate"), "12/6/2026") << "rewritten before the question, whatever the answer";
}

TEST_F(FlowTest, YesToTheReminderLeadsIntoTheRegistration)
{
    world.writeFile(world.programDir() / "rdate", "1/1/2020");
    user.answer("Registration", "Yes")
        .answer("Register Now!", "OK")
        .closeByTitleBar("COUNTRY")
        .press("DATA_WINDOW", CANCEL_EVENT)
        .answer("Registration", "Yes");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(UIW_WINDOW::windowManager->Title(), "On-Line Registration");
}

TEST_F(FlowTest, CancelInTheMethodWindowEndsTheLoopAndOffersPrinting)
{
    registerAnn();
    user.press("METHOD", CANCEL_EVENT).answer("Print Registration?", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(seen().back(), "Print Registration?");
    EXPECT_TRUE(user.finished());
    EXPECT_TRUE(file("oldinfo").starts_with("\r\nAnn\r\nExample\r\n"));
    EXPECT_FALSE(markerWritten());
}

TEST_F(FlowTest, FailedInternetAttemptOffersTheMethodWindowAgain)
{
    RefusingPort port;
    testsupport::ScopedEnv server("REGISTER_SERVER", port.server());
    registerAnn();
    user.press("METHOD", OK_EVENT)
        .answer("Information", "OK")
        .answer("NetManager", "OK")
        .answer("Error!", "OK")
        .answer("Registration", "Yes")
        .inspect("METHOD",
                 [](QWidget* window) {
                     auto* internet = window->findChild<QAbstractButton*>("INTERNET");
                     EXPECT_TRUE(internet->isChecked()) << "every attempt starts with the internet";
                 })
        .choose("METHOD", "MAIL")
        .press("METHOD", CANCEL_EVENT)
        .answer("Print Registration?", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 0);
    EXPECT_EQ(textOf("Registration"),
              "Your Registration Information has not been sent.  Do you wish to retry?");
    EXPECT_FALSE(markerWritten());
}

TEST_F(FlowTest, NoToRetryThenYesToPrintDeliversOnPaper)
{
    PrintToFile printer(world.root() / "mail.pdf");
    RefusingPort port;
    testsupport::ScopedEnv server("REGISTER_SERVER", port.server());
    registerAnn();
    user.press("METHOD", OK_EVENT)
        .answer("Information", "OK")
        .answer("NetManager", "OK")
        .answer("Error!", "OK")
        .answer("Registration", "No")
        .answer("Print Registration?", "Yes")
        .answer("Information", "OK")
        .answer("Free Gift", "OK")
        .answer("Insert CD", "OK")
        .answer("Error!", "OK");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 1);
    EXPECT_THAT(pageText(world.root() / "mail.pdf"),
                testing::AllOf(testing::HasSubstr("< fold back here >"),
                               testing::HasSubstr("Dear Ann, thank you"),
                               testing::Not(testing::HasSubstr("FAX"))))
        << "the mail-in page";
    EXPECT_EQ(textOf("Information", 1),
              "Your Registration Information has been sent.\nThank you for registering Pantrix "
              "Morsels.");
    EXPECT_TRUE(markerWritten());
}

TEST_F(FlowTest, FaxPrintedCountsAsSentAndTheGiftIsInstalledFromTheCd)
{
    PrintToFile printer(world.root() / "fax.pdf");
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
    EXPECT_THAT(pageText(world.root() / "fax.pdf"),
                testing::AllOf(testing::HasSubstr("Please FAX this form to:"),
                               testing::HasSubstr("Dear Ann, thank you"),
                               testing::Not(testing::HasSubstr("fold back"))))
        << "the fax page";
    EXPECT_TRUE(markerWritten());
    EXPECT_EQ(world.readFile(world.windowsDir() / "MORSELS.REG"), "");
    EXPECT_EQ(file("remindo.flg"), "Launch Remindo Install");
    EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"),
              "[windows]\r\nrun=C:\\TOOLS\\CLOCK.EXE\r\n");
    for (int i = 0; i < 100 && !world.exists(world.root() / "gift"); ++i)
        usleep(20000);
    EXPECT_TRUE(world.exists(world.root() / "gift")) << "the gift's installer ran";
}

TEST_F(FlowTest, ModemChosenInTheMethodWindowRegistersThroughTheSimulator)
{
    SimulatedModem line(world, clock);
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
    EXPECT_EQ(textOf("Information"),
              "Your Registration Information has been sent.\nThank you for registering Pantrix "
              "Morsels.");
    EXPECT_EQ(world.readFile(line.modem.receiveDir() / "oldinfo"), file("oldinfo"))
        << "the server gets the information file, with the connection's line";
    EXPECT_TRUE(file("oldinfo").ends_with("\r\n1\r\n0"));
    EXPECT_TRUE(markerWritten());
}

TEST_F(FlowTest, CancelledDialingWindowEndsTheLoopWithoutTheRetryQuestion)
{
    SimulatedModem line(world, clock);
    registerAnn();
    user.choose("METHOD", "MODEM")
        .press("METHOD", OK_EVENT)
        .press("DIALING_CONFIGURE", CANCEL_EVENT)
        .answer("Registration", "Yes")
        .answer("Print Registration?", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(registrationSent, 0);
    for (const auto& command : line.modem.commands())
        EXPECT_FALSE(command.starts_with("ATD")) << "nothing dialed";
}

TEST_F(FlowTest, CancelledPrintDialogIsNotSentAndLeadsToTheRetryQuestion)
{
    PrintToFile printer(world.root() / "fax.pdf", true);
    registerAnn();
    user.choose("METHOD", "FAX")
        .press("METHOD", OK_EVENT)
        .answer("Error!", "OK")
        .answer("Registration", "No")
        .answer("Print Registration?", "No");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(textOf("Error!"), "Unable to print.");
    EXPECT_EQ(registrationSent, 0);
    EXPECT_FALSE(world.exists(world.root() / "fax.pdf"));
}

} // namespace
