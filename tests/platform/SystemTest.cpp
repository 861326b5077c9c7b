#include "platform/System.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace platform;
using sys::UniqueFd;
namespace fs = std::filesystem;

namespace {

struct Channel
{
    UniqueFd writer;
    UniqueFd reader;
};

// The three kinds of line that writeAll serves, each with a small buffer and a non-blocking
// writing end, so that a big write is split and has to wait for room again and again.
Channel makeChannel(const std::string& kind)
{
    int fds[2] = {-1, -1};
    if (kind == "pipe") {
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        ::fcntl(fds[1], F_SETPIPE_SZ, 4096);
    } else if (kind == "socket") {
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        int size = 4096;
        ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    } else { // a pseudo-terminal, as a serial port
        UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        EXPECT_TRUE(master.valid() && ::grantpt(master.get()) == 0 &&
                    ::unlockpt(master.get()) == 0);
        auto slave = sys::open(::ptsname(master.get()), O_RDWR | O_NOCTTY);
        EXPECT_FALSE(slave.isError());
        auto settings = sys::tcgetattr(slave.value());
        EXPECT_FALSE(settings.isError());
        ::cfmakeraw(&settings.value());
        EXPECT_FALSE(sys::tcsetattr(slave.value(), TCSANOW, settings.value()).isError());
        fds[0] = master.release();
        fds[1] = slave.value();
    }
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    return {UniqueFd(fds[1]), UniqueFd(fds[0])};
}

class WriteAll : public testing::TestWithParam<std::string>
{};

TEST_P(WriteAll, DeliversEveryByteToASlowReader)
{
    auto channel = makeChannel(GetParam());
    std::string sent(300'000, '\0');
    std::mt19937 random(7);
    for (auto& c : sent)
        c = static_cast<char>(random());
    std::string received;
    std::thread reader([&] {
        std::mt19937 pace(11);
        char chunk[3000];
        while (received.size() < sent.size()) {
            auto count =
                sys::readWithTimeout(channel.reader.get(), chunk, 1 + pace() % sizeof chunk, 5000);
            if (count.isError() || count.value() == 0)
                break;
            received.append(chunk, count.value());
            if (pace() % 4 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    auto written = sys::writeAll(channel.writer.get(), sent, 20'000);
    reader.join();
    EXPECT_FALSE(written.isError()) << written.error().message();
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes arrived";
}

TEST_P(WriteAll, GivesUpWhenNobodyReads)
{
    auto channel = makeChannel(GetParam());
    auto start = std::chrono::steady_clock::now();
    auto written = sys::writeAll(channel.writer.get(), std::string(1 << 20, 'x'), 100);
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(written.isError());
    EXPECT_EQ(written.error().code, ETIMEDOUT);
    EXPECT_GE(elapsed, std::chrono::milliseconds(95));
    EXPECT_LT(elapsed, std::chrono::seconds(3));
}

INSTANTIATE_TEST_SUITE_P(Lines, WriteAll, testing::Values("pipe", "socket", "pty"));

TEST(System, WriteToAVanishedPeerIsAnErrorNotASignal)
{
    auto channel = makeChannel("socket");
    channel.reader.reset();
    auto written = sys::writeAll(channel.writer.get(), "hello");
    ASSERT_TRUE(written.isError());
    EXPECT_EQ(written.error().code, EPIPE);
}

TEST(System, ReadWithTimeout)
{
    auto channel = makeChannel("pipe");
    char buffer[16];
    auto none = sys::readWithTimeout(channel.reader.get(), buffer, sizeof buffer, 30);
    ASSERT_TRUE(none.isError());
    EXPECT_EQ(none.error().code, ETIMEDOUT);
    EXPECT_FALSE(sys::pollReadable(channel.reader.get(), 0).value());

    ASSERT_FALSE(sys::writeAll(channel.writer.get(), "abc").isError());
    EXPECT_TRUE(sys::pollReadable(channel.reader.get(), 0).value());
    EXPECT_EQ(sys::readWithTimeout(channel.reader.get(), buffer, sizeof buffer, 30).value(), 3u);
    channel.writer.reset();
    EXPECT_EQ(sys::readWithTimeout(channel.reader.get(), buffer, sizeof buffer, 30).value(), 0u);
}

// A listening socket on loopback; with a backlog of 0 it takes one connection and leaves the
// rest hanging, as a server that has stopped answering would.
sockaddr_in listenOnLoopback(UniqueFd& listener, int backlog)
{
    listener.reset(sys::socket(AF_INET, SOCK_STREAM, 0).value());
    sockaddr_in address = sys::resolveIPv4("127.0.0.1", 0).value();
    EXPECT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener.get(), backlog), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return address;
}

TEST(System, ConnectSucceedsIsRefusedOrTimesOut)
{
    UniqueFd listener;
    sockaddr_in address = listenOnLoopback(listener, 0);
    EXPECT_EQ(address.sin_addr.s_addr, htonl(INADDR_LOOPBACK));

    UniqueFd first(sys::socket(AF_INET, SOCK_STREAM, 0).value());
    EXPECT_FALSE(sys::connect(first.get(), address, 2000).isError());

    std::vector<UniqueFd> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.emplace_back(sys::socket(AF_INET, SOCK_STREAM, 0).value());
        (void)sys::connect(fillers.back().get(), address, 0);
    }
    UniqueFd late(sys::socket(AF_INET, SOCK_STREAM, 0).value());
    auto start = std::chrono::steady_clock::now();
    auto hanging = sys::connect(late.get(), address, 200);
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(hanging.isError());
    EXPECT_EQ(hanging.error().code, ETIMEDOUT);
    EXPECT_GE(elapsed, std::chrono::milliseconds(195));
    EXPECT_LT(elapsed, std::chrono::seconds(3));

    listener.reset(); // nobody listens on that port any more
    UniqueFd refused(sys::socket(AF_INET, SOCK_STREAM, 0).value());
    auto result = sys::connect(refused.get(), address, 2000);
    ASSERT_TRUE(result.isError());
    EXPECT_EQ(result.error().message(), "connect: Connection refused");
}

TEST(System, ReplaceFileLeavesNoTraceWhenItFails)
{
    testsupport::TestWorld world;
    fs::create_directory("target");
    auto replaced = sys::replaceFile("target", "bytes");
    ASSERT_TRUE(replaced.isError());
    EXPECT_EQ(replaced.error().code, EISDIR);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 1);

    auto missing = sys::readFile("absent");
    ASSERT_TRUE(missing.isError());
    EXPECT_EQ(missing.error().code, ENOENT);
}

} // namespace
