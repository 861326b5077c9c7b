#include "net/NetManager.h"
#include "tests/net/LoopbackServer.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/GuiWorld.h"
#include "ui/testing/ScriptedUser.h"

#include "BuildConfig.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>

using nettest::LoopbackServer;
using Behaviour = nettest::LoopbackServer::Behaviour;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string randomBytes(std::size_t size)
{
    std::mt19937 generator(1234);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// The entries of the working directory (the program directory of the test's world).
std::vector<std::string> filesHere()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(LocalFileNameTest, EightDotThreeNames)
{
    struct Case
    {
        const char* path;
        const char* local;
        const char* reply;
    } cases[] = {
        // The registration request: the extension comes from the last dot of the query.
        {"/storeregistrants.php3?firstname=Ann&version=6.993&os=OS%3A+Unknown", "storereg.993",
         "storereg.993"},
        {"/update/patch.exe", "patch.exe", "patch.exe"},
        {"/verylongname.html", "verylong.htm", "verylong.htm"},
        {"/short", "short.", "short."}, // no dot at all: the name ends with the dot
        {"/a/b/readme", "readme.", "readme."},
        {"file.tar.gz", "file.gz", "file.gz"}, // no slash: the base is the whole path
        {"/x.p?a=1.2.345", "x.345", "x.345"},
        {"/", ".", "."},
        // A dot in a folder is no extension of the file.
        {"/dir.v2/file", "file.v2", "file.v2"},
        // A "?" in the name: cut there, ".HTM" appended.
        {"/a?x=1", "a?x=1.", "a.HTM"},
        {"/x.p?a", "x.p?a", "x.p.HTM"},
        {"/registr?x=1.5", "registr?.5", "registr.HTM"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NetManager::LocalFileName(c.path), c.local) << c.path;
        EXPECT_EQ(NetManager::replyFileNameFor(c.path), c.reply) << c.path;
    }
}

TEST(RequestTextTest, RequestLineUserAgentAndHost)
{
    std::string agent =
        std::string("User-Agent: ") + config::productName + " v" + config::productVersion + "\r\n";
    EXPECT_EQ(NetManager::requestText("register.example", "/a?b=c"),
              "GET /a?b=c HTTP/1.0\r\n" + agent + "Host: register.example\r\n\r\n");
    struct Case
    {
        const char* host;
        const char* header;
    } cases[] = {
        {"register.example:80", "Host: register.example\r\n"},
        {"127.0.0.1:8080", "Host: 127.0.0.1:8080\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NetManager::requestText(c.host, "/"),
                  "GET / HTTP/1.0\r\n" + agent + c.header + "\r\n")
            << c.host;
    }
}

class NetManagerTest : public ::testing::Test
{
protected:
    void SetUp() override { replyFileName = "untouched"; }
    void TearDown() override { replyFileName.clear(); }

    testsupport::GuiWorld world;
    nettest::RecordingDesktop desktop;
    nettest::ShortTimeLimits limits;
};

TEST_F(NetManagerTest, SendsTheRequestByteForByte)
{
    LoopbackServer server(Behaviour::Reply, "HTTP/1.0 200 OK\r\n\r\nfine");
    NetManager exchange(server.host(), "/storeregistrants.php3?street=12+Oak+St.%2C+Apt+%234");
    EXPECT_EQ(server.request(), std::string("GET /storeregistrants.php3?street=12+Oak+St.%2C+Apt+"
                                            "%234 HTTP/1.0\r\nUser-Agent: ") +
                                    config::productName + " v" + config::productVersion +
                                    "\r\nHost: " + server.host() + "\r\n\r\n");
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(NetManagerTest, StoresTheWholeReplyAndShowsTheCount)
{
    struct Case
    {
        const char* name;
        Behaviour behaviour;
        std::string reply;
        const char* megabytes;
    } cases[] = {
        {"server closes at once", Behaviour::CloseAtOnce, "", "0.000"},
        {"1234567 bytes", Behaviour::Reply, std::string(1234567, 'r'), "1.235"},
        {"random binary", Behaviour::Reply, randomBytes(70001), "0.070"},
        {"no line end", Behaviour::Reply, std::string(4999, 'x'), "0.005"},
        {"one byte", Behaviour::Reply, "S", "0.000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            LoopbackServer server(c.behaviour, c.reply);
            NetManager exchange(server.host(), "/reply.txt");
        }
        EXPECT_EQ(replyFileName, "reply.txt");
        ASSERT_TRUE(world.files().exists("reply.txt"));
        EXPECT_TRUE(world.files().readFile("reply.txt") == c.reply) << "the reply, byte for byte";
        EXPECT_EQ(nettest::progressTitle(), "Pantrix Update Status");
        EXPECT_EQ(nettest::progressText(), nettest::progressFor(c.megabytes));
        EXPECT_TRUE(desktop.boxes.empty());
        fs::remove("reply.txt");
        ui::StatusWindow(nullptr, nullptr);
    }
}

TEST_F(NetManagerTest, FailuresBeforeTheRequestAreShownAndLeaveNoFile)
{
    nettest::RefusingPort refusing;
    nettest::FullBacklogPort unanswered;
    struct Case
    {
        const char* name;
        std::string host;
        std::string text;
        std::string caption;
    } cases[] = {
        // Under the reserved ".invalid"; the "!" makes the resolver refuse the name without
        // asking any name server.
        {"name that does not resolve", "no-such-host!.invalid", "Could not get IP address!",
         "no-such-host!.invalid"},
        {"port out of range", "127.0.0.1:99999", "Could not get IP address!", "127.0.0.1"},
        {"connection refused", refusing.host(),
         std::to_string(ECONNREFUSED) + " Error connecting socket!!", "NetManager"},
        {"connection never accepted", unanswered.host(),
         std::to_string(ETIMEDOUT) + " Error connecting socket!!", "NetManager"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.boxes.clear();
        auto start = Clock::now();
        NetManager exchange(c.host, "/reply.txt");
        EXPECT_LT(millisecondsSince(start), 5000);
        ASSERT_EQ(desktop.boxes.size(), 1u);
        EXPECT_EQ(desktop.boxes[0].text, c.text);
        EXPECT_EQ(desktop.boxes[0].caption, c.caption);
        EXPECT_EQ(desktop.boxes[0].style, 0x10u) << "MB_ICONHAND with an OK button";
        EXPECT_TRUE(filesHere().empty());
        EXPECT_EQ(replyFileName, "untouched");
        EXPECT_EQ(ui::CurrentStatusWindow(), nullptr);
    }
}

TEST_F(NetManagerTest, SilentServerEndsAtTheReceiveLimit)
{
    struct Case
    {
        const char* name;
        Behaviour behaviour;
        std::string reply;
        const char* megabytes;
    } cases[] = {
        {"never answers", Behaviour::NeverAnswer, "", "0.000"},
        {"stops after 1234 bytes", Behaviour::SendThenHold, std::string(1234, 'h'), "0.001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server(c.behaviour, c.reply);
        auto start = Clock::now();
        NetManager exchange(server.host(), "/reply.txt");
        auto elapsed = millisecondsSince(start);
        EXPECT_GE(elapsed, nettest::ShortTimeLimits::limitMs);
        EXPECT_LT(elapsed, nettest::ShortTimeLimits::limitMs + 3000);
        EXPECT_TRUE(world.files().readFile("reply.txt") == c.reply);
        EXPECT_EQ(nettest::progressText(), nettest::progressFor(c.megabytes));
        EXPECT_TRUE(desktop.boxes.empty());
    }
}

TEST_F(NetManagerTest, PeerThatStopsReadingEndsTheSendWithoutAFile)
{
    LoopbackServer server(Behaviour::StopReading);
    // Far more than the socket buffers of both ends hold.
    std::string path = "/reply.txt?" + std::string(32 * 1024 * 1024, 'a');
    auto start = Clock::now();
    NetManager exchange(server.host(), path);
    EXPECT_LT(millisecondsSince(start), 5000);
    EXPECT_TRUE(filesHere().empty());
    EXPECT_EQ(replyFileName, "untouched");
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(ui::CurrentStatusWindow(), nullptr);
}

TEST_F(NetManagerTest, ReplyFileThatCannotBeCreatedIsNoReply)
{
    // An older "reply" that cannot be replaced must not pass for the answer to this request.
    fs::create_directory("reply.txt");
    LoopbackServer server(Behaviour::Reply, "HTTP/1.0 200 OK\r\n\r\nSuccess");
    NetManager exchange(server.host(), "/reply.txt");
    EXPECT_TRUE(server.waitUntilServed(1)) << "the request went out";
    EXPECT_EQ(replyFileName, "");
    EXPECT_TRUE(fs::is_directory("reply.txt"));
    EXPECT_EQ(ui::CurrentStatusWindow(), nullptr);
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(NetManagerTest, FailedWriteEndsTheExchange)
{
    fs::create_symlink("/dev/full", "reply.txt");
    // The server keeps the connection open: only the failed write can end the exchange early.
    NetManager::setTimeLimits({1000, 20000});
    LoopbackServer server(Behaviour::SendThenHold, std::string(100000, 'w'));
    auto start = Clock::now();
    NetManager exchange(server.host(), "/reply.txt");
    EXPECT_LT(millisecondsSince(start), 10000) << "ends at the failed write, not at the time limit";
    EXPECT_EQ(replyFileName, "reply.txt");
    EXPECT_EQ(nettest::progressText(), nettest::progressFor("0.000")) << "nothing was stored";
    EXPECT_TRUE(desktop.boxes.empty());
}

// The platform's own message box, as the user meets it.
TEST(NetManagerMessageBoxTest, TheUserAnswersThePlatformMessageBox)
{
    testsupport::GuiWorld world;
    nettest::RefusingPort refusing;
    ui::ScriptedUser user;
    user.answer("NetManager", "OK");
    NetManager exchange(refusing.host(), "/reply.txt");
    EXPECT_TRUE(user.finished());
    ASSERT_EQ(user.sightings().size(), 1u);
    EXPECT_EQ(user.sightings()[0].text.toStdString(),
              std::to_string(ECONNREFUSED) + " Error connecting socket!!");
}

} // namespace
