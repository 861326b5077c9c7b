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

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

namespace fs = std::filesystem;
using modemtest::ModemSimulator;
using testing::ElementsAre;
using ui::ScriptedUser;

namespace {

constexpr int modemPort = 5;
const QString dialingWindow = QStringLiteral("DIALING_CONFIGURE");
const std::string number = modemtest::defaultSettings().PhoneNumber.str();

// Points the other COM ports at plain files, which cannot be ports, and returns the order in
// which search() opened them.
std::vector<int> portsOpenedBy(const testsupport::TestWorld& world, std::vector<int> except,
                               const std::function<void()>& search)
{
    fs::path devices = world.root() / "devices";
    fs::create_directories(devices);
    fs::create_directories(world.windowsDir() / "dosdevices");
    for (int port = 1; port <= 9; ++port) {
        std::string name = std::to_string(port);
        if (std::find(except.begin(), except.end(), port) == except.end()) {
            world.writeFile(devices / name, "");
            fs::create_symlink(devices / name, world.windowsDir() / "dosdevices" / ("com" + name));
        }
    }
    int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(watch, devices.c_str(), IN_OPEN);
    search();
    std::vector<int> opened;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t count; (count = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + count;) {
            auto* event = reinterpret_cast<inotify_event*>(at);
            if (event->len > 0)
                opened.push_back(std::atoi(event->name));
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    return opened;
}

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

    // The modem on its port, with the port configured and no other port usable.
    void configurePort()
    {
        settings().ComPort = modemPort;
        modemtest::blockOtherPorts(world.files(), {modemPort});
    }

    // The titles and texts of the questions the user was asked.
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
    modemtest::WatchingDesktop desktop{&clock};
};

TEST_F(ModemRegistrationTest, ARegistrationAsTheModemHearsItAndTheServerGetsIt)
{
    // No modem keys in REGISTER.INI: no port configured, so the search finds the modem.
    modemtest::blockOtherPorts(world.files(), {modemPort});
    ModemSimulator modem(world.files(), modemPort);
    ScriptedUser user;
    user.press(dialingWindow, ui::OK_EVENT);
    modemtest::RealTime real;

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
    configurePort();
    ModemSimulator modem(world.files(), modemPort, {"--script", "BUSY,BUSY,CONNECT"});
    ScriptedUser user;
    for (int call = 0; call < 3; ++call)
        user.press(dialingWindow, ui::OK_EVENT);

    EXPECT_EQ(modem::runRetryDriver(settings()), 1);

    EXPECT_EQ(world.files().readFile(modem.receiveDir() / "oldinfo"),
              modemtest::sampleInformationFile() + "\r\n2");
    EXPECT_EQ(modem::busyRedialCounter, 2) << "kept for the rest of the run";
    ASSERT_NE(ui::CurrentStatusWindow(), nullptr);
    EXPECT_EQ(ui::CurrentStatusWindow()->Get(3)->DataGet(), "Registration successful");
}

TEST_F(ModemRegistrationTest, FiveBusyLinesCountDownThenAsk)
{
    configurePort();
    ModemSimulator modem(world.files(), modemPort, {"--script", "BUSY"});
    ScriptedUser user;
    for (int call = 0; call < 5; ++call)
        user.press(dialingWindow, ui::OK_EVENT);
    user.answer("Try Again?", "No");
    modemtest::RealTime real;

    EXPECT_EQ(modem::runRetryDriver(settings()), 0);

    EXPECT_TRUE(user.finished());
    // Each busy text shows for the whole wait, until the next call shows its own.
    const auto& texts = desktop.statusTexts();
    std::vector<std::string> busy;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].rfind("The Line is Busy | ", 0) == 0) {
            busy.push_back(texts[i].substr(19));
            ASSERT_LT(i + 1, texts.size());
            EXPECT_GE(desktop.statusTicks()[i + 1] - desktop.statusTicks()[i], 10027u);
        }
    }
    EXPECT_THAT(busy, ElementsAre("Please wait 10 seconds.  Will make 4 more tries.",
                                  "Please wait 10 seconds.  Will make 3 more tries.",
                                  "Please wait 10 seconds.  Will make 2 more tries.",
                                  "Please wait 10 seconds.  Will make 1 more try."));
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
    ModemSimulator modem(world.files(), modemPort);
    ScriptedUser user;
    auto search = [&] {
        EXPECT_EQ(modem::FindModem(settings()), 1);
    };
    EXPECT_THAT(portsOpenedBy(world.files(), {modemPort}, search), ElementsAre(3, 9, 8, 7, 6));
    EXPECT_EQ(settings().ComPort, modemPort);
    EXPECT_EQ(settings().IRQ, 0);
    EXPECT_THAT(modem.commands(), ElementsAre("ATE1Q0V1"));
}

TEST_F(ModemRegistrationTest, NoModemAnywhereAsksAndSearchesAgainWithoutThePortConfigured)
{
    settings().ComPort = 3;
    ScriptedUser user;
    user.answer("No Modem", "Yes").answer("No Modem", "No");
    auto retry = [&] {
        EXPECT_EQ(modem::runRetryDriver(settings()), 0);
    };
    EXPECT_THAT(portsOpenedBy(world.files(), {}, retry),
                ElementsAre(3, 9, 8, 7, 6, 5, 4, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2, 1));
    EXPECT_EQ(settings().ComPort, 0);
    const std::string asked =
        "No Modem | A modem could not be found.  Do you want to try the modem again?";
    EXPECT_THAT(questions(user), ElementsAre(asked, asked));
}

TEST_F(ModemRegistrationTest, EachFailureIsPutToTheUser)
{
    configurePort();
    // The last call connects to a receiver that cancels mid-transfer.
    ModemSimulator modem(
        world.files(), modemPort,
        {"--script", "NO ANSWER,NO CARRIER,ERROR,NO DIALTONE,CONNECT", "--cancel-after", "1"});
    ScriptedUser user;
    for (const char* title : {"No Answer", "No Carrier", "Other Errors", "No Dialtone?"})
        user.press(dialingWindow, ui::OK_EVENT).answer(title, "Yes");
    user.press(dialingWindow, ui::OK_EVENT).closeByTitleBar("Other Errors"); // not a Yes

    EXPECT_EQ(modem::runRetryDriver(settings()), 0);

    EXPECT_TRUE(user.finished());
    EXPECT_THAT(questions(user),
                ElementsAre("No Answer | No Answer  Would you like to try again?",
                            "No Carrier | No Carrier  Would you like to try again?",
                            "Other Errors | Modem Dialing Error  Would you like to try again?",
                            "No Dialtone? | No dialtone detected.  Make sure the phone line is "
                            "connected\n to your computer.  Would you like to try again?",
                            "Other Errors | Internal Error  Would you like to try again?"));
    auto commands = modem.commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "ATH") << "hung up after the failed transfer";
    EXPECT_EQ(commands.back(), "ATH");
    fs::path received = modem.receiveDir() / "oldinfo";
    EXPECT_FALSE(fs::exists(received) &&
                 world.files().readFile(received) == world.files().readFile("oldinfo"));
}

} // namespace
