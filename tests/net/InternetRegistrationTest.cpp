#include "net/InternetRegistration.h"
#include "net/NetManager.h"
#include "registrant/ProgramRecord.h"
#include "tests/net/LoopbackServer.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/GuiWorld.h"
#include "ui/testing/ScriptedUser.h"

#include "BuildConfig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

using nettest::LoopbackServer;
using Behaviour = nettest::LoopbackServer::Behaviour;
namespace fs = std::filesystem;

namespace {

// The lines of an information file as the form writes it, line 1 (empty) first.
std::vector<std::string> annsLines()
{
    return {"",
            "Ann",
            "Smith",
            "12 Oak St., Apt #4",
            "Springfield",
            "IL",
            "62704",
            "(217) 555-0100",
            "USA",
            "",
            "123456",
            "Corner Store",
            "Gift",
            "7/4/1999",
            "6.993",
            "OS: Unknown",
            "Pantrix Morsels",
            "1"};
}

const std::string annsPath =
    "/storeregistrants.php3?firstname=Ann&lastname=Smith&street=12+Oak+St.%2C+Apt+%234"
    "&city=Springfield&state=IL&zip=62704&phone=%28217%29+555-0100&country=USA&email=none"
    "&serialnumber=123456&purchasedfrom=Corner+Store&reasonpurchased=Gift"
    "&datepurchased=7%2F4%2F1999&version=6.993&os=OS%3A+Unknown&productname=Pantrix+Morsels"
    "&sendmailings=1";

std::string joined(const std::vector<std::string>& lines, const std::string& lineEnd)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i ? lineEnd : "") + lines[i];
    return text;
}

TEST(ReadEncodedValueTest, EncodingTable)
{
    struct Case
    {
        std::string line;
        std::string value;
    } cases[] = {
        {" ", "+"},
        {"\t", "%09"},
        {"/\"(),:;<>@\\|#%&+=?", "%2F%22%28%29%2C%3A%3B%3C%3E%40%5C%7C%23%25%26%2B%3D%3F"},
        {"12 Oak St., Apt #4", "12+Oak+St.%2C+Apt+%234"},
        // Left as they are: letters, digits, the apostrophe, . - _ * ! $ ~, the characters the
        // table does not name, and bytes of 128 and above.
        {"AZaz09'.-_*!$~", "AZaz09'.-_*!$~"},
        {"[]{}^`", "[]{}^`"},
        {"M\xFCller \x80\xFF", "M\xFCller+\x80\xFF"},
        // Control characters would break the request line; a lone carriage return included.
        {std::string("a\rb\x01\x1F\x7F") + '\0', "a%0Db%01%1F%7F%00"},
        {"", "none"},
    };
    for (const auto& c : cases) {
        for (const char* end : {"\n", ""}) {
            std::string text = c.line + end + "next";
            std::string_view rest = text;
            if (!*end)
                rest = std::string_view(text).substr(0, c.line.size());
            EXPECT_EQ(ReadEncodedValue(rest), c.value) << c.line;
            EXPECT_EQ(rest, *end ? "next" : "") << "the line and its line feed are consumed";
        }
    }
}

TEST(RegistrationRequestPathTest, OneValuePerLine)
{
    auto withModemLines = annsLines();
    withModemLines.insert(withModemLines.end(), {"1", "2"});
    struct Case
    {
        const char* name;
        std::string information;
        std::string path;
    } cases[] = {
        {"as the form writes it", joined(annsLines(), "\n"), annsPath},
        {"line feed after the last value", joined(annsLines(), "\n") + "\n", annsPath},
        {"lines of modem connections after it", joined(withModemLines, "\n"), annsPath},
        {"file that ends early", "\nAnn\nSmith",
         "/storeregistrants.php3?firstname=Ann&lastname=Smith&street=none&city=none&state=none"
         "&zip=none&phone=none&country=none&email=none&serialnumber=none&purchasedfrom=none"
         "&reasonpurchased=none&datepurchased=none&version=none&os=none&productname=none"
         "&sendmailings=none"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(registrationRequestPath(c.information), c.path) << c.name;
}

class InternetRegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetProgramState();
        programDirectory = world.files().programDir().string();
        replyFileName.clear();
    }
    void TearDown() override
    {
        resetProgramState();
        programDirectory.clear();
        replyFileName.clear();
    }

    void useServer(const std::string& host) { m_server.emplace("REGISTER_SERVER", host); }
    void writeInformation(const std::vector<std::string>& lines,
                          const std::string& lineEnd = "\r\n")
    {
        world.files().writeFile("oldinfo", joined(lines, lineEnd));
    }
    // Only the information file is left in the program directory.
    void expectNoReplyLeft()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(world.files().programDir()))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"oldinfo"});
    }
    std::string requestFor(const std::string& host, const std::string& path)
    {
        return "GET " + path + " HTTP/1.0\r\nUser-Agent: " + config::productName + " v" +
               config::productVersion + "\r\nHost: " + host + "\r\n\r\n";
    }

    testsupport::GuiWorld world;
    nettest::RecordingDesktop desktop;
    nettest::ShortTimeLimits limits;

private:
    std::optional<testsupport::ScopedEnv> m_server;
};

TEST_F(InternetRegistrationTest, SuccessSetsTheFlagAndDeletesTheReply)
{
    // Any window that the test does not expect ends the test instead of waiting for a person.
    ui::ScriptedUser user;
    LoopbackServer server(Behaviour::Reply, "HTTP/1.0 200 OK\r\n\r\n<p>Success</p>");
    useServer(server.host());
    writeInformation(annsLines());
    SendInternetRegistration();
    EXPECT_EQ(server.request(), requestFor(server.host(), annsPath));
    EXPECT_EQ(registrationSent, 1);
    expectNoReplyLeft();
    EXPECT_TRUE(user.sightings().empty()) << "no message";
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(InternetRegistrationTest, BareLineFeedsAndStrayCarriageReturns)
{
    struct Case
    {
        const char* name;
        std::string information;
        std::string firstValue;
    } cases[] = {
        {"bare line feed", joined(annsLines(), "\n"), "firstname=Ann&"},
        {"carriage return not before a line feed", "\r\nAnn\r\r\nSmith", "firstname=Ann%0D&"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui::ScriptedUser user;
        LoopbackServer server(Behaviour::Reply, "Success");
        useServer(server.host());
        world.files().writeFile("oldinfo", c.information);
        SendInternetRegistration();
        EXPECT_NE(server.request().find("?" + c.firstValue + "lastname=Smith&"), std::string::npos)
            << server.request();
    }
}

TEST_F(InternetRegistrationTest, OutcomeIsJudgedFromTheFirst1000Bytes)
{
    nettest::RefusingPort refusing;
    std::string crlfs;
    for (int i = 0; i < 500; ++i)
        crlfs += "\r\n";
    struct Case
    {
        const char* name;
        Behaviour behaviour;
        std::string reply;
        bool delivered;
    } cases[] = {
        {"in the status line", Behaviour::Reply, "HTTP/1.0 200 Success\r\n\r\n", true},
        {"ending at byte 1000", Behaviour::Reply, std::string(993, 'x') + "Success", true},
        {"straddling byte 1000", Behaviour::Reply, std::string(994, 'x') + "Success", false},
        {"far beyond", Behaviour::Reply, std::string(5000, 'x') + "Success", false},
        // Read as text, the 1000 line ends on disk are 500 bytes.
        {"after 1000 bytes of line ends", Behaviour::Reply, crlfs + "Success", true},
        {"other case", Behaviour::Reply, "HTTP/1.0 200 OK\r\n\r\nsuccess", false},
        {"error page", Behaviour::Reply, "HTTP/1.0 404 Not Found\r\n\r\nNo such page", false},
        {"empty reply", Behaviour::CloseAtOnce, "", false},
        {"silent server", Behaviour::NeverAnswer, "", false},
        {"binary reply", Behaviour::Reply, std::string("\0\xFF\x1A\r", 4) + "Succes", false},
        {"zero byte before it", Behaviour::Reply, std::string("\0 Success", 9), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        registrationSent = 0;
        LoopbackServer server(c.behaviour, c.reply);
        useServer(server.host());
        writeInformation(annsLines());
        ui::ScriptedUser expected;
        if (!c.delivered)
            expected.answer("Error!", "OK");
        SendInternetRegistration();
        EXPECT_TRUE(expected.finished());
        EXPECT_EQ(registrationSent, c.delivered ? 1 : 0);
        EXPECT_TRUE(server.waitUntilServed(1));
        expectNoReplyLeft();
        EXPECT_TRUE(desktop.boxes.empty());
    }
}

TEST_F(InternetRegistrationTest, NoConnectionShowsBothMessages)
{
    nettest::RefusingPort refusing;
    useServer(refusing.host());
    writeInformation(annsLines());
    ui::ScriptedUser user;
    user.answer("Error!", "OK");
    SendInternetRegistration();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].caption, "NetManager");
    ASSERT_TRUE(user.finished());
    EXPECT_EQ(user.sightings()[0].text.toStdString(),
              "Unable to establish connection.  Check your\ninternet connection and try again.");
    EXPECT_EQ(registrationSent, 0);
    expectNoReplyLeft();
}

TEST_F(InternetRegistrationTest, MissingInformationFile)
{
    LoopbackServer server(Behaviour::Reply, "Success");
    useServer(server.host());
    for (int flag : {0, 1}) {
        registrationSent = flag;
        ui::ScriptedUser expected;
        expected.answer("File Not Found!", "OK");
        SendInternetRegistration();
        ASSERT_TRUE(expected.finished());
        EXPECT_EQ(expected.sightings()[0].text, "Could not find information file.");
        EXPECT_EQ(registrationSent, flag) << "untouched";
    }
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(InternetRegistrationTest, FlagIsNeverCleared)
{
    // A second attempt after a delivered one: the failure shows nothing, the flag stays.
    LoopbackServer server(Behaviour::Reply, "HTTP/1.0 500 Internal Server Error\r\n\r\n");
    useServer(server.host());
    writeInformation(annsLines());
    registrationSent = 1;
    ui::ScriptedUser user;
    SendInternetRegistration();
    EXPECT_EQ(registrationSent, 1);
    EXPECT_TRUE(server.waitUntilServed(1));
    expectNoReplyLeft();
}

TEST_F(InternetRegistrationTest, OversizedRequestIsRefusedNotCut)
{
    LoopbackServer server(Behaviour::Reply, "Success");
    useServer(server.host());
    auto lines = annsLines();
    lines[12] = std::string(3000, '&'); // 9000 bytes encoded
    writeInformation(lines);
    ui::ScriptedUser user;
    user.answer("Error!", "OK");
    SendInternetRegistration();
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(server.connections(), 0) << "nothing is sent";
    EXPECT_EQ(registrationSent, 0);
    EXPECT_TRUE(desktop.boxes.empty());
}

} // namespace
