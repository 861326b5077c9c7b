// The serial layer, the modem dialogue and the YMODEM sender against peers the test plays
// itself on a pseudo-terminal, answering at every pump.

#include "modem/ModemDialogue.h"
#include "modem/Serial.h"
#include "modem/Ymodem.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <cstring>
#include <random>

#include <termios.h>
#include <unistd.h>

using modemtest::TestLine;

namespace {

constexpr int comPort = 2;
constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

TEST(SerialTest, ReadsNeverBlockAndTheLineIsRestoredWhenThePortCloses)
{
    testsupport::TestWorld world;
    TestLine line(world, comPort);
    termios cooked{}; // a line in cooked mode with echo, as a terminal left it
    ASSERT_EQ(tcgetattr(line.master(), &cooked), 0);
    cooked.c_lflag |= ECHO | ICANON;
    cfsetospeed(&cooked, B9600);
    ASSERT_EQ(tcsetattr(line.master(), TCSANOW, &cooked), 0);
    {
        GFComWin32 link(comPort - 1, 4096, 2048, 0);
        GFSerial port(&link);
        EXPECT_EQ(GFLineStatus(&port).SetHandShake(4, 12), 0);
        EXPECT_EQ(GFDataFormat(&port).SetUp(57600, 'N', 8, 1), 0);
        termios open{};
        ASSERT_EQ(tcgetattr(line.master(), &open), 0);
        EXPECT_FALSE(open.c_lflag & (ECHO | ICANON));
        EXPECT_EQ(cfgetospeed(&open), B57600);
        EXPECT_TRUE(link.Current().c_cflag & CRTSCTS);
        EXPECT_EQ(link.Current().c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));

        unsigned char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(port.GetString(buffer, sizeof buffer, -1, 0), 0u) << "nothing there: at once";
        EXPECT_EQ(buffer[0], '\0');
        line.put("\r\nOK\r\nMORE");
        port.WaitReadable(1000);
        usleep(20000);
        std::memset(buffer, 'x', sizeof buffer);
        // Room 5 takes 4 bytes and the terminator; the rest waits for the next call.
        EXPECT_EQ(port.GetString(buffer, 5, -1, 0), 4u);
        EXPECT_EQ(buffer[5], 'x') << "nothing written beyond the room given";
        EXPECT_EQ(port.GetString(buffer + 4, sizeof buffer - 4, -1, 0), 6u);
        EXPECT_STREQ(reinterpret_cast<char*>(buffer), "\r\nOK\r\nMORE");
        line.put("ABC");
        port.WaitReadable(1000);
        usleep(20000);
        EXPECT_EQ(port.GetString(buffer, 0, -1, 0), 0u);
        EXPECT_EQ(buffer[0], '\r') << "no room: nothing touched";
        EXPECT_EQ(port.GetString(buffer, 1, -1, 0), 0u);
        EXPECT_EQ(buffer[0], '\0') << "room for the terminator only";
        EXPECT_EQ(port.GetString(buffer, sizeof buffer, -1, 0), 3u);
    }
    termios after{};
    ASSERT_EQ(tcgetattr(line.master(), &after), 0);
    EXPECT_TRUE(after.c_lflag & ECHO);
    EXPECT_TRUE(after.c_lflag & ICANON);
    EXPECT_EQ(cfgetospeed(&after), B9600);
    EXPECT_FALSE(after.c_cflag & CRTSCTS);
}

// A peer on the line: at every pump it reads what came and answers, as `answer` says.
class LineTest : public ::testing::Test
{
protected:
    LineTest() : line(world.files(), comPort), link(comPort - 1, 4096, 2048, 0), port(&link)
    {
        desktop.onPump = [this] {
            std::string fresh = line.take();
            m_sent += fresh;
            m_input += fresh;
            if (answer)
                line.put(answer(m_input));
        };
    }
    // What the program sent, all of it.
    std::string sent() { return m_sent += line.take(); }

    // Given what came and not yet taken (which it may consume), gives the peer's answer.
    std::function<std::string(std::string& input)> answer;
    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    modemtest::WatchingDesktop desktop;
    TestLine line;
    GFComWin32 link;
    GFSerial port;
    std::string m_sent, m_input;
};

// Answers with the reply once the program has sent something: whole, or in pieces of 1 to 7.
auto replyOnce(std::string reply, bool whole)
{
    return [reply, whole, random = std::mt19937(20240615)](std::string& input) mutable {
        if (input.empty() || reply.empty())
            return std::string();
        std::size_t piece = std::min(reply.size(), whole ? reply.size() : 1 + random() % 7);
        std::string now = reply.substr(0, piece);
        reply.erase(0, piece);
        return now;
    };
}

TEST_F(LineTest, AwaitOkWantsOkAndACarriageReturn)
{
    const std::tuple<std::string, int, bool, bool> cases[] = {
        {"ATE1Q0V1\r\r\nOK\r\n", 1, false, false},
        {"ATE1Q0V1\r\r\nok\r\n", 0, true, false},
        {"\r\nOK", 0, true, false},
        {std::string(995, '#'), 0, false, true}}; // a flood that fills the buffer
    for (const auto& [reply, answered, waitsTheWholeLimit, whole] : cases) {
        answer = replyOnce(reply, whole);
        unsigned char buffer[modem::callReplySize];
        std::uint32_t start = clock.now();
        EXPECT_EQ(modem::SendCommand(port, "ATE1Q0V1", buffer), answered) << reply;
        EXPECT_EQ(clock.now() - start >= 2000u, waitsTheWholeLimit) << reply;
        sent();
        port.RXFlush(0);
    }
    EXPECT_EQ(sent(), "ATE1Q0V1\rATE1Q0V1\rATE1Q0V1\rATE1Q0V1\r") << "one line per command";
}

TEST_F(LineTest, TheDialReplyIsClassifiedInItsOrderWithinSixtySeconds)
{
    const std::tuple<std::string, int, int, bool> cases[] = {
        {"ATDT5551234\r\r\nCONNECT 57600\r\n", 0, 1, false},
        {"\r\nCARRIER 28800\r\n", 0, 1, false},
        {"\r\nbusy\r\n", 7, 0, false},
        {"\r\nNO DIALTONE\r\n", 8, 0, false},
        {"\r\nNO DIAL TONE\r\n", 8, 0, false},
        {"\r\nNO ANSWER\r\n", 9, 0, false},
        {"\r\nNO CARRIER\r\n", 10, 0, false},
        {"\r\nCONNECT\r\n\r\nNO CARRIER\r\n", 10, 0, true},
        {"\r\nERROR\r\n", 5, 0, false},
        {"\r\nERROR\r\nBUSY\r\n", 7, 0, true},
        {std::string(950, '~'), 10, 1, false},
        {"", 10, 1, false}}; // silence
    for (const auto& [reply, outcome, hangUpFlag, whole] : cases) {
        answer = replyOnce(reply, whole);
        int hangUp = -1;
        std::uint32_t start = clock.now();
        modemtest::RealTime real;
        EXPECT_EQ(modem::DialAndAwaitConnect(port, "ATDT5551234", hangUp), outcome) << reply;
        EXPECT_EQ(hangUp, hangUpFlag) << reply;
        EXPECT_EQ(clock.now() - start > 60000u, reply.empty()) << reply;
        EXPECT_LT(clock.now() - start, 60000u + 200) << reply;
        EXPECT_LT(real.seconds(), 5.0);
    }
    EXPECT_EQ(sent().substr(0, 12), "ATDT5551234\r");
}

TEST_F(LineTest, HangingUpEscapesThenHangsUpTwiceAtMostThreeTimes)
{
    // 'y' for each hang-up command the modem confirms, in order; the escape confirmed or not.
    const std::tuple<const char*, bool, int, std::string> cases[] = {
        {"yy", true, 1, "+++ATH\rATH\r"},
        {"yy", false, 1, "+++ATH\rATH\r"}, // a modem on hook ignores the escape
        {"", false, 0, "+++ATH\r+++ATH\r+++ATH\r"},
        {"ynynyn", true, 0, "+++ATH\rATH\r+++ATH\rATH\r+++ATH\rATH\r"},
        {"nyy", true, 1, "+++ATH\r+++ATH\rATH\r"}};
    RegistrationSettings settings = modemtest::defaultSettings();
    for (const auto& [confirmed, escapeConfirmed, result, traffic] : cases) {
        std::size_t hangUps = 0;
        answer = [&](std::string& input) {
            std::string reply;
            for (;;) {
                bool escape = input.starts_with("+++");
                std::size_t end = escape ? 3 : input.find('\r');
                if (end == std::string::npos)
                    return reply;
                input.erase(0, escape ? end : end + 1);
                if (escape && escapeConfirmed)
                    reply += "\r\nOK\r\n";
                else if (!escape && hangUps < std::strlen(confirmed) && confirmed[hangUps++] == 'y')
                    reply += "ATH\r\r\nOK\r\n";
            }
        };
        std::string before = sent();
        EXPECT_EQ(modem::HangUpModem(settings, port), result) << confirmed;
        EXPECT_EQ(sent().substr(before.size()), traffic) << confirmed;
    }
}

// A frame as the receiver saw it; EOTs are numbered 1, 2, ...
struct Frame
{
    char kind; // SOH, STX or EOT
    int number;
    std::string data;
};

// What rb answers: the first EOT is NAKed; block 0 with a name and the EOT's ACK are followed
// by a request for the next thing.
std::string standardAnswer(const Frame& frame)
{
    if (frame.kind == EOT)
        return frame.number == 1 ? std::string(1, NAK) : std::string(1, ACK) + "C";
    bool named = frame.number == 0 && !frame.data.empty() && frame.data[0] != '\0';
    return std::string(1, ACK) + (named ? "C" : "");
}

// A YMODEM receiver played by the test: it answers each frame as `reply` says.
class YmodemTest : public LineTest
{
protected:
    YmodemTest()
    {
        GFYmodem::defaultTiming() = {300, 300, 4};
        answer = [this](std::string& input) {
            std::string out;
            while (!input.empty()) {
                char kind = input[0];
                std::size_t size = kind == SOH ? 133 : kind == STX ? 1029 : 1;
                if (input.size() < size)
                    break;
                if (kind == SOH || kind == STX || kind == EOT) {
                    int eots = static_cast<int>(
                        std::count_if(frames.begin(), frames.end(),
                                      [](const Frame& f) { return f.kind == EOT; }));
                    frames.push_back({kind, kind == EOT ? eots + 1 : (unsigned char)input[1],
                                      kind == EOT ? "" : input.substr(3, size - 5)});
                    std::string r = reply ? reply(frames.back(), int(frames.size()) - 1)
                                          : standardAnswer(frames.back());
                    if (r.find(ACK) != std::string::npos && kind != EOT && frames.back().number)
                        received += frames.back().data;
                    out += r;
                } else {
                    stray += kind;
                }
                input.erase(0, size);
            }
            return out;
        };
    }

    // Sends contents after the receiver's first bytes `start`.
    int send(const std::string& start, const std::string& contents)
    {
        world.files().writeFile("payload.bin", contents);
        frames.clear();
        received.clear();
        stray.clear();
        sent();
        m_input.clear();
        line.put(start);
        GFYmodem ymodem(&port, nullptr);
        int status = ymodem.Send("payload.bin");
        repeats = ymodem.Repeats();
        desktop.onPump();
        return status;
    }

    modemtest::QuickTiming timing;
    std::function<std::string(const Frame&, int index)> reply;
    std::vector<Frame> frames;
    int repeats = 0;
    std::string received; // the data of the accepted blocks, padding included
    std::string stray;    // bytes that were no frame (the sender's CANs, say)
};

TEST_F(YmodemTest, AnswersToEachBlock)
{
    // Frame 0 is block 0, frames 1 to 3 the three long blocks of data, frame 4 the first EOT.
    std::mt19937 random(7);
    std::string contents(3000, '\0');
    for (char& byte : contents)
        byte = static_cast<char>(random() & 0xFF);
    const std::string padded = contents + std::string(72, '\x1A'); // the last block padded
    const std::string nak(1, NAK), cancel(2, CAN);
    const std::tuple<const char*, int, std::string, int, int> cases[] = {
        {"NAK sends the block again", 2, nak, 0, 1},
        {"a repeated C sends the block again", 1, "C", 0, 1},
        {"chatter before the ACK is no answer", 2, "\r\nxyz!" + std::string(1, ACK), 0, 0},
        {"silence sends the block again", 3, "", 0, 1},
        {"CAN CAN stops the transfer", 2, cancel, GFYmodem::remoteCancelled, 0},
        {"one CAN alone is line noise", 2, std::string(1, CAN) + "x", 0, 1},
        {"a block never acknowledged", -1, nak, GFYmodem::tooManyRetries, 4},
        {"an EOT acknowledged at once", 4, std::string(1, ACK) + "C", 0, 0}};
    for (const auto& [what, frame, otherwise, status, repeated] : cases) {
        reply = [&](const Frame& f, int index) {
            bool other = frame < 0 ? f.kind != EOT && f.number == 2 : index == frame;
            return other ? otherwise : standardAnswer(f);
        };
        EXPECT_EQ(send("C", contents), status) << what;
        EXPECT_EQ(repeats, repeated) << what;
        EXPECT_EQ(received == padded, status == 0) << what;
        if (status == GFYmodem::tooManyRetries) {
            EXPECT_NE(stray.find(cancel), std::string::npos) << "a listening receiver is told";
        }
        if (status == GFYmodem::remoteCancelled) {
            EXPECT_EQ(frames.size(), 3u) << "nothing is sent after the cancel";
        }
    }
    // Only a C at the end of what came starts the transfer.
    const std::pair<std::string, int> starts[] = {
        {" 57600\r\nC", 0},
        {"CONNECT 57600\r\n", GFYmodem::tooManyRetries}, // the C of CONNECT is no request
        {std::string(2, CAN), GFYmodem::remoteCancelled},
        {std::string(3, NAK), GFYmodem::protocolError}}; // XMODEM asking for checksums
    reply = nullptr;
    for (const auto& [start, status] : starts) {
        EXPECT_EQ(send(start, "registrant"), status) << start;
        EXPECT_EQ(frames.empty(), status != 0) << start;
        EXPECT_EQ(received.substr(0, 10) == "registrant", status == 0) << start;
    }
}

} // namespace
