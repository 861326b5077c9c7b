// The serial layer over a real pseudo-terminal: which ports can be used, what goes out for
// each way of sending, reads that never block, and the device left as it was found.

#include "modem/Serial.h"
#include "tests/modem/ModemTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;
using modemtest::TestLine;

namespace {

constexpr int comPort = 4;

class SerialTest : public ::testing::Test
{
protected:
    testsupport::TestWorld world;

    fs::path comEntry(int port) const
    {
        return world.windowsDir() / "dosdevices" / ("com" + std::to_string(port));
    }
};

TEST_F(SerialTest, PortsThatCannotBeUsedReportAnError)
{
    fs::create_directories(world.windowsDir() / "dosdevices");
    world.writeFile(world.root() / "plain-file", "not a terminal");
    fs::create_directory(world.root() / "a-folder");
    fs::create_symlink(world.root() / "no-such-device", comEntry(1));
    fs::create_symlink(world.root() / "plain-file", comEntry(2));
    fs::create_symlink(world.root() / "a-folder", comEntry(3));

    struct Case
    {
        int portIndex; // 0 = COM1
        const char* what;
    } cases[] = {
        {-1, "ComPort 0: no port configured"},
        {0, "an entry whose device does not exist"},
        {1, "an entry that is a plain file"},
        {2, "an entry that is a folder"},
    };
    for (const auto& c : cases) {
        GFComWin32 link(c.portIndex, 4096, 2048, 0);
        GFSerial port(&link);
        unsigned short errors = 99;
        EXPECT_NE(port.GetCommError(errors), 0) << c.what;
        EXPECT_EQ(errors, 0) << c.what;
        // Nothing may be sent or read on it, and nothing fails loudly either.
        GFLineStatus status(&port);
        EXPECT_EQ(status.Cts(), 0) << c.what;
        EXPECT_LT(port.PutString(reinterpret_cast<const unsigned char*>("AT"), -3), 0);
        unsigned char buffer[8] = "junk";
        EXPECT_EQ(port.GetString(buffer, sizeof buffer, -1, 0), 0u) << c.what;
    }
}

TEST_F(SerialTest, APseudoTerminalIsAClearLineThatTakesTheFormat)
{
    TestLine line(world, comPort);
    GFComWin32 link(comPort - 1, 4096, 2048, 0);
    GFSerial port(&link);
    unsigned short errors = 0;
    ASSERT_EQ(port.GetCommError(errors), 0);
    GFLineStatus status(&port);
    EXPECT_EQ(status.SetHandShake(4, 12), 0);
    status.Status();
    EXPECT_EQ(status.Cts(), 1) << "no modem-control lines (ENOTTY) counts as clear-to-send";
    EXPECT_TRUE(link.Current().c_cflag & CRTSCTS);

    GFDataFormat format(&port);
    EXPECT_EQ(format.SetUp(57600, 'N', 8, 1), 0);
    EXPECT_EQ(cfgetospeed(&link.Current()), B57600);
    EXPECT_EQ(link.Current().c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(link.Current().c_cflag & (PARENB | CSTOPB));

    struct Refused
    {
        long baud;
        char parity;
        int dataBits;
        int stopBits;
    } refused[] = {{57601, 'N', 8, 1}, {57600, 'X', 8, 1}, {57600, 'N', 9, 1}, {57600, 'N', 8, 3}};
    for (const auto& r : refused) {
        EXPECT_LT(format.SetUp(r.baud, r.parity, r.dataBits, r.stopBits), 0) << r.baud << r.parity;
        EXPECT_EQ(cfgetospeed(&link.Current()), B57600) << "a refused format changes nothing";
    }
}

TEST_F(SerialTest, PutStringSendsCommandLinesAndRawText)
{
    TestLine line(world, comPort);
    GFComWin32 link(comPort - 1, 4096, 2048, 0);
    GFSerial port(&link);
    struct Case
    {
        const char* text;
        int mode;
        std::string sent;
    } cases[] = {
        {"ATE1Q0V1", -3, "ATE1Q0V1\r"},
        {"", -3, "\r"},
        {"+++", -1, "+++"},
        {"ATDT5551234", 4, "ATDT"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(port.PutString(reinterpret_cast<const unsigned char*>(c.text), c.mode), 0);
        EXPECT_EQ(line.take(), c.sent) << c.text << " with " << c.mode;
    }
}

TEST_F(SerialTest, GetStringReturnsAtOnceWithTerminatedText)
{
    TestLine line(world, comPort);
    GFComWin32 link(comPort - 1, 4096, 2048, 0);
    GFSerial port(&link);

    unsigned char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(port.GetString(buffer, sizeof buffer, -1, 0), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
    EXPECT_EQ(buffer[0], '\0') << "an empty read still leaves an empty text";

    line.put("\r\nOK\r\nMORE");
    port.WaitReadable(1000);
    usleep(20000);
    std::memset(buffer, 'x', sizeof buffer);
    // Room 5 takes 4 bytes and the terminator; the rest waits for the next call.
    EXPECT_EQ(port.GetString(buffer, 5, -1, 0), 4u);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\r\nOK");
    EXPECT_EQ(buffer[5], 'x') << "nothing written beyond the room given";
    EXPECT_EQ(port.GetString(buffer + 4, sizeof buffer - 4, -1, 0), 6u);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\r\nOK\r\nMORE");

    line.put("ABC");
    port.WaitReadable(1000);
    usleep(20000);
    buffer[0] = 'x';
    EXPECT_EQ(port.GetString(buffer, 0, -1, 0), 0u);
    EXPECT_EQ(buffer[0], 'x') << "no room: nothing touched";
    EXPECT_EQ(port.GetString(buffer, 1, -1, 0), 0u);
    EXPECT_EQ(buffer[0], '\0') << "room for the terminator only";
    EXPECT_EQ(port.GetString(buffer, sizeof buffer, -1, 0), 3u);
}

TEST_F(SerialTest, TheDeviceGetsItsOwnSettingsBackWhenThePortCloses)
{
    TestLine line(world, comPort);
    // A line in cooked mode with echo, as a terminal left it.
    termios cooked{};
    ASSERT_EQ(tcgetattr(line.master(), &cooked), 0);
    cooked.c_lflag |= ECHO | ICANON;
    cooked.c_oflag |= OPOST | ONLCR;
    cfsetospeed(&cooked, B9600);
    ASSERT_EQ(tcsetattr(line.master(), TCSANOW, &cooked), 0);
    {
        GFComWin32 link(comPort - 1, 4096, 2048, 0);
        GFSerial port(&link);
        GFLineStatus status(&port);
        status.SetHandShake(4, 12);
        GFDataFormat(&port).SetUp(57600, 'N', 8, 1);
        termios open{};
        ASSERT_EQ(tcgetattr(line.master(), &open), 0);
        EXPECT_FALSE(open.c_lflag & (ECHO | ICANON)) << "raw while the port is open";
        EXPECT_FALSE(open.c_oflag & OPOST);
        EXPECT_EQ(cfgetospeed(&open), B57600);
    }
    termios after{};
    ASSERT_EQ(tcgetattr(line.master(), &after), 0);
    EXPECT_TRUE(after.c_lflag & ECHO);
    EXPECT_TRUE(after.c_lflag & ICANON);
    EXPECT_TRUE(after.c_oflag & ONLCR);
    EXPECT_EQ(cfgetospeed(&after), B9600);
    EXPECT_FALSE(after.c_cflag & CRTSCTS);
}

} // namespace
