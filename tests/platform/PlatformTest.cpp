#include "platform/Desktop.h"
#include "platform/DosDevices.h"
#include "platform/Module.h"
#include "platform/Process.h"
#include "platform/System.h"
#include "platform/WindowsDirectory.h"
#include "tests/support/TestWorld.h"

#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using testsupport::ScopedEnv;
using testsupport::TestWorld;
namespace fs = std::filesystem;
using Elapsed = std::chrono::steady_clock;

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
    EXPECT_EQ(comPortDevice(9), "/dev/ttyS8");
    EXPECT_EQ(comPortDevice(0), "");

    using Env = std::optional<std::string>;
    const std::tuple<Env, Env, Env, std::string> dirs[] = {
        {"/w//", "/data", "/h", "/w"},
        {"/", std::nullopt, "/h", "/"},
        {"", "/data", "/h", "/data/pantrix/windows"},
        {std::nullopt, "relative", "/h/", "/h/.local/share/pantrix/windows"}};
    for (const auto& [windir, dataHome, home, expected] : dirs) {
        ScopedEnv a("WINDIR", windir), b("XDG_DATA_HOME", dataHome), c("HOME", home);
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

TEST(Services, ModuleAndClocks)
{
    EXPECT_EQ(GetModuleFileNameA(), fs::canonical("/proc/self/exe").string());
    std::uint32_t start = GetTickCount();
    platform::clock().sleep(20);
    EXPECT_GE(static_cast<std::uint32_t>(GetTickCount() - start), 20u);
    testsupport::FakeClock fake(0xFFFFFFF0u);
    fake.setTickStep(0);
    // The plain desktop waits on the clock in use: a ten-second wait costs nothing.
    auto real = Elapsed::now();
    desktop().pumpMessages(10'000);
    EXPECT_LT(Elapsed::now() - real, std::chrono::seconds(1));
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u + 10'000u);
}

TEST(System, WriteAllDeliversEveryByteOrGivesUp)
{
    int fds[2] = {-1, -1}, size = 4096; // a small buffer and a non-blocking writer
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    sys::UniqueFd writer(fds[1]), reader(fds[0]);
    std::string sent(300'000, '\0'), received;
    std::mt19937 random(7);
    for (auto& c : sent)
        c = static_cast<char>(random());
    std::thread slowReader([&, fd = reader.get()] {
        char chunk[3000];
        while (received.size() < sent.size()) {
            auto count = sys::readWithTimeout(fd, chunk, 1 + random() % sizeof chunk, 5000);
            if (count.isError() || count.value() == 0)
                break;
            received.append(chunk, count.value());
            if (random() % 4 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    auto written = sys::writeAll(writer.get(), sent, 20'000);
    slowReader.join();
    EXPECT_FALSE(written.isError()) << written.error().message();
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " arrived";

    auto start = Elapsed::now();
    auto stuck = sys::writeAll(writer.get(), std::string(1 << 20, 'x'), 100);
    ASSERT_TRUE(stuck.isError());
    EXPECT_EQ(stuck.error().code, ETIMEDOUT);
    EXPECT_GE(Elapsed::now() - start, std::chrono::milliseconds(95));
    EXPECT_LT(Elapsed::now() - start, std::chrono::seconds(3));
    reader.reset();
    auto gone = sys::writeAll(writer.get(), "hello");
    ASSERT_TRUE(gone.isError()) << "a vanished peer is an error, not a signal";
    EXPECT_EQ(gone.error().code, EPIPE);
}
