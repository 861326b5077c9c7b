// Dial-up calls and whole modem registrations against the modem simulator, with lrzsz's rb as
// the server. The scripted user plays the user; time runs on a test clock.

#include "BuildConfig.h"
#include "app/Settings.h"
#include "modem/DialUpCall.h"
#include "modem/ModemRegistration.h"
#include "modem/Serial.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <sys/inotify.h>
#include <unistd.h>

using modemtest::ModemSimulator;
using testing::ElementsAre;
using ui::ScriptedUser;

namespace {

constexpr int comPort = 5;
const QString dialing = QStringLiteral("DIALING_CONFIGURE");
const std::string number = config::dialInNumber;
const std::vector<std::string> initialised = {"ATE1Q0V1", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1", "ATX4"};

struct ModemTest : ::testing::Test
{
    ModemTest()
    {
        resetProgramState();
        modem::resetModemState();
        programDirectory = world.files().programDir().string();
        world.files().writeFile("oldinfo", "\r\nAnn\r\nSmith");
        modemtest::blockOtherPorts(world.files(), {comPort});
        ReadSettings(programRecord);
        settings.ComPort = comPort;
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    modemtest::WatchingDesktop desktop{&clock};
    RegistrationSettings& settings = programRecord.settings;
};

TEST_F(ModemTest, ARegistrationThroughBusyLinesAsTheModemHearsItAndTheServerGetsIt)
{
    // The search finds the modem. Seven busy lines (4 waits, the question, 2 waits), then a call
    // that sends every byte value. Call six dials pulse with prefix " +9", which later ones keep.
    settings.CallWaiting = 1;
    std::string contents = "+++\x18\x18\x06\x15\x04";
    for (int i = 0; i < 3000; ++i)
        contents += static_cast<char>(i * 97);
    world.files().writeFile("oldinfo", contents);
    ModemSimulator modem(world.files(), comPort,
                         {"--script", "BUSY,BUSY,BUSY,BUSY,BUSY,BUSY,BUSY,CONNECT"});
    ScriptedUser user;
    std::vector<std::string> commands = {"ATE1Q0V1"}; // the search's test
    for (int call = 0; call < 8; ++call) {
        if (call == 5)
            user.type(dialing, "PREFIX", " +9").choose(dialing, "PULSE");
        user.press(dialing, ui::OK_EVENT);
        if (call == 4)
            user.answer("Try Again?", "Yes");
        commands.insert(commands.end(), initialised.begin(), initialised.end());
        commands.push_back(call < 5    ? "ATDT*77,," + number
                           : call == 5 ? "ATDP +9,,,1177,," + number
                                       : "ATDT +9,,,*77,," + number);
    }
    commands.insert(commands.end(), {"+++", "ATH", "ATH"});

    // The registration closes the status window; the flow tests see that it is gone.
    EXPECT_EQ(modem::runRetryDriver(settings), 1);

    EXPECT_EQ(modem.commands(), commands);
    EXPECT_TRUE(world.files().readFile(modem.receiveDir() / "oldinfo") == contents + "\r\n2")
        << "the server gets oldinfo byte for byte, with the count of busy redials";
    ASSERT_NE(ui::CurrentStatusWindow(), nullptr);
    EXPECT_EQ(ui::CurrentStatusWindow()->Get(3)->DataGet(), "Registration successful");
    EXPECT_THAT(testsupport::boxesSeen(user),
                ElementsAre("Try Again? | The line is busy.  Would you like to try again?"));
    const auto& texts = desktop.statusTexts;
    EXPECT_THAT(texts, testing::IsSupersetOf(
                           {"Initializing modem | Initializing modem...",
                            "Modem Status | Modem Initialized", "Sending Data | Dialing ...",
                            "Sending Data | Transferring the user information ...",
                            "Finished | Disconnecting the modem"}));
    std::string busy; // each shows for the whole wait, until the next call shows its own
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
        if (texts[i].starts_with("The Line is Busy | Please wait 10 seconds.  Will make ")) {
            busy += texts[i].substr(54) + "|";
            EXPECT_GE(desktop.statusTicks[i + 1] - desktop.statusTicks[i], 10027u);
        }
    }
    EXPECT_EQ(busy, "4 more tries.|3 more tries.|2 more tries.|1 more try.|4 more tries.|3 more "
                    "tries.|");
}

// The order in which search() opened the COM ports that blockOtherPorts made plain files.
std::vector<int> portsOpenedBy(const testsupport::TestWorld& world,
                               const std::function<void()>& search)
{
    int watch = ::inotify_init1(IN_NONBLOCK);
    ::inotify_add_watch(watch, (world.root() / "devices").c_str(), IN_OPEN);
    search();
    std::vector<int> opened;
    alignas(inotify_event) char buffer[8192]; // room for every event here
    auto* event = reinterpret_cast<inotify_event*>(buffer);
    for (ssize_t left = ::read(watch, buffer, sizeof buffer); left > 0;) {
        if (event->len > 0) // not the folder itself
            opened.push_back(std::atoi(event->name));
        left -= sizeof(inotify_event) + event->len;
        event = reinterpret_cast<inotify_event*>(event->name + event->len);
    }
    ::close(watch);
    return opened;
}

TEST_F(ModemTest, TheSearchThePortAndEachCallThatFails)
{
    settings.DialToneCommand = settings.DialToneOn.view(); // the registration's part, skipped here
    settings.CallWaiting = 1; // a dial command of 227 characters before the number
    settings.DialString = "ATD" + std::string(71, ' ');
    settings.OutsideNumber = std::string(74, '9');
    settings.CallWaitingTone = std::string(74, '*');
    settings.PhoneNumber = std::string(24, '5');
    EXPECT_EQ(modem::composeDialCommand(settings).value_or("").size(), 251u);
    std::string messages;
    for (int status : {0, -903, -907, -908, -914, -927, -928, -931, -932, -913, 1})
        messages.append(modem::transferStatusMessage(status)).append("|");
    EXPECT_EQ(messages, "Transfer completed|Transfer Failed - File read error|Transfer Failed - "
                        "Too many retries|Transfer Failed - Too many errors|Transfer Failed - "
                        "Remote canceled|Transfer Failed - File engine not created|Transfer "
                        "Failed - File transfer protocol error|Transfer Failed - General transfer "
                        "error|Transfer Failed - Sent no Files|Transfer Failed - Unknown "
                        "error|Transfer Failed - Unknown error|");
    // COM9 answers nothing: its test is tried twice, two seconds each. The modem ignores ATZ.
    settings.ComPort = 3;
    ModemSimulator modem(world.files(), comPort,
                         {"--ignore", "ATZ", "--cancel-after", "1", "--script",
                          "NO ANSWER,NO CARRIER,ERROR,NO DIALTONE,CONNECT"}),
        mute(world.files(), 9, {"--mute"});
    ScriptedUser user;
    std::uint32_t start = clock.now();
    EXPECT_THAT(portsOpenedBy(world.files(), [&] { EXPECT_EQ(modem::FindModem(settings), 1); }),
                ElementsAre(3, 8, 7, 6));
    EXPECT_GE(clock.now() - start, 2 * 2000u);
    {
        // The port is set up as asked, and a read does not overrun the room it has.
        GFComWin32 link(comPort - 1, 4096, 2048, 0);
        GFSerial port(&link);
        EXPECT_EQ(GFLineStatus(&port).SetHandShake(4, 12), 0);
        EXPECT_EQ(GFDataFormat(&port).SetUp(57600, 'N', 8, 1), 0);
        EXPECT_EQ(cfgetospeed(&link.Current()), B57600);
        EXPECT_EQ(link.Current().c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS),
                  tcflag_t(CS8 | CRTSCTS));
        unsigned char buffer[16] = "xxxxxxxxxxxxxxx";
        port.PutString(reinterpret_cast<const unsigned char*>("ATE1"), GFSerial::commandLine);
        port.WaitReadable(1000);
        usleep(100000);
        EXPECT_EQ(port.GetString(buffer, 5, -1, 0), 4u) << "4 bytes and the terminator";
        EXPECT_EQ(port.GetString(buffer + 4, sizeof buffer - 4, -1, 0), 7u);
        EXPECT_STREQ(reinterpret_cast<char*>(buffer), "ATE1\r\r\nOK\r\n");
    }
    // Without the file the call ends before the dialing window; the initialisation is tried
    // twice, without its second string. Then a prefix one character too long for the command.
    settings.InitString = "ATZ";
    EXPECT_EQ(modem::DialUpCall(settings, "missing"), modem::NoInfoFile);
    settings.InitString = initialised[1];
    settings.InitString2 = "";
    settings.PhoneNumber = std::string(25, '5');
    user.type(dialing, "PREFIX", QString(80, '9')).press(dialing, ui::OK_EVENT);
    EXPECT_EQ(modem::DialUpCall(settings, "oldinfo"), modem::ModemError);
    EXPECT_EQ(settings.OutsideNumber.str(), std::string(73, '9') + ",");
    EXPECT_THAT(modem.commands(), ElementsAre("ATE1Q0V1", "ATE1", "ATE1Q0V1", "ATZ", "ATZ",
                                              "ATE1Q0V1", initialised[1], "ATX4"));

    // Each failure is put to the user; the fifth call connects to a receiver that cancels. Cancel
    // asks first; No keeps the window. Closed, it ends it all, without the prefix typed.
    settings.OutsideNumber = "8,";
    for (auto title : {"No Answer", "No Carrier", "Other Errors", "No Dialtone?", "Other Errors"})
        user.type(dialing, "PREFIX", "*70").press(dialing, ui::OK_EVENT).answer(title, "Yes");
    user.type(dialing, "PREFIX", "9")
        .press(dialing, ui::CANCEL_EVENT)
        .answer("Registration", "No")
        .closeByTitleBar(dialing);
    EXPECT_EQ(modem::runRetryDriver(settings), 0);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(settings.OutsideNumber.str(), "8,");
    auto commands = modem.commands();
    ASSERT_GE(commands.size(), 6u);
    EXPECT_THAT(std::vector(commands.end() - 6, commands.end()),
                ElementsAre("+++", "ATH", "ATH", "ATE1Q0V1", initialised[1], "ATX4"))
        << "a hang-up after the failed transfer; the cancelled call dials nothing";
    user.closeByTitleBar(dialing);
    EXPECT_EQ(modem::DialUpCall(settings, "oldinfo"), modem::Cancelled);

    modemtest::blockOtherPorts(world.files(), {});
    EXPECT_EQ(modem::DialUpCall(settings, "oldinfo"), modem::PortError);
    settings.ComPort = 3;
    user.answer("No Modem", "Yes").closeByTitleBar("No Modem"); // not a Yes
    EXPECT_THAT(
        portsOpenedBy(world.files(), [&] { EXPECT_EQ(modem::runRetryDriver(settings), 0); }),
        ElementsAre(3, 9, 8, 7, 6, 5, 4, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2, 1));
    EXPECT_EQ(settings.ComPort, 0) << "searched again without the port configured";
    const std::string asked =
        "No Modem | A modem could not be found.  Do you want to try the modem again?";
    EXPECT_THAT(testsupport::boxesSeen(user),
                ElementsAre("No Answer | No Answer  Would you like to try again?",
                            "No Carrier | No Carrier  Would you like to try again?",
                            "Other Errors | Modem Dialing Error  Would you like to try again?",
                            "No Dialtone? | No dialtone detected.  Make sure the phone line is "
                            "connected\n to your computer.  Would you like to try again?",
                            "Other Errors | Internal Error  Would you like to try again?",
                            testing::StartsWith("Registration | Completing this registration"),
                            asked, asked));
}

} // namespace
