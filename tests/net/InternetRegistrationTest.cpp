#include "net/InternetRegistration.h"
#include "tests/net/NetTestSupport.h"

using nettest::LoopbackServer;
using Behaviour = nettest::LoopbackServer::Behaviour;
namespace fs = std::filesystem;

namespace {

// An information file as the form writes it, with bare line feeds; line 1 is empty.
const std::string annsInfo = "\nAnn\nSmith\n12 Oak St., Apt #4\nSpringfield\nIL\n62704"
                             "\n(217) 555-0100\nUSA\n\n123456\nCorner Store\nGift\n7/4/1999"
                             "\n6.993\nOS: Unknown\nPantrix Morsels\n1";

const std::string annsPath =
    "/storeregistrants.php3?firstname=Ann&lastname=Smith&street=12+Oak+St.%2C+Apt+%234"
    "&city=Springfield&state=IL&zip=62704&phone=%28217%29+555-0100&country=USA&email=none"
    "&serialnumber=123456&purchasedfrom=Corner+Store&reasonpurchased=Gift"
    "&datepurchased=7%2F4%2F1999&version=6.993&os=OS%3A+Unknown&productname=Pantrix+Morsels"
    "&sendmailings=1";

std::string crlf(std::string text)
{
    for (auto at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, "\r");
    return text;
}

TEST(ReadEncodedValueTest, EncodingTable)
{
    struct Case
    {
        std::string line, value;
    } cases[] = {
        {" /\"(),:;<>@\\|#%&+=?", "+%2F%22%28%29%2C%3A%3B%3C%3E%40%5C%7C%23%25%26%2B%3D%3F"},
        // Left as they are: the characters the table does not name, and bytes of 128 and above.
        {"AZaz09'.-_*!$~[]{}^`\x80\xFC\xFF", "AZaz09'.-_*!$~[]{}^`\x80\xFC\xFF"},
        // Control characters would break the request line; a lone carriage return included.
        {std::string("a\r\tb\x01\x1F\x7F") + '\0', "a%0D%09b%01%1F%7F%00"},
        {"", "none"},
    };
    for (const auto& c : cases) {
        for (const char* end : {"\n", ""}) {
            std::string text = c.line + end + "next";
            std::string_view rest(text.data(), *end ? text.size() : c.line.size());
            EXPECT_EQ(ReadEncodedValue(rest), c.value) << c.line;
            EXPECT_EQ(rest, *end ? "next" : "") << "the line and its line feed are consumed";
        }
    }
}

class InternetRegistrationTest : public nettest::RegistrationTest
{
protected:
    void send(const std::string& host, const std::string& information)
    {
        testsupport::ScopedEnv server("REGISTER_SERVER", host);
        world.files().writeFile("oldinfo", information);
        SendInternetRegistration();
    }
    // Only the information file is left in the program directory.
    void expectNoReplyLeft()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(world.files().programDir()))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"oldinfo"});
    }

    nettest::ShortTimeLimits limits;
};

TEST_F(InternetRegistrationTest, SuccessSetsTheFlagAndDeletesTheReply)
{
    LoopbackServer server(Behaviour::Reply, "HTTP/1.0 200 OK\r\n\r\n<p>Success</p>");
    send(server.host(), crlf(annsInfo + "\n1\n2")); // lines of modem connections after it
    EXPECT_EQ(server.request(), nettest::requestFor(server.host(), annsPath));
    EXPECT_EQ(registrationSent, 1);
    expectNoReplyLeft();
    EXPECT_TRUE(user.sightings().empty()) << "no message";
}

TEST_F(InternetRegistrationTest, OutcomeIsJudgedFromTheFirst1000Bytes)
{
    struct Case
    {
        const char* name;
        std::string reply;
        bool delivered;
    } cases[] = {
        {"ending at byte 1000", std::string(993, 'x') + "Success", true},
        {"straddling byte 1000", std::string(994, 'x') + "Success", false},
        // 1000 bytes of line ends on disk are 500 bytes read as text.
        {"after 1000 bytes of line ends", crlf(std::string(500, '\n')) + "Success", true},
        {"other case", "HTTP/1.0 200 OK\r\n\r\nsuccess", false},
        {"zero byte before it", std::string("\0 Success", 9), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        registrationSent = 0;
        LoopbackServer server(Behaviour::Reply, c.reply);
        if (!c.delivered)
            user.answer("Error!", "OK");
        send(server.host(), annsInfo);
        EXPECT_TRUE(user.finished());
        EXPECT_EQ(registrationSent, c.delivered ? 1 : 0);
        EXPECT_EQ(server.request(), nettest::requestFor(server.host(), annsPath)) << "bare LFs";
        expectNoReplyLeft();
    }
}

TEST_F(InternetRegistrationTest, NoConnectionShowsBothMessages)
{
    LoopbackServer refusing(Behaviour::Refuse);
    user.answer("NetManager", "OK").answer("Error!", "OK");
    send(refusing.host(), crlf(annsInfo));
    ASSERT_TRUE(user.finished());
    EXPECT_EQ(user.sightings()[0].text.toStdString(),
              std::to_string(ECONNREFUSED) + " Error connecting socket!!");
    EXPECT_EQ(user.sightings()[1].text.toStdString(),
              "Unable to establish connection.  Check your\ninternet connection and try again.");
    EXPECT_EQ(registrationSent, 0);
    expectNoReplyLeft();
}

TEST_F(InternetRegistrationTest, MissingInformationFile)
{
    LoopbackServer server(Behaviour::Reply, "Success");
    testsupport::ScopedEnv env("REGISTER_SERVER", server.host());
    registrationSent = 1;
    user.answer("File Not Found!", "OK");
    SendInternetRegistration();
    ASSERT_TRUE(user.finished());
    EXPECT_EQ(user.sightings()[0].text, "Could not find information file.");
    EXPECT_EQ(registrationSent, 1) << "untouched";
    EXPECT_FALSE(server.connected());
}

TEST_F(InternetRegistrationTest, FailedRetryShowsNothingAndKeepsTheFlag)
{
    LoopbackServer server(Behaviour::Reply, "HTTP/1.0 500 Internal Server Error\r\n\r\n");
    registrationSent = 1;
    // A carriage return not before a line feed stays in the value.
    send(server.host(), "\r\nAnn\r\r\nSmith");
    EXPECT_EQ(registrationSent, 1);
    EXPECT_NE(server.request().find("?firstname=Ann%0D&lastname=Smith&"), std::string::npos);
    expectNoReplyLeft();
}

TEST_F(InternetRegistrationTest, OversizedRequestIsRefusedNotCut)
{
    LoopbackServer server(Behaviour::Reply, "Success");
    std::string information = crlf(annsInfo);
    information.replace(information.find("Gift"), 4, std::string(3000, '&')); // 9000 encoded
    user.answer("Error!", "OK");
    send(server.host(), information);
    EXPECT_TRUE(user.finished());
    EXPECT_FALSE(server.connected()) << "nothing is sent";
    EXPECT_EQ(registrationSent, 0);
}

} // namespace
