#include "platform/Process.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <sys/wait.h>

using namespace platform;
using testsupport::TestWorld;
namespace fs = std::filesystem;

namespace {

// Writes its arguments to the file named by the first one, and what it read from its input
// beside it, renaming the file into place last so the test never sees half of it.
constexpr char recorder[] = "#!/bin/sh\n"
                            "cat > \"$1.in\"\n"
                            "printf '%s|' \"$@\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"\n";

void makeProgram(const TestWorld& world, const fs::path& path, const std::string& bytes)
{
    world.writeFile(path, bytes);
    fs::permissions(path, fs::perms(0755));
}

bool waitForFile(const fs::path& path)
{
    for (int i = 0; i < 500 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(path);
}

TEST(WinExec, StartsTheProgramFromTheDriveWithoutWaitingOrZombies)
{
    TestWorld world;
    makeProgram(world, world.root() / "cd/GIFT/SETUP.EXE", recorder);
    fs::create_directories(world.windowsDir() / "dosdevices");
    fs::create_symlink(world.root() / "cd", world.windowsDir() / "dosdevices/d:");
    fs::path out = world.programDir() / "out";

    EXPECT_GT(WinExec("D:\\GIFT\\SETUP.EXE " + out.string() + " one \"two  three\"", 1), 31u);
    ASSERT_TRUE(waitForFile(out));
    EXPECT_EQ(world.readFile(out), out.string() + "|one|two  three|");
    EXPECT_EQ(world.readFile(out.string() + ".in"), "") << "input must be /dev/null";
    // The middle process is reaped and the program is not our child: nothing left to wait for.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(WinExec, ReportsAFailedStartAsThirtyOneOrLess)
{
    TestWorld world;
    world.writeFile("plain.txt", "not a program");
    makeProgram(world, "garbage.exe", std::string("\x7f\x01\x02\x03garbage", 11));
    fs::create_directory("folder");
    const std::pair<std::string, unsigned> cases[] = {
        {"", 2},
        {"   ", 2},
        {"./missing.exe", 2},
        {"/nonexistent-folder/x", 2},
        {"no-such-program-on-path-xyz", 2},
        {"./plain.txt/x", 3},
        {"./plain.txt", 5},
        {"./folder", 5},
        {"./garbage.exe arg", 11},
    };
    for (const auto& [command, expected] : cases)
        EXPECT_EQ(WinExec(command, 1), expected) << command;
}

} // namespace
