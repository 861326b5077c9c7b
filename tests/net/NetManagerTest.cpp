#include "net/NetManager.h"
#include "tests/net/NetTestSupport.h"

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

// Records each message box as "caption: text (style)" and answers OK instead of showing it.
class RecordingDesktop final : public platform::Desktop
{
public:
    RecordingDesktop() : m_previous(platform::desktop()) { platform::setDesktop(this); }
    ~RecordingDesktop() override { platform::setDesktop(&m_previous); }
    void pumpMessages(std::uint32_t maxWaitMs) override { m_previous.pumpMessages(maxWaitMs); }
    void beep() override { m_previous.beep(); }
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override
    {
        boxes.push_back(caption + ": " + text + " (" + std::to_string(style) + ")");
        return platform::IDOK;
    }
    std::vector<std::string> boxes;

private:
    platform::Desktop& m_previous;
};

// The text of the progress window; empty when none is open.
std::string progressText()
{
    ui::UIW_WINDOW* window = ui::CurrentStatusWindow();
    return window ? window->Get(3)->DataGet() : std::string();
}

std::string progressFor(const char* megabytes)
{
    return std::string("Downloading the Pantrix udpate now...Please Wait.  This may take several "
                       "minutes.  ") +
           megabytes + "MB Received.";
}

TEST(LocalFileNameTest, EightDotThreeNames)
{
    struct Case
    {
        const char *path, *local, *reply;
    } cases[] = {
        // The extension comes from the last dot of the query.
        {"/storeregistrants.php3?firstname=Ann&version=6.993&os=OS%3A+Unknown", "storereg.993",
         "storereg.993"},
        {"/short", "short.", "short."},
        {"file.tar.gz", "file.gz", "file.gz"},  // no slash: the base is the whole path
        {"/dir.v2/file", "file.v2", "file.v2"}, // the extension stops at a "/"
        {"/x.p?a", "x.p?a", "x.p.HTM"},         // a "?" in the name: cut there, ".HTM" appended
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NetManager::LocalFileName(c.path), c.local) << c.path;
        EXPECT_EQ(NetManager::replyFileNameFor(c.path), c.reply) << c.path;
    }
    EXPECT_EQ(NetManager::requestText("register.example:80", "/"),
              nettest::requestFor("register.example", "/"))
        << "the Host header leaves out the default port";
}

class NetManagerTest : public ::testing::Test
{
protected:
    void SetUp() override { replyFileName = "untouched"; }
    void TearDown() override
    {
        replyFileName.clear();
        EXPECT_EQ(desktop.boxes, std::vector<std::string>{});
    }

    testsupport::GuiWorld world;
    RecordingDesktop desktop;
    nettest::ShortTimeLimits limits;
};

TEST_F(NetManagerTest, StoresTheWholeReplyAndShowsTheCount)
{
    std::mt19937 generator(1234);
    std::string binary(70001, '\0');
    for (char& byte : binary)
        byte = static_cast<char>(generator() & 0xFF);
    struct Case
    {
        const char* name;
        Behaviour behaviour;
        std::string reply;
        const char* megabytes;
    } cases[] = {
        {"server closes at once", Behaviour::CloseAtOnce, "", "0.000"},
        {"1234567 bytes", Behaviour::Reply, std::string(1234567, 'r'), "1.235"},
        {"random binary", Behaviour::Reply, binary, "0.070"},
        {"no line end", Behaviour::Reply, std::string(4999, 'x'), "0.005"},
        {"never answers", Behaviour::Hold, "", "0.000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server(c.behaviour, c.reply);
        auto start = Clock::now();
        NetManager exchange(server.host(), "/reply.txt");
        if (c.behaviour == Behaviour::Hold) { // ends at the receive time limit
            auto elapsed = millisecondsSince(start);
            EXPECT_GE(elapsed, nettest::ShortTimeLimits::limitMs);
            EXPECT_LT(elapsed, nettest::ShortTimeLimits::limitMs + 3000);
        }
        EXPECT_EQ(replyFileName, "reply.txt");
        ASSERT_TRUE(world.files().exists("reply.txt"));
        EXPECT_TRUE(world.files().readFile("reply.txt") == c.reply) << "the reply, byte for byte";
        EXPECT_EQ(progressText(), progressFor(c.megabytes));
        fs::remove("reply.txt");
        ui::StatusWindow(nullptr, nullptr);
    }
}

// A message for a failed connection, none for a peer that stops taking the request.
TEST_F(NetManagerTest, ExchangesEndedBeforeTheReplyLeaveNoFile)
{
    LoopbackServer refusing(Behaviour::Refuse), unanswered(Behaviour::NeverAccept),
        deaf(Behaviour::StopReading);
    // Far more than the socket buffers of both ends hold.
    const std::string path = "/reply.txt?" + std::string(32 * 1024 * 1024, 'a');
    const std::string refused = std::to_string(ECONNREFUSED), timedOut = std::to_string(ETIMEDOUT);
    struct Case
    {
        std::string host;
        std::vector<std::string> boxes; // style 16: MB_ICONHAND with an OK button
    } cases[] = {
        // Under the reserved ".invalid"; the "!" makes the resolver refuse the name at once.
        {"no-such-host!.invalid", {"no-such-host!.invalid: Could not get IP address! (16)"}},
        {"127.0.0.1:99999",
         {"NetManager: Not a server address: \"127.0.0.1:99999\" (expected https://host[:port] "
          "or http://host[:port]). (16)"}},
        {refusing.host(), {"NetManager: " + refused + " Error connecting socket!! (16)"}},
        {unanswered.host(), {"NetManager: " + timedOut + " Error connecting socket!! (16)"}},
        {deaf.host(), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        auto start = Clock::now();
        NetManager exchange(c.host, path);
        EXPECT_LT(millisecondsSince(start), 5000);
        EXPECT_EQ(desktop.boxes, c.boxes);
        desktop.boxes.clear();
        EXPECT_TRUE(fs::is_empty("."));
        EXPECT_EQ(replyFileName, "untouched");
        EXPECT_EQ(ui::CurrentStatusWindow(), nullptr);
    }
}

TEST_F(NetManagerTest, ReplyFileThatCannotBeCreatedIsNoReply)
{
    // An older "reply" that cannot be replaced must not pass for the answer to this request.
    fs::create_directory("reply.txt");
    LoopbackServer server(Behaviour::Reply, "Success");
    NetManager exchange(server.host(), "/reply.txt");
    EXPECT_EQ(server.request(), nettest::requestFor(server.host(), "/reply.txt"));
    EXPECT_EQ(replyFileName, "");
    EXPECT_TRUE(fs::is_directory("reply.txt"));
    EXPECT_EQ(ui::CurrentStatusWindow(), nullptr);
}

TEST_F(NetManagerTest, FailedWriteEndsTheExchange)
{
    fs::create_symlink("/dev/full", "reply.txt");
    // The server stays open: only the failed write can end the exchange early.
    NetManager::setTimeLimits({1000, 20000});
    LoopbackServer server(Behaviour::Hold, std::string(100000, 'w'));
    auto start = Clock::now();
    NetManager exchange(server.host(), "/reply.txt");
    EXPECT_LT(millisecondsSince(start), 10000) << "ends at the failed write, not at the time limit";
    EXPECT_EQ(replyFileName, "reply.txt");
    EXPECT_EQ(progressText(), progressFor("0.000")) << "nothing was stored";
}

} // namespace
