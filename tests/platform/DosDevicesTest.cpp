#include "platform/DosDevices.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
using testsupport::TestWorld;
namespace fs = std::filesystem;

namespace {

TEST(DosDevices, MapsDrivesAndBackslashes)
{
    TestWorld world;
    std::string devices = world.windowsDir().string() + "/dosdevices";
    const std::pair<std::string, std::string> cases[] = {
        {"D:\\GIFT\\SETUP.EXE", devices + "/d:/GIFT/SETUP.EXE"},
        {"d:\\pantrixID", devices + "/d:/pantrixID"},
        {"C:", devices + "/c:"},
        {"C:\\", devices + "/c:"},
        {"c:dir\\file", devices + "/c:/dir/file"},
        {"E:\\GIFT\\", devices + "/e:/GIFT/"},
        {"\\MORSELS.REG", "/MORSELS.REG"},
        {"rel\\a.txt", "rel/a.txt"},
        {"1:\\x", "1:/x"},
        {"/already/linux", "/already/linux"},
        {"", ""},
    };
    for (const auto& [windows, linux] : cases)
        EXPECT_EQ(mapDosPath(windows), linux) << windows;
}

TEST(DosDevices, FindsNamesOnTheDriveWhateverTheirCase)
{
    TestWorld world;
    fs::path devices = world.windowsDir() / "dosdevices";
    world.writeFile(world.root() / "cd/gift/setup.exe", "");
    fs::create_directories(devices);
    fs::create_symlink(world.root() / "cd", devices / "D:");
    EXPECT_EQ(mapDosPath("D:\\GIFT\\SETUP.EXE"), (devices / "D:/gift/setup.exe").string());
    EXPECT_EQ(mapDosPath("d:\\Gift\\NEW.TXT"), (devices / "D:/gift/NEW.TXT").string());
    EXPECT_EQ(mapDosPath("f:\\GIFT"), (devices / "f:/GIFT").string());
}

TEST(DosDevices, ComPortIsTheEntryOrTheSerialDevice)
{
    TestWorld world;
    fs::path devices = world.windowsDir() / "dosdevices";
    fs::create_directories(devices);
    fs::create_symlink("/dev/pts/nothing-here", devices / "com2"); // dangling still counts
    EXPECT_EQ(comPortDevice(1), "/dev/ttyS0");
    EXPECT_EQ(comPortDevice(2), (devices / "com2").string());
    EXPECT_EQ(comPortDevice(9), "/dev/ttyS8");
    EXPECT_EQ(comPortDevice(0), "");
    EXPECT_EQ(comPortDevice(-1), "");
}

} // namespace
