#include "platform/DosDevices.h"
#include "platform/Process.h"
#include "platform/System.h"
#include "platform/WindowsDirectory.h"
#include "tests/support/TestWorld.h"

#include <thread>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using testsupport::TestWorld;
namespace fs = std::filesystem;

TEST(DosDevices, DrivesComPortsTheWindowsDirectoryAndProgramStarts)
{
    TestWorld world;
    const fs::path devices = world.windowsDir() / "dosdevices";
    const std::string d = devices.string();
    const std::pair<std::string, std::string> cases[] = {{"d:\\pantrixID", d + "/d:/pantrixID"},
                                                         {"C:", d + "/c:"},
                                                         {"C:\\", d + "/c:"},
                                                         {"c:dir\\file", d + "/c:/dir/file"},
                                                         {"E:\\GIFT\\", d + "/e:/GIFT/"},
                                                         {"\\MORSELS.REG", "/MORSELS.REG"},
                                                         {"rel\\a.txt", "rel/a.txt"},
                                                         {"1:\\x", "1:/x"},
                                                         {"", ""}};
    for (const auto& [windows, linux] : cases)
        EXPECT_EQ(mapDosPath(windows), linux) << windows;
    // Names on a drive are found whatever their case. The program records its arguments and input.
    world.writeFile(world.root() / "cd/gift/setup.exe",
                    "#!/bin/sh\ncat > \"$1.in\"\nprintf '%s|' \"$@\" > \"$1.tmp\" && mv \"$1.tmp\" "
                    "\"$1\"\n");
    fs::create_directories(devices);
    fs::create_symlink(world.root() / "cd", devices / "D:");
    EXPECT_EQ(mapDosPath("D:\\GIFT\\SETUP.EXE"), (devices / "D:/gift/setup.exe").string());
    EXPECT_EQ(mapDosPath("d:\\Gift\\NEW.TXT"), (devices / "D:/gift/NEW.TXT").string());
    fs::create_symlink("/dev/pts/nothing-here", devices / "com2"); // dangling still counts
    EXPECT_EQ(comPortDevice(1), "/dev/ttyS0");
    EXPECT_EQ(comPortDevice(2), (devices / "com2").string());
    EXPECT_EQ(comPortDevice(0), "");

    using Env = std::optional<std::string>;
    const std::tuple<Env, Env, Env, std::string> dirs[] = {
        {"/w//", "/data", "/h", "/w"},
        {"/", std::nullopt, "/h", "/"},
        {"", "/data", "/h", "/data/pantrix/windows"},
        {std::nullopt, "relative", "/h/", "/h/.local/share/pantrix/windows"}};
    for (const auto& [windir, dataHome, home, expected] : dirs) {
        testsupport::ScopedEnv a("WINDIR", windir), b("XDG_DATA_HOME", dataHome), c("HOME", home);
        EXPECT_EQ(GetWindowsDirectoryA(), expected);
    }

    fs::permissions(world.root() / "cd/gift/setup.exe", fs::perms(0755));
    const fs::path out = world.programDir() / "out";
    EXPECT_GT(WinExec("D:\\GIFT\\SETUP.EXE " + out.string() + " one \"two  three\"", 1), 31u);
    for (int i = 0; i < 500 && !fs::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(world.readFile(out), out.string() + "|one|two  three|");
    EXPECT_EQ(world.readFile(out.string() + ".in"), "") << "input must be /dev/null";
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "the program is not our child";

    world.writeFile("plain.txt", "not a program");
    world.writeFile("garbage.exe", std::string("\x7f\x01\x02\x03garbage", 11));
    fs::permissions("garbage.exe", fs::perms(0755));
    fs::create_directory("folder");
    const std::pair<unsigned, std::vector<std::string>> starts[] = {
        {2, {"   ", "./missing.exe", "no-such-program-on-path-xyz"}},
        {3, {"./plain.txt/x"}},
        {5, {"./plain.txt", "./folder"}},
        {11, {"./garbage.exe arg"}}};
    for (const auto& [expected, commands] : starts)
        for (const auto& command : commands)
            EXPECT_EQ(WinExec(command, 1), expected) << command;
}

// Real ticks are milliseconds; a peer that has gone makes a write fail instead of raising SIGPIPE.
TEST(System, TicksAndAVanishedPeer)
{
    std::uint32_t start = GetTickCount();
    platform::clock().sleep(20);
    EXPECT_GE(static_cast<std::uint32_t>(GetTickCount() - start), 20u);
    int fds[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    sys::UniqueFd writer(fds[1]);
    ::close(fds[0]);
    auto gone = sys::writeAll(writer.get(), "hello");
    ASSERT_TRUE(gone.isError());
    EXPECT_EQ(gone.error().code, EPIPE);
}
