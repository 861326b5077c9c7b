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
    const std::pair<std::string, std::string> cases[] = {
        {" /\"(),:;<>@\\|#%&+=?", "+%2F%22%28%29%2C%3A%3B%3C%3E%40%5C%7C%23%25%26%2B%3D%3F"},
        // Left as they are: the characters the table does not name, and bytes of 128 and above.
        {"AZaz09'.-_*!$~[]{}^`\x80\xFC\xFF", "AZaz09'.-_*!$~[]{}^`\x80\xFC\xFF"},
        // Control characters would break the request line; a lone carriage return included.
        {std::string("a\r\tb\x01\x1F\x7F") + '\0', "a%0D%09b%01%1F%7F%00"},
        {"", "none"},
    };
    for (const auto& [line, value] : cases) {
        std::string_view rest = line;
        EXPECT_EQ(ReadEncodedValue(rest), value) << line;
    }
}

using InternetRegistrationTest = nettest::RegistrationTest;

TEST_F(InternetRegistrationTest, SendsTheQueryAndJudgesTheReply)
{
    const std::vector<std::string> none,
        failed = {"Error! | Unable to establish connection.  "
                  "Check your\ninternet connection and try again."},
        refused = {"NetManager | " + std::to_string(ECONNREFUSED) + " Error connecting socket!!",
                   failed[0]},
        missing = {"File Not Found! | Could not find information file."};
    std::string oversized = crlf(annsInfo); // 9000 bytes once encoded: refused, not cut
    oversized.replace(oversized.find("Gift"), 4, std::string(3000, '&'));
    std::string loneCrInfo = crlf(annsInfo), loneCr = annsPath;
    loneCrInfo.insert(loneCrInfo.find("Ann") + 3, "\r");
    loneCr.replace(loneCr.find("Ann"), 3, "Ann%0D");
    // Name, server, reply, oldinfo, flag before and after, messages, request ("": none).
    using Boxes = const std::vector<std::string>&;
    const std::tuple<const char*, Behaviour, std::string, std::string, int, int, Boxes, std::string>
        cases[] = {
            // Lines of modem connections follow the record.
            {"success", Behaviour::Reply, "HTTP/1.0 200 OK\r\n\r\n<p>Success</p>",
             crlf(annsInfo + "\n1\n2"), 0, 1, none, annsPath},
            {"ending at byte 1000", Behaviour::Reply, std::string(993, 'x') + "Success", annsInfo,
             0, 1, none, annsPath},
            {"straddling byte 1000", Behaviour::Reply, std::string(994, 'x') + "Success", annsInfo,
             0, 0, failed, annsPath},
            // 1000 bytes of line ends on disk are 500 bytes read as text.
            {"after 1000 bytes of line ends", Behaviour::Reply,
             crlf(std::string(500, '\n')) + "Success", annsInfo, 0, 1, none, annsPath},
            {"other case", Behaviour::Reply, "HTTP/1.0 200 OK\r\n\r\nsuccess", annsInfo, 0, 0,
             failed, annsPath},
            {"zero byte before it", Behaviour::Reply, std::string("\0 Success", 9), annsInfo, 0, 1,
             none, annsPath},
            // A failed retry shows nothing; a carriage return not before a line feed is kept.
            {"failed retry", Behaviour::Reply, "HTTP/1.0 500 Internal Server Error\r\n\r\n",
             loneCrInfo, 1, 1, none, loneCr},
            {"refused", Behaviour::Refuse, "", annsInfo, 0, 0, refused, ""},
            {"oversized", Behaviour::Reply, "Success", oversized, 0, 0, failed, ""},
            {"no information file", Behaviour::Reply, "Success", "", 1, 1, missing, ""},
        };
    for (const auto& [name, behaviour, reply, information, before, after, expected, path] : cases) {
        SCOPED_TRACE(name);
        LoopbackServer server(behaviour, reply);
        testsupport::ScopedEnv env("REGISTER_SERVER", server.host());
        fs::remove("oldinfo");
        if (!information.empty())
            world.files().writeFile("oldinfo", information);
        registrationSent = before;
        std::size_t seen = testsupport::boxesSeen(user).size();
        for (const auto& box : expected)
            user.answer(QString::fromStdString(box.substr(0, box.find(" | "))), "OK");
        SendInternetRegistration();
        ASSERT_TRUE(user.finished());
        auto boxes = testsupport::boxesSeen(user);
        EXPECT_EQ(std::vector(boxes.begin() + seen, boxes.end()), expected);
        EXPECT_EQ(registrationSent, after);
        EXPECT_EQ(server.request(), path.empty() ? "" : nettest::requestFor(server.host(), path));
        EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), !information.empty())
            << "no reply file is left";
    }
}

} // namespace
