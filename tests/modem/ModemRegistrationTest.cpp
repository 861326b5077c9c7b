// The modem channel as the flow runs it: the modem search, the retry policy with its
// questions, and whole registrations through the simulator to lrzsz's rb.

#include "modem/DialUpCall.h"
#include "modem/ModemRegistration.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Event.h"
#include "ui/testing/ScriptedUser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

namespace fs = std::filesystem;
using modemtest::ModemSimulator;
using modemtest::RealTime;
using modemtest::WatchingDesktop;
using testing::ElementsAre;
using ui::ScriptedUser;

namespace {

constexpr int modemPort = 5;
const QString dialingWindow = QStringLiteral("DIALING_CONFIGURE");
const std::string number = modemtest::defaultSettings().PhoneNumber.str();

// COM ports whose entries lead to plain files of one folder, which no one can use as a
// port; the kernel tells in which order they were opened.
class PortWatch
{
public:
    PortWatch(const testsupport::TestWorld& world, const std::vector<int>& except)
    {
        fs::path devices = world.root() / "devices";
        fs::path entries = world.windowsDir() / "dosdevices";
        fs::create_directories(devices);
        fs::create_directories(entries);
        for (int port = 1; port <= 9; ++port) {
            if (std::find(except.begin(), except.end(), port) != except.end())
                continue;
            std::string name = "port" + std::to_string(port);
            world.writeFile(devices / name, "");
            fs::create_symlink(devices / name, entries / ("com" + std::to_string(port)));
        }
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(m_fd, devices.c_str(), IN_OPEN);
    }
    ~PortWatch() { ::close(m_fd); }

    std::vector<int> opened()
    {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            ssize_t count = ::read(m_fd, buffer, sizeof buffer);
            if (count <= 0)
                return m_opened;
            for (char* at = buffer; at < buffer + count;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                if (event->len > 0 && std::strncmp(event->name, "port", 4) == 0)
                    m_opened.push_back(std::atoi(event->name + 4));
                at += sizeof(inotify_event) + event->len;
            }
        }
    }

private:
    int m_fd = -1;
    std::vector<int> m_opened;
};

class ModemRegistrationTest : public ::testing::Test
{
protected:
    ModemRegistrationTest()
    {
        resetProgramState();
        modem::resetModemState();
        programDirectory = world.files().programDir().string();
        world.files().writeFile("oldinfo", modemtest::sampleInformationFile());
        programRecord.settings = modemtest::defaultSettings();
    }

    RegistrationSettings& settings() { return programRecord.settings; }

    std::vector<std::string> statusTextsOf(const std::string& title) const
    {
        std::vector<std::string> texts;
        for (const auto& text : desktop.statusTexts()) {
            if (text.rfind(title + " | ", 0) == 0)
                texts.push_back(text.substr(title.size() + 3));
        }
        return texts;
    }

    static std::vector<std::string> questions(const ScriptedUser& user)
    {
        std::vector<std::string> seen;
        for (const auto& sighting : user.sightings()) {
            if (sighting.name != dialingWindow)
                seen.push_back((sighting.title + " | " + sighting.text).toStdString());
        }
        return seen;
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    WatchingDesktop desktop{&clock};
};

TEST_F(ModemRegistrationTest, ARegistrationAsTheModemHearsItAndTheServerGetsIt)
{
    // No modem keys in REGISTER.INI: no port configured, so the search finds the modem.
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort);
    ScriptedUser user;
    user.press(dialingWindow, ui::OK_EVENT);
    RealTime real;

    ModemRegistration(programRecord);

    EXPECT_EQ(registrationSent, 1);
    EXPECT_TRUE(user.finished());
    EXPECT_THAT(modem.commands(),
                ElementsAre("ATE1Q0V1", // the search's test
                            "ATE1Q0V1", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1", "ATX4", "ATDT" + number,
                            "+++", "ATH", "ATH"));
    const std::string sent = modemtest::sampleInformationFile() + "\r\n0";
    EXPECT_EQ(world.files().readFile(modem.receiveDir() / "oldinfo"), sent)
        << "the server gets oldinfo byte for byte, with the connection's line";
    EXPECT_EQ(world.files().readFile("oldinfo"), sent);
    EXPECT_EQ(settings().ComPort, modemPort);
    EXPECT_EQ(settings().DialToneCommand.str(), "ATX4");
    EXPECT_EQ(ui::CurrentStatusWindow(), nullptr) << "closed at the end";
    EXPECT_THAT(
        desktop.statusTexts(),
        testing::IsSupersetOf({"Initializing modem | Initializing modem...",
                               "Modem Status | Modem Initialized", "Sending Data | Dialing ...",
                               "Sending Data | Transferring the user information ...",
                               "Finished | Disconnecting the modem"}));
    EXPECT_LT(real.seconds(), 10.0);
}

TEST_F(ModemRegistrationTest, ConnectingAfterTwoBusyRedialsWritesTwo)
{
    settings().ComPort = modemPort;
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort, {"--script", "BUSY,BUSY,CONNECT"});
    ScriptedUser user;
    for (int call = 0; call < 3; ++call)
        user.press(dialingWindow, ui::OK_EVENT);

    EXPECT_EQ(modem::runRetryDriver(settings()), 1);

    EXPECT_EQ(world.files().readFile(modem.receiveDir() / "oldinfo"),
              modemtest::sampleInformationFile() + "\r\n2");
    EXPECT_EQ(modem::busyRedialCounter, 2) << "kept for the rest of the run";
    EXPECT_THAT(statusTextsOf("The Line is Busy"),
                ElementsAre("Please wait 10 seconds.  Will make 4 more tries.",
                            "Please wait 10 seconds.  Will make 3 more tries."));
    ASSERT_NE(ui::CurrentStatusWindow(), nullptr);
    EXPECT_EQ(ui::CurrentStatusWindow()->Title(), "Finished");
    EXPECT_EQ(ui::CurrentStatusWindow()->Get(3)->DataGet(), "Registration successful");
}

TEST_F(ModemRegistrationTest, FiveBusyLinesCountDownThenAsk)
{
    settings().ComPort = modemPort;
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort, {"--script", "BUSY"});
    ScriptedUser user;
    for (int call = 0; call < 5; ++call)
        user.press(dialingWindow, ui::OK_EVENT);
    user.answer("Try Again?", "No");
    RealTime real;

    EXPECT_EQ(modem::runRetryDriver(settings()), 0);

    EXPECT_TRUE(user.finished());
    EXPECT_THAT(statusTextsOf("The Line is Busy"),
                ElementsAre("Please wait 10 seconds.  Will make 4 more tries.",
                            "Please wait 10 seconds.  Will make 3 more tries.",
                            "Please wait 10 seconds.  Will make 2 more tries.",
                            "Please wait 10 seconds.  Will make 1 more try."));
    // Each busy text stays until the next call shows its own.
    const auto& texts = desktop.statusTexts();
    const auto& ticks = desktop.statusTicks();
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
        if (texts[i].rfind("The Line is Busy", 0) == 0) {
            EXPECT_GE(ticks[i + 1] - ticks[i], 10027u) << texts[i];
        }
    }
    EXPECT_THAT(questions(user),
                ElementsAre("Try Again? | The line is busy.  Would you like to try again?"));
    EXPECT_EQ(modem::busyRedialCounter, 0);
    auto commands = modem.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "ATDT" + number), 5);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "ATH"), 0);
    EXPECT_LT(real.seconds(), 15.0) << "forty seconds of waiting on the test clock";
}

TEST_F(ModemRegistrationTest, TheSearchTriesTheConfiguredPortThenNineDownToOne)
{
    settings().ComPort = 3;
    settings().IRQ = 4;
    PortWatch ports(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort);
    ScriptedUser user;

    EXPECT_EQ(modem::FindModem(settings()), 1);

    EXPECT_THAT(ports.opened(), ElementsAre(3, 9, 8, 7, 6));
    EXPECT_EQ(settings().ComPort, modemPort);
    EXPECT_EQ(settings().IRQ, 0);
    EXPECT_THAT(modem.commands(), ElementsAre("ATE1Q0V1"));
}

TEST_F(ModemRegistrationTest, NoModemAnywhereAsksAndSearchesAgainWithoutThePortConfigured)
{
    settings().ComPort = 3;
    PortWatch ports(world.files(), {});
    ScriptedUser user;
    user.answer("No Modem", "Yes").answer("No Modem", "No");

    EXPECT_EQ(modem::runRetryDriver(settings()), 0);

    EXPECT_THAT(ports.opened(), ElementsAre(3, 9, 8, 7, 6, 5, 4, 2, 1, // configured port first
                                            9, 8, 7, 6, 5, 4, 3, 2, 1));
    EXPECT_EQ(settings().ComPort, 0);
    EXPECT_THAT(questions(user),
                ElementsAre("No Modem | A modem could not be found.  Do you want to try the "
                            "modem again?",
                            "No Modem | A modem could not be found.  Do you want to try the "
                            "modem again?"));
}

TEST_F(ModemRegistrationTest, EachFailureIsPutToTheUser)
{
    settings().ComPort = modemPort;
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort,
                         {"--script", "NO ANSWER,NO CARRIER,ERROR,NO DIALTONE"});
    ScriptedUser user;
    user.press(dialingWindow, ui::OK_EVENT)
        .answer("No Answer", "Yes")
        .press(dialingWindow, ui::OK_EVENT)
        .answer("No Carrier", "Yes")
        .press(dialingWindow, ui::OK_EVENT)
        .answer("Other Errors", "Yes")
        .press(dialingWindow, ui::OK_EVENT)
        .closeByTitleBar("No Dialtone?"); // not a Yes

    EXPECT_EQ(modem::runRetryDriver(settings()), 0);

    EXPECT_TRUE(user.finished());
    EXPECT_THAT(questions(user),
                ElementsAre("No Answer | No Answer  Would you like to try again?",
                            "No Carrier | No Carrier  Would you like to try again?",
                            "Other Errors | Modem Dialing Error  Would you like to try again?",
                            "No Dialtone? | No dialtone detected.  Make sure the phone line is "
                            "connected\n to your computer.  Would you like to try again?"));
}

TEST_F(ModemRegistrationTest, AMissingInformationFileIsAnInternalError)
{
    fs::remove(world.files().programDir() / "oldinfo");
    settings().ComPort = modemPort;
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort);
    ScriptedUser user; // no dialing window: the question comes first
    user.answer("Other Errors", "No");

    ModemRegistration(programRecord);

    EXPECT_EQ(registrationSent, 0);
    EXPECT_THAT(questions(user),
                ElementsAre("Other Errors | Internal Error  Would you like to try again?"));
    EXPECT_THAT(modem.commands(),
                ElementsAre("ATE1Q0V1", "ATE1Q0V1", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1"));
    EXPECT_FALSE(fs::exists(world.files().programDir() / "oldinfo")) << "not created";
}

TEST_F(ModemRegistrationTest, ACancelledDialingWindowEndsTheChannelWithoutAQuestion)
{
    settings().ComPort = modemPort;
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort);
    ScriptedUser user;
    user.closeByTitleBar(dialingWindow);

    ModemRegistration(programRecord);

    EXPECT_EQ(registrationSent, 0);
    EXPECT_EQ(registrationCancelled, 1);
    EXPECT_TRUE(user.finished());
    EXPECT_TRUE(questions(user).empty());
    EXPECT_THAT(modem.commands(),
                ElementsAre("ATE1Q0V1", "ATE1Q0V1", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1", "ATX4"))
        << "nothing dialed, nothing hung up";
}

TEST_F(ModemRegistrationTest, AReceiverThatCancelsFailsTheTransfer)
{
    settings().ComPort = modemPort;
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort, {"--cancel-after", "1"});
    ScriptedUser user;
    user.press(dialingWindow, ui::OK_EVENT).answer("Other Errors", "No");

    ModemRegistration(programRecord);

    EXPECT_EQ(registrationSent, 0);
    EXPECT_THAT(questions(user),
                ElementsAre("Other Errors | Internal Error  Would you like to try again?"));
    auto commands = modem.commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "ATH") << "hung up after the failed transfer";
    EXPECT_EQ(commands.back(), "ATH");
    EXPECT_FALSE(fs::exists(modem.receiveDir() / "oldinfo") &&
                 world.files().readFile(modem.receiveDir() / "oldinfo") ==
                     world.files().readFile("oldinfo"));
}

} // namespace
