#include "app/Settings.h"

#include "BuildConfig.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SettingsTest : public ::testing::Test
{
protected:
    void TearDown() override { resetProgramState(); }

    const RegistrationSettings& read(const std::string& registerIni)
    {
        resetProgramState();
        world.writeFile(world.windowsDir() / "REGISTER.INI", registerIni);
        EXPECT_EQ(ReadSettings(programRecord), 1);
        return programRecord.settings;
    }

    testsupport::TestWorld world;
    testsupport::FakeClock clock;
};

TEST_F(SettingsTest, WithoutRegisterIniEveryFieldHasItsDefault)
{
    clock.setToday(2026, 12, 4);
    EXPECT_EQ(ReadSettings(programRecord), 1);
    const RegistrationSettings& s = programRecord.settings;
    const std::string texts[][2] = {
        {s.ProductName.str(), ""},
        {s.Date.str(), "04-DEC-26"},
        {s.osName.str(), "Unknown"},
        {s.InitString.str(), "AT&FE1Q0V1&C1&D2S0=0"},
        {s.InitString2.str(), "AT&B1"},
        {s.TestString.str(), "ATE1Q0V1"},
        {s.DialString.str(), "ATD"},
        {s.Pulse.str() + s.Tone.str(), "PT"},
        {s.OffLine.str(), "+++"},
        {s.HangUp.str(), "ATH"},
        {s.CallWaitingPulse.str() + ' ' + s.CallWaitingTone.str(), "1177 *77"},
        {s.DialToneOn.str() + ' ' + s.DialToneOff.str(), "ATX4 ATX3"},
        {s.PhoneNumber.str(), config::dialInNumber},
        {s.AltPhoneNumber.str() + s.OutsideNumber.str() + s.DialToneCommand.str(), ""},
    };
    for (const auto& text : texts)
        EXPECT_EQ(text[0], text[1]);
    EXPECT_EQ(s.Installed, 1);
    EXPECT_EQ(s.ComPort + s.IRQ + s.Mode + s.CallWaiting, 0);
}

TEST_F(SettingsTest, ValuesFromTheFile)
{
    const auto& s = read("[product]\r\nProductName=Pantrix Morsels Deluxe\r\nDate=04-JUL-99\r\n"
                         "Installed=0\r\n[modem]\r\nComPort=2\r\nIRQ=5\r\nPhoneNumber=5551234\r\n"
                         "[user]\r\nMode=Pulse\r\nOutsideNumber=9,\r\nCallWaiting=1\r\n");
    EXPECT_EQ(s.ProductName, "Pantrix Morsels Deluxe");
    EXPECT_EQ(s.Date, "04-JUL-99");
    EXPECT_EQ(s.Installed, 0);
    EXPECT_EQ(s.ComPort, 2);
    EXPECT_EQ(s.IRQ, 5);
    EXPECT_EQ(s.PhoneNumber, "5551234");
    EXPECT_EQ(s.Mode, 1);
    EXPECT_EQ(s.OutsideNumber, "9,");
    EXPECT_EQ(s.CallWaiting, 1);
}

TEST_F(SettingsTest, InitStringsGoTogether)
{
    const char* cases[][3] = {
        // [modem] lines, InitString, InitString2
        {"InitString=ATZ", "ATZ", ""},
        {"InitString2=ATM0", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1"},
        {"InitString=\r\nInitString2=ATM0", "AT&FE1Q0V1&C1&D2S0=0", "AT&B1"},
        {"InitString2=ATM0\r\nInitString=ATZ", "ATZ", "ATM0"},
    };
    for (const auto& c : cases) {
        const auto& s = read(std::string("[modem]\r\n") + c[0] + "\r\n");
        EXPECT_EQ(s.InitString, c[1]) << c[0];
        EXPECT_EQ(s.InitString2, c[2]) << c[0];
    }
}

TEST_F(SettingsTest, PulseModeIsTheWordPulseInAnyCase)
{
    for (const char* pulse : {"pulse", "PULSE", "  Pulse  "})
        EXPECT_EQ(read(std::string("[user]\r\nMode=") + pulse + "\r\n").Mode, 1) << pulse;
    for (const char* tone : {"P", "Tone", "Pulses", ""})
        EXPECT_EQ(read(std::string("[user]\r\nMode=") + tone + "\r\n").Mode, 0) << tone;
}

TEST_F(SettingsTest, DateOfAnyOtherLengthThanNineIsToday)
{
    const char* cases[][2] = {
        {"whatever!", "whatever!"}, // the length is all that counts
        {"1999-07-04", "09-JAN-00"},
        {"4-JUL-99", "09-JAN-00"},
        {"", "09-JAN-00"},
    };
    clock.setToday(2000, 1, 9);
    for (const auto& c : cases)
        EXPECT_EQ(read(std::string("[product]\r\nDate=") + c[0] + "\r\n").Date, c[1]) << c[0];
    clock.setToday(2105, 10, 31);
    EXPECT_EQ(todayAsDayMonthYear(), "31-OCT-05");
}

TEST_F(SettingsTest, OperatingSystemName)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0x0A04, "Windows 98"}, {0xC0000A04, "Windows 98"}, {0x5A04, "Windows 98"},
        {0x0004, "Windows 95"}, {0x0904, "Windows 95"},     {0x0005, "Unknown"},
        {0x0A03, "Unknown"},
    };
    for (const auto& [version, name] : cases)
        EXPECT_EQ(osNameFromVersion(version), name) << std::hex << version;
}

TEST_F(SettingsTest, LongValuesAreCutToTheirFields)
{
    const std::string longValue(300, 'x');
    const auto& s =
        read("[product]\r\nProductName=" + longValue + "\r\n[modem]\r\nDialString=" + longValue +
             "\r\nInitString=" + std::string(255, 'i') + "\r\n");
    EXPECT_EQ(s.ProductName, std::string(75, 'x'));
    EXPECT_EQ(s.DialString, std::string(74, 'x'));
    EXPECT_EQ(s.InitString, std::string(74, 'i'));
}

// WIN.INI [windows] run= before and after.
TEST_F(SettingsTest, RemoveAutoStartEntry)
{
    const std::string a200(200, 'a'), b31(31, 'b');
    const std::string cases[][2] = {
        {"C:\\APP\\REGISTER.EXE C:\\TOOLS\\CLOCK.EXE", "C:\\TOOLS\\CLOCK.EXE"},
        {"C:\\TOOLS\\CLOCK.EXE C:\\APP\\register.exe", "C:\\TOOLS\\CLOCK.EXE "},
        {"C:\\APP\\REGISTER.EXE", ""},
        {"A.EXE\tC:\\APP\\Register.exe\tB.EXE", "A.EXE\tB.EXE"},
        {"C:\\APP\\REGISTER.EXE D:\\REGISTER\\AGAIN.EXE", "D:\\REGISTER\\AGAIN.EXE"},
        {"REGISTER.EXE  B.EXE", " B.EXE"}, // only one separator goes
        // Values of 255 characters, as many as the profile buffer holds.
        {"C:\\" + a200 + "\\REGISTER.EXE C:\\" + b31 + ".EXE", "C:\\" + b31 + ".EXE"},
        {"C:\\" + b31 + ".EXE C:\\" + a200 + "\\REGISTER.EXE", "C:\\" + b31 + ".EXE "},
        // Longer: the entries of other programs beyond 255 characters survive.
        {"REGISTER.EXE C:\\" + a200 + "\\ONE.EXE C:\\" + a200 + "\\TWO.EXE",
         "C:\\" + a200 + "\\ONE.EXE C:\\" + a200 + "\\TWO.EXE"},
    };
    for (const auto& [run, expected] : cases) {
        world.writeFile(world.windowsDir() / "WIN.INI",
                        "[windows]\r\nload=\r\nrun=" + run + "\r\n[other]\r\nrun=REGISTER\r\n");
        RemoveAutoStartEntry();
        EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"),
                  "[windows]\r\nload=\r\nrun=" + expected + "\r\n[other]\r\nrun=REGISTER\r\n")
            << run;
    }
}

TEST_F(SettingsTest, WinIniWithoutTheWordIsNotWritten)
{
    for (const char* contents : {"[windows]\nrun=C:\\CLOCK.EXE\n; REGISTER\nload=REGISTER.EXE\n",
                                 "[Desktop]\r\nrun=C:\\APP\\REGISTER.EXE\r\n", ""}) {
        world.writeFile(world.windowsDir() / "WIN.INI", contents);
        RemoveAutoStartEntry();
        EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"), contents);
    }
    std::filesystem::remove(world.windowsDir() / "WIN.INI");
    RemoveAutoStartEntry();
    EXPECT_FALSE(world.exists(world.windowsDir() / "WIN.INI"));
}

} // namespace
