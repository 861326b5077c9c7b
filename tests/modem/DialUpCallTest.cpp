// One dial-up call against the modem simulator: what is sent in which case, what comes back,
// and when the line is hung up. The scripted user plays the user; time runs on a test clock.

#include "modem/DialUpCall.h"
#include "modem/ModemRegistration.h"
#include "modem/Serial.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Event.h"
#include "ui/testing/ScriptedUser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using modemtest::ModemSimulator;
using ui::ScriptedUser;

namespace {

constexpr int comPort = 5;

const QString dialingWindow = QStringLiteral("DIALING_CONFIGURE");
const std::string number = modemtest::defaultSettings().PhoneNumber.str();

TEST(DialCommandTest, ComposedFromTheSettings)
{
    struct Case
    {
        int mode;
        const char* outside;
        int callWaiting;
        const char* command;
    } cases[] = {{0, "", 0, "ATDT"},
                 {1, "", 0, "ATDP"},
                 {0, "9,", 1, "ATDT9,,,*77,,"},
                 {1, "", 1, "ATDP1177,,"}};
    for (const auto& c : cases) {
        RegistrationSettings settings = modemtest::defaultSettings();
        settings.Mode = c.mode;
        settings.OutsideNumber = c.outside;
        settings.CallWaiting = c.callWaiting;
        EXPECT_EQ(modem::composeDialCommand(settings), c.command + number) << c.command;
    }
}

// Settings whose dial command has 227 characters before the number.
void lengthenDialCommand(RegistrationSettings& settings, std::size_t numberLength)
{
    settings.CallWaiting = 1;
    settings.DialString = "ATD" + std::string(71, ' ');
    settings.OutsideNumber = std::string(74, '9');
    settings.CallWaitingTone = std::string(74, '*');
    settings.PhoneNumber = std::string(numberLength, '5');
}

TEST(DialCommandTest, ACommandTooLongIsRefusedNeverCut)
{
    RegistrationSettings settings = modemtest::defaultSettings();
    lengthenDialCommand(settings, 24);
    ASSERT_TRUE(modem::composeDialCommand(settings));
    EXPECT_EQ(modem::composeDialCommand(settings)->size(), 251u);
    lengthenDialCommand(settings, 25);
    EXPECT_FALSE(modem::composeDialCommand(settings));
}

TEST(TransferStatusTest, AnUnknownResultIsAnUnknownError)
{
    EXPECT_STREQ(modem::transferStatusMessage(-913), "Transfer Failed - Unknown error");
    EXPECT_STREQ(modem::transferStatusMessage(1), "Transfer Failed - Unknown error");
}

class DialUpCallTest : public ::testing::Test
{
protected:
    DialUpCallTest()
    {
        resetProgramState();
        modem::resetModemState();
        programDirectory = world.files().programDir().string();
        world.files().writeFile("oldinfo", modemtest::sampleInformationFile());
        modemtest::blockOtherPorts(world.files(), {comPort});
        settings.ComPort = comPort;
        settings.DialToneCommand = settings.DialToneOn.view();
    }

    modem::CallResult call(const char* file = "oldinfo")
    {
        path = world.files().programDir() / file;
        return modem::DialUpCall(settings, path.c_str());
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    modemtest::WatchingDesktop desktop{&clock};
    RegistrationSettings settings = modemtest::defaultSettings();
    std::filesystem::path path;
    const std::vector<std::string> initialised = {"ATE1Q0V1", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1",
                                                  "ATX4"};
};

TEST_F(DialUpCallTest, NoDeviceAtThePort)
{
    modemtest::blockOtherPorts(world.files(), {});
    ScriptedUser user; // no window may ask anything
    EXPECT_EQ(call(), modem::PortError);
    ASSERT_NE(ui::CurrentStatusWindow(), nullptr);
    EXPECT_EQ(ui::CurrentStatusWindow()->Title(), "Initializing modem");
}

TEST_F(DialUpCallTest, ADeviceThatAnswersNothingIsNoModem)
{
    ModemSimulator modem(world.files(), comPort, {"--mute"});
    ScriptedUser user;
    std::uint32_t start = clock.now();
    EXPECT_EQ(call(), modem::NoModem);
    EXPECT_GE(clock.now() - start, 2 * 2000u) << "two attempts of two seconds each";
}

TEST_F(DialUpCallTest, TheInitialisationIsTriedTwiceAndTheModemDialedInAnyCase)
{
    const std::string dial = "ATDT" + number;
    struct Case
    {
        const char* initString2;
        std::vector<std::string> options;
        std::vector<std::string> commands;
    } cases[] = {
        {"AT&B1", {"--ignore", "ATZ"}, {"ATE1Q0V1", "ATZ", "ATZ", "ATX4", dial}},
        {"", {}, {"ATE1Q0V1", "ATZ", "ATX4", dial}},
    };
    for (const auto& c : cases) {
        settings.InitString = "ATZ";
        settings.InitString2 = c.initString2;
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--script", "BUSY"});
        ModemSimulator modem(world.files(), comPort, options);
        ScriptedUser user;
        user.press(dialingWindow, ui::OK_EVENT);
        EXPECT_EQ(call(), modem::Busy) << c.initString2;
        EXPECT_EQ(modem.commands(), c.commands) << c.initString2;
    }
}

TEST_F(DialUpCallTest, TheDialingWindowsChoicesMakeTheCommand)
{
    settings.CallWaiting = 1;
    ModemSimulator modem(world.files(), comPort, {"--script", "BUSY"});
    ScriptedUser user;
    user.type(dialingWindow, "PREFIX", "9")
        .choose(dialingWindow, "PULSE")
        .press(dialingWindow, ui::OK_EVENT);
    EXPECT_EQ(call(), modem::Busy);
    EXPECT_EQ(modem.commands().back(), "ATDP9,,,1177,," + number);
    EXPECT_EQ(settings.Mode, 1);
    EXPECT_EQ(settings.OutsideNumber.str(), "9,");
}

TEST_F(DialUpCallTest, NothingIsDialedWithoutTheFileAConfirmationOrRoomForTheCommand)
{
    {
        ModemSimulator modem(world.files(), comPort);
        ScriptedUser user; // no dialing window: the missing file ends the call before it
        EXPECT_EQ(call("missing"), modem::NoInfoFile);
        EXPECT_EQ(modem.commands(), std::vector(initialised.begin(), initialised.end() - 1));
    }
    {
        ModemSimulator modem(world.files(), comPort);
        ScriptedUser user;
        user.closeByTitleBar(dialingWindow);
        EXPECT_EQ(call(), modem::Cancelled);
        EXPECT_TRUE(user.finished());
        EXPECT_EQ(modem.commands(), initialised) << "nothing dialed, nothing hung up";
    }
    lengthenDialCommand(settings, 25);
    ModemSimulator modem(world.files(), comPort);
    ScriptedUser user;
    user.press(dialingWindow, ui::OK_EVENT);
    EXPECT_EQ(call(), modem::ModemError);
    EXPECT_EQ(modem.commands(), initialised);
}

TEST_F(DialUpCallTest, AReceiverThatNeverAnswersIsTooManyRetriesAndMustBeHungUp)
{
    modemtest::QuickTiming timing;
    ModemSimulator modem(world.files(), comPort, {"--no-receiver"});
    GFComWin32 link(comPort - 1, 4096, 2048, 0);
    GFSerial port(&link);
    int hangUp = -1;
    std::string file = programDirectory + "/oldinfo";
    EXPECT_EQ(modem::SendInformation(port, ("ATDT" + number).c_str(), file.c_str(), hangUp),
              modem::TransferFailed);
    EXPECT_EQ(hangUp, 1);
    ASSERT_NE(ui::CurrentStatusWindow(), nullptr);
    EXPECT_EQ(ui::CurrentStatusWindow()->Title(), "Sending Data");
    EXPECT_EQ(ui::CurrentStatusWindow()->Get(3)->DataGet(), "Transfer Failed - Too many retries");
    EXPECT_EQ(world.files().readFile("oldinfo"), modemtest::sampleInformationFile() + "\r\n0");
}

} // namespace
