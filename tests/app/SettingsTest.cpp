#include "app/Settings.h"

#include "tests/support/FakeClock.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test
{
protected:
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

TEST_F(SettingsTest, DefaultsWithoutRegisterIniAndValuesFromIt)
{
    clock.setToday(2026, 12, 4);
    EXPECT_EQ(ReadSettings(programRecord), 1);
    const RegistrationSettings& s = programRecord.settings;
    // The modem's commands and number are the modem tests'.
    EXPECT_EQ(s.ProductName.str() + "|" + s.Date.str() + "|" + s.osName.str() + "|" +
                  s.DialToneOff.str() + "|" + s.AltPhoneNumber.str() + s.OutsideNumber.str(),
              "|04-DEC-26|Unknown|ATX3|");
    EXPECT_EQ(std::vector<int>({s.Installed, s.ComPort, s.IRQ, s.Mode, s.CallWaiting}),
              std::vector<int>({1, 0, 0, 0, 0}));
    std::string names;
    for (std::uint32_t version : {0x0A04u, 0xC0000A04u, 0x0904u, 0x0004u, 0x0005u})
        names += osNameFromVersion(version) + "|";
    EXPECT_EQ(names, "Windows 98|Windows 98|Windows 95|Windows 95|Unknown|");

    // Values from the file, cut to their fields.
    const std::string longValue(300, 'x');
    read("[product]\r\nProductName=" + longValue +
         "\r\nDate=04-JUL-99\r\nInstalled=0\r\n[modem]\r\nComPort=2\r\n"
         "IRQ=5\r\nPhoneNumber=5551234\r\nDialString=" +
         longValue + "\r\n[user]\r\nOutsideNumber=9,\r\nCallWaiting=1\r\n");
    EXPECT_EQ(s.ProductName.str() + "|" + s.DialString.str() + "|" + s.Date.str() + "|" +
                  s.PhoneNumber.str() + "|" + s.OutsideNumber.str(),
              std::string(75, 'x') + "|" + std::string(74, 'x') + "|04-JUL-99|5551234|9,");
    EXPECT_EQ(std::vector<int>({s.Installed, s.ComPort, s.IRQ, s.CallWaiting}),
              std::vector<int>({0, 2, 5, 1}));

    // The init strings go together, Mode is Pulse or not, Date has nine characters.
    clock.setToday(2000, 1, 9);
    const std::string hayes = "AT&FE1Q0V1&C1&D2S0=0|AT&B1|", today = "|09-JAN-00";
    const std::string cases[][2] = {
        // REGISTER.INI; InitString|InitString2|Mode|Date as read
        {"[modem]\r\nInitString=ATZ", "ATZ||0" + today},
        {"[modem]\r\nInitString2=ATM0", hayes + "0" + today},
        {"[modem]\r\nInitString=\r\nInitString2=ATM0", hayes + "0" + today},
        {"[modem]\r\nInitString2=ATM0\r\nInitString=ATZ", "ATZ|ATM0|0" + today},
        {"[user]\r\nMode=pulse\r\n[product]\r\nDate=whatever!", hayes + "1|whatever!"},
        {"[user]\r\nMode=  PULSE  \r\n[product]\r\nDate=1999-07-04", hayes + "1" + today},
        {"[user]\r\nMode=P\r\n[product]\r\nDate=4-JUL-99", hayes + "0" + today},
        {"[user]\r\nMode=Pulses", hayes + "0" + today},
    };
    for (const auto& [ini, expected] : cases) {
        read(ini + "\r\n");
        EXPECT_EQ(s.InitString.str() + "|" + s.InitString2.str() + "|" + std::to_string(s.Mode) +
                      "|" + s.Date.str(),
                  expected)
            << ini;
    }
}

// WIN.INI [windows] run= before and after.
TEST_F(SettingsTest, RemoveAutoStartEntry)
{
    const std::string a200(200, 'a'), b31(31, 'b');
    const std::string cases[][2] = {
        {"C:\\TOOLS\\CLOCK.EXE C:\\APP\\register.exe", "C:\\TOOLS\\CLOCK.EXE "},
        {"C:\\APP\\REGISTER.EXE", ""},
        {"A.EXE\tC:\\APP\\Register.exe\tB.EXE", "A.EXE\tB.EXE"},
        {"D:\\REGISTER\\AGAIN.EXE C:\\APP\\REGISTER.EXE", "C:\\APP\\REGISTER.EXE"},
        {"REGISTER.EXE  B.EXE", " B.EXE"}, // only one separator goes
        // 255 characters, as many as the profile buffer holds, and more.
        {"C:\\" + a200 + "\\REGISTER.EXE C:\\" + b31 + ".EXE", "C:\\" + b31 + ".EXE"},
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

    // Without the word in run= the file is not written at all, nor made.
    const std::string without = "[windows]\nrun=C:\\CLOCK.EXE\n; REGISTER\nload=REGISTER.EXE\n"
                                "[Desktop]\nrun=C:\\APP\\REGISTER.EXE\n";
    world.writeFile(world.windowsDir() / "WIN.INI", without);
    RemoveAutoStartEntry();
    EXPECT_EQ(world.readFile(world.windowsDir() / "WIN.INI"), without);
    std::filesystem::remove(world.windowsDir() / "WIN.INI");
    RemoveAutoStartEntry();
    EXPECT_FALSE(world.exists(world.windowsDir() / "WIN.INI"));
}

// The user's own file wins, else the first system folder's copy; a relative folder is none.
TEST_F(SettingsTest, OwnFileWinsThenTheFirstSystemFolderThatHoldsOne)
{
    const auto first = world.root() / "first", second = world.root() / "second";
    testsupport::ScopedEnv dirs("XDG_CONFIG_DIRS",
                                "relative:" + first.string() + ":" + second.string());
    // The folder, the dial string written there and the one read then.
    for (const auto& [folder, written, read] :
         {std::tuple{world.programDir() / "relative/pantrix", "ATDRELATIVE", "ATD"},
          {second / "pantrix", "ATDSECOND", "ATDSECOND"},
          {first / "pantrix", "ATDFIRST", "ATDFIRST"},
          {world.windowsDir(), "ATDOWN", "ATDOWN"}}) {
        world.writeFile(folder / "REGISTER.INI", std::string("[modem]\nDialString=") + written);
        resetProgramState();
        ReadSettings(programRecord);
        EXPECT_EQ(programRecord.settings.DialString.str(), read);
    }
}

} // namespace
