// One dial-up call against the modem simulator: what is sent in which case, what comes back,
// and when the line is hung up. The user's part is played by the scripted user; time runs on
// a test clock, paced so that the simulator gets the time to answer.

#include "modem/DialUpCall.h"
#include "modem/ModemRegistration.h"
#include "modem/Serial.h"
#include "modem/Ymodem.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Event.h"
#include "ui/testing/ScriptedUser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using modemtest::ModemSimulator;
using modemtest::QuickTiming;
using modemtest::RealTime;
using modemtest::WatchingDesktop;
using testing::ElementsAre;
using testing::ElementsAreArray;
using ui::ScriptedUser;

namespace fs = std::filesystem;

namespace {

constexpr int comPort = 5;

const QString dialingWindow = QStringLiteral("DIALING_CONFIGURE");
const std::string number = modemtest::defaultSettings().PhoneNumber.str();

TEST(DialCommandTest, ComposedFromTheSettings)
{
    struct Case
    {
        const char* what;
        int mode;
        const char* outside;
        int callWaiting;
        const char* command;
    } cases[] = {
        {"the defaults, tone", 0, "", 0, "ATDT"},
        {"pulse", 1, "", 0, "ATDP"},
        {"an outside line", 0, "9,", 0, "ATDT9,,,"},
        {"an outside line and no call waiting", 0, "9,", 1, "ATDT9,,,*77,,"},
        {"no call waiting on a pulse line", 1, "", 1, "ATDP1177,,"},
    };
    for (const auto& c : cases) {
        RegistrationSettings settings = modemtest::defaultSettings();
        settings.Mode = c.mode;
        settings.OutsideNumber = c.outside;
        settings.CallWaiting = c.callWaiting;
        EXPECT_EQ(modem::composeDialCommand(settings), std::string(c.command) + number) << c.what;
    }
}

TEST(DialCommandTest, ACommandTooLongIsRefusedNeverCut)
{
    RegistrationSettings settings = modemtest::defaultSettings();
    settings.CallWaiting = 1;
    settings.DialString = "ATD" + std::string(71, ' ');
    settings.OutsideNumber = std::string(74, '9');
    settings.CallWaitingTone = std::string(74, '*');
    // 74 + "T" + 74 + ",," + 74 + ",," = 227 characters before the number.
    settings.PhoneNumber = std::string(24, '5');
    ASSERT_TRUE(modem::composeDialCommand(settings));
    EXPECT_EQ(modem::composeDialCommand(settings)->size(), 251u);
    settings.PhoneNumber = std::string(25, '5');
    EXPECT_FALSE(modem::composeDialCommand(settings));
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

    std::string dial() const { return "ATDT" + number; }
    std::vector<std::string> initialised() const
    {
        return {"ATE1Q0V1", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1", "ATX4"};
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    WatchingDesktop desktop{&clock};
    RegistrationSettings settings = modemtest::defaultSettings();
    std::filesystem::path path;
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
    struct Case
    {
        const char* what;
        const char* initString2;
        std::vector<std::string> options;
        std::vector<std::string> commands;
    } cases[] = {
        {"a modem that ignores its initialisation",
         "AT&B1",
         {"--ignore", "ATZ"},
         {"ATE1Q0V1", "ATZ", "ATZ", "ATX4", dial()}},
        {"no second string", "", {}, {"ATE1Q0V1", "ATZ", "ATX4", dial()}},
    };
    for (const auto& c : cases) {
        settings.InitString = "ATZ";
        settings.InitString2 = c.initString2;
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--script", "BUSY"});
        ModemSimulator modem(world.files(), comPort, options);
        ScriptedUser user;
        user.press(dialingWindow, ui::OK_EVENT);
        EXPECT_EQ(call(), modem::Busy) << c.what;
        EXPECT_EQ(modem.commands(), c.commands) << c.what;
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

TEST_F(DialUpCallTest, ADialCommandTooLongIsADialingErrorAndNothingIsDialed)
{
    settings.DialString = "ATD" + std::string(71, ' ');
    settings.PhoneNumber = std::string(74, '5');
    settings.OutsideNumber = std::string(74, '9');
    settings.CallWaiting = 1;
    settings.CallWaitingTone = std::string(74, '*');
    ModemSimulator modem(world.files(), comPort);
    ScriptedUser user;
    user.press(dialingWindow, ui::OK_EVENT);
    EXPECT_EQ(call(), modem::ModemError);
    EXPECT_THAT(modem.commands(), ElementsAreArray(initialised()));
}

TEST_F(DialUpCallTest, RefusalsAreReturnedWithoutHangingUp)
{
    struct Case
    {
        const char* reply;
        modem::CallResult result;
    } cases[] = {
        {"BUSY", modem::Busy},
        {"NO DIALTONE", modem::NoDialTone},
        {"NO DIAL TONE", modem::NoDialTone},
        {"NO ANSWER", modem::NoAnswer},
        {"NO CARRIER", modem::NoCarrier},
        {"ERROR", modem::ModemError},
    };
    std::string script;
    for (const auto& c : cases)
        script += std::string(script.empty() ? "" : ",") + c.reply;
    ModemSimulator modem(world.files(), comPort, {"--script", script});
    for (const auto& c : cases) {
        ScriptedUser user;
        user.press(dialingWindow, ui::OK_EVENT);
        EXPECT_EQ(call(), c.result) << c.reply;
        EXPECT_EQ(modem.commands().back(), dial()) << c.reply << ": no hang-up follows";
    }
    EXPECT_EQ(world.files().readFile("oldinfo"), modemtest::sampleInformationFile())
        << "no connection, no line";
}

TEST_F(DialUpCallTest, SendInformationReportsEachOutcome)
{
    const std::string sample = modemtest::sampleInformationFile();
    struct Case
    {
        const char* what;
        std::vector<std::string> options;
        int result;
        int hangUp;
        const char* status;
        std::string appended;
        bool received;
    } cases[] = {
        {"the server takes the file", {}, modem::Sent, 1, "Transfer completed", "\r\n0", true},
        {"the server cancels",
         {"--cancel-after", "1"},
         modem::TransferFailed,
         1,
         "Transfer Failed - Remote canceled",
         "\r\n0",
         false},
        {"nobody answers",
         {"--no-receiver"},
         modem::TransferFailed,
         1,
         "Transfer Failed - Too many retries",
         "\r\n0",
         false},
        {"a busy line", {"--script", "BUSY"}, modem::Busy, 0, "Dialing ...", "", false},
    };
    for (const auto& c : cases) {
        world.files().writeFile("oldinfo", sample);
        ModemSimulator modem(world.files(), comPort, c.options);
        // Only a receiver that never answers is waited for less than the protocol's time.
        std::optional<QuickTiming> timing;
        if (c.options == std::vector<std::string>{"--no-receiver"})
            timing.emplace();
        {
            GFComWin32 link(comPort - 1, 4096, 2048, 0);
            GFSerial port(&link);
            int hangUp = -1;
            std::string file = programDirectory + "/oldinfo";
            EXPECT_EQ(modem::SendInformation(port, dial().c_str(), file.c_str(), hangUp), c.result)
                << c.what;
            EXPECT_EQ(hangUp, c.hangUp) << c.what;
        }
        ASSERT_NE(ui::CurrentStatusWindow(), nullptr);
        EXPECT_EQ(ui::CurrentStatusWindow()->Title(), "Sending Data") << c.what;
        EXPECT_EQ(ui::CurrentStatusWindow()->Get(3)->DataGet(), c.status) << c.what;
        EXPECT_EQ(world.files().readFile("oldinfo"), sample + c.appended) << c.what;
        fs::path received = modem.receiveDir() / "oldinfo";
        EXPECT_EQ(fs::exists(received) && world.files().readFile(received) == sample + c.appended,
                  c.received)
            << c.what;
    }
}

} // namespace
