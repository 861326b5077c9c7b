// The serial layer over a real pseudo-terminal: reads that never block, and the line set up
// while open and left as it was found.

#include "modem/Serial.h"
#include "tests/modem/ModemTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include <termios.h>
#include <unistd.h>

using modemtest::TestLine;

namespace {

constexpr int comPort = 4;

class SerialTest : public ::testing::Test
{
protected:
    testsupport::TestWorld world;
};

TEST_F(SerialTest, GetStringReturnsAtOnceWithTerminatedText)
{
    TestLine line(world, comPort);
    GFComWin32 link(comPort - 1, 4096, 2048, 0);
    GFSerial port(&link);
    auto waitFor = [&](const char* bytes) {
        line.put(bytes);
        port.WaitReadable(1000);
        usleep(20000);
    };

    unsigned char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(port.GetString(buffer, sizeof buffer, -1, 0), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
    EXPECT_EQ(buffer[0], '\0');

    waitFor("\r\nOK\r\nMORE");
    std::memset(buffer, 'x', sizeof buffer);
    // Room 5 takes 4 bytes and the terminator; the rest waits for the next call.
    EXPECT_EQ(port.GetString(buffer, 5, -1, 0), 4u);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\r\nOK");
    EXPECT_EQ(buffer[5], 'x') << "nothing written beyond the room given";
    EXPECT_EQ(port.GetString(buffer + 4, sizeof buffer - 4, -1, 0), 6u);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\r\nOK\r\nMORE");

    waitFor("ABC");
    buffer[0] = 'x';
    EXPECT_EQ(port.GetString(buffer, 0, -1, 0), 0u);
    EXPECT_EQ(buffer[0], 'x') << "no room: nothing touched";
    EXPECT_EQ(port.GetString(buffer, 1, -1, 0), 0u);
    EXPECT_EQ(buffer[0], '\0') << "room for the terminator only";
    EXPECT_EQ(port.GetString(buffer, sizeof buffer, -1, 0), 3u);
}

TEST_F(SerialTest, TheLineIsSetUpWhileOpenAndRestoredWhenThePortCloses)
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
        EXPECT_EQ(status.SetHandShake(4, 12), 0);
        EXPECT_EQ(GFDataFormat(&port).SetUp(57600, 'N', 8, 1), 0);
        termios open{};
        ASSERT_EQ(tcgetattr(line.master(), &open), 0);
        EXPECT_FALSE(open.c_lflag & (ECHO | ICANON));
        EXPECT_FALSE(open.c_oflag & OPOST);
        EXPECT_EQ(cfgetospeed(&open), B57600);
        EXPECT_TRUE(link.Current().c_cflag & CRTSCTS);
        EXPECT_EQ(link.Current().c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_FALSE(link.Current().c_cflag & (PARENB | CSTOPB));
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
