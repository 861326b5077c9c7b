// Dial-up calls and whole modem registrations against the modem simulator, with lrzsz's rb as
// the server. The scripted user plays the user; time runs on a test clock.

#include "modem/DialUpCall.h"
#include "modem/DialingConfigureWindow.h"
#include "modem/ModemRegistration.h"
#include "modem/Serial.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <QRadioButton>

#include <climits>
#include <random>

#include <sys/inotify.h>

using modemtest::ModemSimulator;
using testing::ElementsAre;
using ui::ScriptedUser;
namespace fs = std::filesystem;

namespace {

constexpr int comPort = 5;
const QString dialing = QStringLiteral("DIALING_CONFIGURE");
const std::string number = modemtest::defaultSettings().PhoneNumber.str();
const std::vector<std::string> initialised = {"ATE1Q0V1", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1", "ATX4"};

// Settings whose dial command has 227 characters before the number.
void lengthenDialCommand(RegistrationSettings& settings, std::size_t numberLength)
{
    settings.CallWaiting = 1;
    settings.DialString = "ATD" + std::string(71, ' ');
    settings.OutsideNumber = std::string(74, '9');
    settings.CallWaitingTone = std::string(74, '*');
    settings.PhoneNumber = std::string(numberLength, '5');
}

TEST(DialCommandTest, ComposedFromTheSettingsAndRefusedNeverCutWhenTooLong)
{
    const std::tuple<int, const char*, int, const char*> cases[] = {{0, "", 0, "ATDT"},
                                                                    {1, "", 0, "ATDP"},
                                                                    {0, "9,", 1, "ATDT9,,,*77,,"},
                                                                    {1, "", 1, "ATDP1177,,"}};
    for (const auto& [mode, outside, callWaiting, command] : cases) {
        RegistrationSettings settings = modemtest::defaultSettings();
        settings.Mode = mode;
        settings.OutsideNumber = outside;
        settings.CallWaiting = callWaiting;
        EXPECT_EQ(modem::composeDialCommand(settings), command + number) << command;
    }
    RegistrationSettings settings = modemtest::defaultSettings();
    lengthenDialCommand(settings, 24);
    ASSERT_TRUE(modem::composeDialCommand(settings));
    EXPECT_EQ(modem::composeDialCommand(settings)->size(), 251u);
    lengthenDialCommand(settings, 25);
    EXPECT_FALSE(modem::composeDialCommand(settings));
    EXPECT_STREQ(modem::transferStatusMessage(-913), "Transfer Failed - Unknown error");
    const std::pair<const char*, long> prefixes[] = {{"  12", 12},
                                                     {"+7", 7},
                                                     {"-5", -5},
                                                     {"81abc", 81},
                                                     {"- 5", 0},
                                                     {"*70", 0},
                                                     {"99999999999999999999999", LONG_MAX},
                                                     {"-99999999999999999999999", LONG_MIN}};
    for (auto [text, value] : prefixes)
        EXPECT_EQ(modem::prefixValueOf(text), value) << '"' << text << '"';
}

class ModemTest : public ::testing::Test
{
protected:
    ModemTest()
    {
        resetProgramState();
        modem::resetModemState();
        programDirectory = world.files().programDir().string();
        world.files().writeFile("oldinfo", modemtest::sampleInformationFile());
        modemtest::blockOtherPorts(world.files(), {comPort});
        settings = modemtest::defaultSettings();
        settings.ComPort = comPort;
        settings.DialToneCommand = settings.DialToneOn.view();
    }

    modem::CallResult call(const char* file = "oldinfo")
    {
        return modem::DialUpCall(settings, (world.files().programDir() / file).c_str());
    }
    std::string lastCommand(const ModemSimulator& modem)
    {
        auto commands = modem.commands();
        return commands.empty() ? "(none)" : commands.back();
    }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    modemtest::WatchingDesktop desktop{&clock};
    RegistrationSettings& settings = programRecord.settings;
};

TEST_F(ModemTest, NoDeviceOrASilentOneIsNoModem)
{
    {
        modemtest::blockOtherPorts(world.files(), {});
        ScriptedUser user; // no window may ask anything
        EXPECT_EQ(call(), modem::PortError);
        ASSERT_NE(ui::CurrentStatusWindow(), nullptr);
        EXPECT_EQ(ui::CurrentStatusWindow()->Title(), "Initializing modem");
    }
    fs::remove(world.files().windowsDir() / "dosdevices/com5");
    ModemSimulator modem(world.files(), comPort, {"--mute"});
    ScriptedUser user;
    std::uint32_t start = clock.now();
    EXPECT_EQ(call(), modem::NoModem);
    EXPECT_GE(clock.now() - start, 2 * 2000u) << "two attempts of two seconds each";
}

TEST_F(ModemTest, TheInitialisationIsTriedTwiceAndTheWindowsChoicesMakeTheDialCommand)
{
    const std::string dial = "ATDT" + number;
    const std::tuple<const char*, std::vector<std::string>, std::vector<std::string>> cases[] = {
        {"AT&B1", {"--ignore", "ATZ"}, {"ATE1Q0V1", "ATZ", "ATZ", "ATX4", dial}},
        {"", {}, {"ATE1Q0V1", "ATZ", "ATX4", dial}}};
    for (const auto& [initString2, options, commands] : cases) {
        settings.InitString = "ATZ";
        settings.InitString2 = initString2;
        std::vector<std::string> all = options;
        all.insert(all.end(), {"--script", "BUSY"});
        ModemSimulator modem(world.files(), comPort, all);
        ScriptedUser user;
        user.press(dialing, ui::OK_EVENT);
        EXPECT_EQ(call(), modem::Busy) << initString2;
        EXPECT_EQ(modem.commands(), commands) << initString2;
    }
    settings = modemtest::defaultSettings();
    settings.ComPort = comPort;
    settings.CallWaiting = 1;
    ModemSimulator modem(world.files(), comPort, {"--script", "BUSY"});
    ScriptedUser user;
    user.type(dialing, "PREFIX", "9").choose(dialing, "PULSE").press(dialing, ui::OK_EVENT);
    EXPECT_EQ(call(), modem::Busy);
    EXPECT_EQ(lastCommand(modem), "ATDP9,,,1177,," + number);
    EXPECT_EQ(settings.Mode, 1);
    EXPECT_EQ(settings.OutsideNumber.str(), "9,");
}

TEST_F(ModemTest, NothingIsDialedWithoutTheFileAConfirmationOrRoomForTheCommand)
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
        user.closeByTitleBar(dialing);
        EXPECT_EQ(call(), modem::Cancelled);
        EXPECT_TRUE(user.finished());
        EXPECT_EQ(modem.commands(), initialised) << "nothing dialed, nothing hung up";
    }
    lengthenDialCommand(settings, 25);
    ModemSimulator modem(world.files(), comPort);
    ScriptedUser user;
    user.press(dialing, ui::OK_EVENT);
    EXPECT_EQ(call(), modem::ModemError);
    EXPECT_EQ(modem.commands(), initialised);
}

TEST_F(ModemTest, AReceiverThatNeverAnswersIsTooManyRetriesAndMustBeHungUp)
{
    modemtest::QuickTiming timing;
    GFYmodem::defaultTiming() = {300, 100, 2};
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

TEST_F(ModemTest, TheDialingWindow)
{
    auto run = [&](ScriptedUser& user) {
        ui::RunWindowModal(new DialingConfigureWindow(settings));
        EXPECT_TRUE(user.finished());
    };
    // A confirmed prefix becomes the outside number; one that is no number leaves it.
    const std::tuple<std::string, const char*, std::string, long> cases[] = {
        {"9", "", "9,", 9},
        {"*70", "8,", "8,", 0},
        {std::string(80, '9'), "", std::string(73, '9') + ",", LONG_MAX}};
    for (const auto& [typed, before, after, value] : cases) {
        settings.OutsideNumber = before;
        ScriptedUser user;
        user.type(dialing, "PREFIX", QString::fromStdString(typed)).press(dialing, ui::OK_EVENT);
        run(user);
        EXPECT_EQ(settings.OutsideNumber.str(), after) << typed;
        EXPECT_EQ(modem::outsidePrefixValue(), value) << typed;
        EXPECT_EQ(registrationCancelled, 0) << typed;
    }
    // Every window starts at tone, whatever was chosen before; Mode is left to the call.
    settings.Mode = 1;
    for (bool pulse : {true, false}) {
        ScriptedUser user;
        user.inspect(dialing, [](QWidget* shown) {
            EXPECT_TRUE(shown->findChild<QRadioButton*>("TONE")->isChecked());
        });
        if (pulse)
            user.choose(dialing, "PULSE");
        run(user.press(dialing, ui::OK_EVENT));
        EXPECT_EQ(modem::pulseDialingChosen(), pulse);
    }
    EXPECT_EQ(settings.Mode, 1);
    // Cancel asks first; No keeps the window as it was.
    settings.OutsideNumber = "8,";
    ScriptedUser user;
    user.type(dialing, "PREFIX", "9")
        .choose(dialing, "PULSE")
        .press(dialing, ui::CANCEL_EVENT)
        .answer("Registration", "No")
        .inspect(dialing,
                 [](QWidget* shown) {
                     EXPECT_EQ(ScriptedUser::fieldText(shown, "PREFIX"), "9");
                     EXPECT_TRUE(shown->findChild<QRadioButton*>("PULSE")->isChecked());
                 })
        .press(dialing, ui::CANCEL_EVENT)
        .answer("Registration", "Yes");
    run(user);
    EXPECT_EQ(registrationCancelled, 1);
    EXPECT_EQ(settings.OutsideNumber.str(), "8,") << "nothing confirmed, nothing changed";
    EXPECT_FALSE(modem::pulseDialingChosen());
    const std::string asked =
        "Registration | Completing this registration allows you to receive technical support."
        "\n\nThis program provides a way for you to register by using your modem or the mail."
        "\n\nAre you sure you want to cancel?";
    EXPECT_THAT(testsupport::boxesSeen(user), ElementsAre(asked, asked));
}

TEST_F(ModemTest, ARegistrationThroughBusyLinesAsTheModemHearsItAndTheServerGetsIt)
{
    // No port configured: the search finds the modem. Seven busy lines (four waits, the
    // question, two more waits), then the call that sends every byte value in long blocks.
    settings.ComPort = 0;
    std::mt19937 random(1);
    std::string contents = "+++\x18\x18\x06\x15\x04";
    while (contents.size() < 3000)
        contents += static_cast<char>(random() & 0xFF);
    world.files().writeFile("oldinfo", contents);
    ModemSimulator modem(world.files(), comPort,
                         {"--script", "BUSY,BUSY,BUSY,BUSY,BUSY,BUSY,BUSY,CONNECT"});
    ScriptedUser user;
    std::vector<std::string> commands = {"ATE1Q0V1"}; // the search's test
    for (int call = 0; call < 8; ++call) {
        user.press(dialing, ui::OK_EVENT);
        if (call == 4)
            user.answer("Try Again?", "Yes");
        commands.insert(commands.end(), initialised.begin(), initialised.end());
        commands.push_back("ATDT" + number);
    }
    commands.insert(commands.end(), {"+++", "ATH", "ATH"});

    ModemRegistration(programRecord);

    EXPECT_EQ(registrationSent, 1);
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(modem.commands(), commands);
    EXPECT_TRUE(world.files().readFile(modem.receiveDir() / "oldinfo") == contents + "\r\n2")
        << "the server gets oldinfo byte for byte, with the count of busy redials";
    EXPECT_TRUE(world.files().readFile("oldinfo") == contents + "\r\n2");
    EXPECT_EQ(settings.ComPort, comPort);
    EXPECT_EQ(modem::busyRedialCounter, 2) << "kept for the rest of the run";
    EXPECT_EQ(ui::CurrentStatusWindow(), nullptr) << "closed at the end";
    EXPECT_THAT(testsupport::boxesSeen(user),
                ElementsAre("Try Again? | The line is busy.  Would you like to try again?"));
    const auto& texts = desktop.statusTexts();
    EXPECT_THAT(texts, testing::IsSupersetOf(
                           {"Initializing modem | Initializing modem...",
                            "Modem Status | Modem Initialized", "Sending Data | Dialing ...",
                            "Sending Data | Transferring the user information ...",
                            "Finished | Disconnecting the modem"}));
    // Each busy text shows for the whole wait, until the next call shows its own.
    std::vector<std::string> busy;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].starts_with("The Line is Busy | ")) {
            busy.push_back(texts[i].substr(19));
            ASSERT_LT(i + 1, texts.size());
            EXPECT_GE(desktop.statusTicks()[i + 1] - desktop.statusTicks()[i], 10027u);
        }
    }
    const std::string wait = "Please wait 10 seconds.  Will make ";
    EXPECT_THAT(busy,
                ElementsAre(wait + "4 more tries.", wait + "3 more tries.", wait + "2 more tries.",
                            wait + "1 more try.", wait + "4 more tries.", wait + "3 more tries."));
}

// Points the other COM ports at plain files, which cannot be ports, and returns the order in
// which search() opened them.
std::vector<int> portsOpenedBy(const testsupport::TestWorld& world, std::vector<int> except,
                               const std::function<void()>& search)
{
    fs::path devices = world.root() / "devices";
    fs::create_directories(devices);
    for (int port = 1; port <= 9; ++port) {
        std::string name = std::to_string(port), link = "com" + name;
        if (std::find(except.begin(), except.end(), port) == except.end()) {
            world.writeFile(devices / name, "");
            fs::remove(world.windowsDir() / "dosdevices" / link);
            fs::create_symlink(devices / name, world.windowsDir() / "dosdevices" / link);
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

TEST_F(ModemTest, TheSearchTriesTheConfiguredPortThenNineDownToOneAndAsksWhenNoneAnswers)
{
    settings.ComPort = 3;
    settings.IRQ = 4;
    {
        ModemSimulator modem(world.files(), comPort);
        ScriptedUser user;
        auto search = [&] {
            EXPECT_EQ(modem::FindModem(settings), 1);
        };
        EXPECT_THAT(portsOpenedBy(world.files(), {comPort}, search), ElementsAre(3, 9, 8, 7, 6));
        EXPECT_EQ(settings.ComPort, comPort);
        EXPECT_EQ(settings.IRQ, 0);
        EXPECT_THAT(modem.commands(), ElementsAre("ATE1Q0V1"));
    }
    settings.ComPort = 3;
    ScriptedUser user;
    user.answer("No Modem", "Yes").answer("No Modem", "No");
    auto retry = [&] {
        EXPECT_EQ(modem::runRetryDriver(settings), 0);
    };
    EXPECT_THAT(portsOpenedBy(world.files(), {}, retry),
                ElementsAre(3, 9, 8, 7, 6, 5, 4, 2, 1, 9, 8, 7, 6, 5, 4, 3, 2, 1));
    EXPECT_EQ(settings.ComPort, 0) << "searched again without the port configured";
    const std::string asked =
        "No Modem | A modem could not be found.  Do you want to try the modem again?";
    EXPECT_THAT(testsupport::boxesSeen(user), ElementsAre(asked, asked));
}

TEST_F(ModemTest, EachFailureIsPutToTheUser)
{
    // The last call connects to a receiver that cancels mid-transfer.
    ModemSimulator modem(
        world.files(), comPort,
        {"--script", "NO ANSWER,NO CARRIER,ERROR,NO DIALTONE,CONNECT", "--cancel-after", "1"});
    ScriptedUser user;
    for (const char* title : {"No Answer", "No Carrier", "Other Errors", "No Dialtone?"})
        user.press(dialing, ui::OK_EVENT).answer(title, "Yes");
    user.press(dialing, ui::OK_EVENT).closeByTitleBar("Other Errors"); // not a Yes

    EXPECT_EQ(modem::runRetryDriver(settings), 0);

    EXPECT_TRUE(user.finished());
    EXPECT_THAT(testsupport::boxesSeen(user),
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
