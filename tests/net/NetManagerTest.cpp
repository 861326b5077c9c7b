#include "tests/net/NetTestSupport.h"

#include <QMessageBox>

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

// The text of the progress window; empty when none is open.
std::string progressText()
{
    ui::UIW_WINDOW* window = ui::CurrentStatusWindow();
    return window ? window->Title().toStdString() + " | " + window->Get(3)->DataGet() : "";
}

std::string progressFor(const char* megabytes)
{
    return std::string("Pantrix Update Status | Downloading the Pantrix udpate now...Please Wait.  "
                       "This may take several minutes.  ") +
           megabytes + "MB Received.";
}

TEST(NetManagerNamesTest, ReplyFileNamesAndServerAddresses)
{
    // Up to 8 characters of the name, "." and up to 3 after the last dot of the path, query
    // included, stopping at a "/"; a "?" in that cuts it and ".HTM" is appended.
    const std::pair<const char*, const char*> names[] = {
        {"/storeregistrants.php3?firstname=Ann&version=6.993&os=OS%3A+Unknown", "storereg.993"},
        {"/short", "short."},
        {"file.tar.gz", "file.gz"},
        {"/dir.v2/file", "file.v2"},
        {"/x.p?a", "x.p.HTM"}};
    for (const auto& [path, name] : names)
        EXPECT_EQ(NetManager::replyFileNameFor(path), name) << path;
    EXPECT_EQ(NetManager::requestText("register.example:80", "/"),
              nettest::requestFor("register.example", "/"))
        << "the Host header leaves out the default port";
    EXPECT_EQ(NetManager::parseServer("https://register.example").value().hostHeader(),
              "register.example");
    EXPECT_EQ(NetManager::parseServer("http://10.0.0.1:443").value().hostHeader(), "10.0.0.1:443");
    for (const char* server :
         {"ftp://register.example", "https://", "https://register.example/path",
          "https://user@register.example", "register.example\r\nX-Injected: 1"})
        EXPECT_FALSE(NetManager::parseServer(server)) << server;
}

using NetManagerTest = nettest::RegistrationTest;

// Every reply stored byte for byte and counted; otherwise no file, and a message if not connected.
TEST_F(NetManagerTest, StoresTheWholeReplyOrNothing)
{
    std::mt19937 generator(1234);
    std::string binary(70001, '\0');
    for (char& byte : binary)
        byte = static_cast<char>(generator() & 0xFF);
    // Far more than the socket buffers of both ends hold.
    const std::string longPath = "/reply.txt?" + std::string(32 * 1024 * 1024, 'a');
    // Server, its reply, the host to use instead, megabytes shown (null: no file), message box.
    const std::tuple<Behaviour, std::string, std::string, const char*, std::string> cases[] = {
        {Behaviour::CloseAtOnce, "", "", "0.000", ""},
        {Behaviour::Reply, std::string(1234567, 'r'), "", "1.235", ""},
        {Behaviour::Reply, binary, "", "0.070", ""},
        {Behaviour::Hold, "", "", "0.000", ""}, // ends at the receive time limit
        // Under the reserved ".invalid"; the "!" makes the resolver refuse the name at once.
        {Behaviour::Refuse, "", "no-such-host!.invalid", nullptr,
         "no-such-host!.invalid | Could not get IP address!"},
        {Behaviour::Refuse, "", "127.0.0.1:99999", nullptr,
         "NetManager | Not a server address: \"127.0.0.1:99999\" (expected https://host[:port] or "
         "http://host[:port])."},
        {Behaviour::NeverAccept, "", "", nullptr,
         "NetManager | " + std::to_string(ETIMEDOUT) + " Error connecting socket!!"},
        {Behaviour::Deaf, "", "", nullptr, ""},
    };
    for (const auto& [behaviour, reply, named, megabytes, box] : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(behaviour) << " " << named);
        LoopbackServer server(behaviour, reply);
        replyFileName = "untouched";
        std::size_t seen = user.sightings().size();
        QString title = QString::fromStdString(box.substr(0, box.find(" | ")));
        if (!box.empty())
            user.inspect(title,
                         [](QWidget* window) {
                             auto* message = qobject_cast<QMessageBox*>(window);
                             ASSERT_NE(message, nullptr);
                             EXPECT_EQ(message->icon(), QMessageBox::Critical);
                         })
                .answer(title, "OK");
        auto start = Clock::now();
        NetManager exchange(named.empty() ? server.host() : named,
                            behaviour == Behaviour::Deaf ? longPath : "/reply.txt");
        EXPECT_LT(millisecondsSince(start), 5000);
        ASSERT_TRUE(user.finished());
        auto boxes = testsupport::boxesSeen(user);
        EXPECT_EQ(boxes.size() > seen ? boxes.back() : "", box);
        EXPECT_EQ(replyFileName, megabytes ? "reply.txt" : "untouched");
        EXPECT_EQ(progressText(), megabytes ? progressFor(megabytes) : "");
        ASSERT_EQ(fs::is_empty("."), !megabytes);
        EXPECT_TRUE(!megabytes || world.files().readFile("reply.txt") == reply) << "byte for byte";
        fs::remove("reply.txt");
        ui::StatusWindow(nullptr, nullptr);
    }
}

// A reply that cannot be stored, or that comes too slowly, ends the exchange early.
TEST_F(NetManagerTest, ReplyFilesThatCannotBeWrittenAndDribblingServers)
{
    fs::create_directory("reply.txt"); // an older "reply" that cannot be replaced is not this one
    {
        LoopbackServer server(Behaviour::Reply, "Success");
        NetManager exchange(server.host(), "/reply.txt");
    }
    EXPECT_EQ(replyFileName, "");
    EXPECT_EQ(ui::CurrentStatusWindow(), nullptr);
    fs::remove("reply.txt");
    fs::create_symlink("/dev/full", "reply.txt");
    NetManager::setTimeLimits({1000, 20000}); // the server stays open: the failed write ends it
    LoopbackServer holding(Behaviour::Hold, std::string(100000, 'w'));
    auto start = Clock::now();
    NetManager full(holding.host(), "/reply.txt");
    EXPECT_LT(millisecondsSince(start), 10000);
    EXPECT_EQ(progressText(), progressFor("0.000")) << "nothing was stored";
    // Every byte within the receive limit, but the whole exchange cut off at its own limit.
    fs::remove("reply.txt");
    NetManager::setTimeLimits({250, 250, 400});
    LoopbackServer dribbling(Behaviour::Dribble, std::string(100, 'd')); // 5 s in all
    start = Clock::now();
    NetManager slow(dribbling.host(), "/reply.txt");
    EXPECT_GE(millisecondsSince(start), 400);
    EXPECT_LT(millisecondsSince(start), 1500);
}

} // namespace
