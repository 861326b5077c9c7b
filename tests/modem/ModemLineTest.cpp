// The modem dialogue and the YMODEM sender against a peer the test plays on the fuzz targets'
// fake line: each write of the program is answered at once; time runs on the fake clock.

#include "modem/ModemDialogue.h"
#include "modem/Ymodem.h"
#include "registrant/ProgramRecord.h"
#include "tests/fuzz/FakeLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

using fuzz::line;

namespace {

constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

// The peer gives reply to the first thing written, handed to the program readSize bytes a read.
struct LineTest : ::testing::Test
{
    void answerOnce(std::string reply, std::size_t readSize = SIZE_MAX)
    {
        line = {};
        line.readSize = readSize;
        line.onWrite = [this, reply](std::string_view bytes) {
            line.incoming += sent.empty() ? reply : "";
            sent += bytes;
        };
        sent.clear();
    }
    fuzz::FakeWorld world;
    GFSerial port{nullptr};
    std::string sent;
};

TEST_F(LineTest, AwaitOkWantsOkAndACarriageReturn)
{
    const std::tuple<std::string, int, bool> cases[] = {
        {"ATE1Q0V1\r\r\nOK\r\n", 1, false},
        {"ATE1Q0V1\r\r\nok\r\n", 0, true},
        {"\r\nOK", 0, true},
        {std::string(995, '#'), 0, false}}; // a flood that fills the buffer
    for (const auto& [reply, answered, waitsTheWholeLimit] : cases) {
        answerOnce(reply, reply.size() > 900 ? SIZE_MAX : 3);
        unsigned char buffer[modem::callReplySize];
        std::uint32_t start = world.clock.now();
        EXPECT_EQ(modem::SendCommand(port, "ATE1Q0V1", buffer), answered) << reply;
        EXPECT_EQ(world.clock.now() - start >= 2000u, waitsTheWholeLimit) << reply;
        EXPECT_EQ(sent, "ATE1Q0V1\r") << "one line per command";
    }
}

TEST_F(LineTest, TheDialReplyIsClassifiedInItsOrderWithinSixtySeconds)
{
    const std::tuple<std::string, int, int> cases[] = {{"ATDT5551234\r\r\nCONNECT 57600\r\n", 0, 1},
                                                       {"\r\nCARRIER 28800\r\n", 0, 1},
                                                       {"\r\nbusy\r\n", 7, 0},
                                                       {"\r\nNO DIALTONE\r\n", 8, 0},
                                                       {"\r\nNO DIAL TONE\r\n", 8, 0},
                                                       {"\r\nNO ANSWER\r\n", 9, 0},
                                                       {"\r\nNO CARRIER\r\n", 10, 0},
                                                       {"\r\nCONNECT\r\n\r\nNO CARRIER\r\n", 10, 0},
                                                       {"\r\nERROR\r\n", 5, 0},
                                                       {"\r\nERROR\r\nBUSY\r\n", 7, 0},
                                                       {std::string(950, '~'), 10, 1},
                                                       {"", 10, 1}}; // silence
    for (const auto& [reply, outcome, hangUpFlag] : cases) {
        // Two replies come in one read; one comes in pieces.
        answerOnce(reply, std::count(reply.begin(), reply.end(), '\n') > 2 ? SIZE_MAX : 7);
        int hangUp = -1;
        std::uint32_t start = world.clock.now();
        EXPECT_EQ(modem::DialAndAwaitConnect(port, "ATDT5551234", hangUp), outcome) << reply;
        EXPECT_EQ(hangUp, hangUpFlag) << reply;
        EXPECT_EQ(world.clock.now() - start > 60000u, reply.empty()) << reply;
        EXPECT_LT(world.clock.now() - start, 60000u + 200) << reply;
        EXPECT_EQ(sent, "ATDT5551234\r");
    }
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
    RegistrationSettings settings;
    settings.OffLine = "+++";
    settings.HangUp = "ATH";
    for (const auto& [confirmed, escapeConfirmed, result, traffic] : cases) {
        std::size_t hangUps = 0;
        line = {};
        sent.clear();
        line.onWrite = [&](std::string_view bytes) {
            sent += bytes;
            if (bytes == "+++" ? escapeConfirmed
                               : hangUps < std::strlen(confirmed) && confirmed[hangUps++] == 'y')
                line.incoming += "\r\nOK\r\n";
        };
        EXPECT_EQ(modem::HangUpModem(settings, port), result) << confirmed;
        EXPECT_EQ(sent, traffic) << confirmed;
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
struct YmodemTest : LineTest
{
    // Sends contents after the receiver's first bytes `start`.
    int send(const std::string& start, const std::string& contents)
    {
        const auto path = std::filesystem::temp_directory_path() / "ymodem-test-payload";
        std::ofstream(path, std::ios::binary) << contents;
        frames.clear(), received.clear(), stray.clear();
        line = {};
        line.incoming = start;
        line.onWrite = [this](std::string_view bytes) {
            const char kind = bytes[0];
            if (kind != SOH && kind != STX && kind != EOT) {
                stray += bytes;
                return;
            }
            int eots = int(std::count_if(frames.begin(), frames.end(),
                                         [](const Frame& f) { return f.kind == EOT; }));
            frames.push_back({kind, kind == EOT ? eots + 1 : (unsigned char)bytes[1],
                              kind == EOT ? "" : std::string(bytes.substr(3, bytes.size() - 5))});
            std::string r = reply ? reply(frames.back(), int(frames.size()) - 1)
                                  : standardAnswer(frames.back());
            if (r.find(ACK) != std::string::npos && kind != EOT && frames.back().number)
                received += frames.back().data;
            line.incoming += r;
        };
        GFYmodem ymodem(&port, nullptr);
        ymodem.SetTiming({300, 300, 4});
        int status = ymodem.Send(path.c_str());
        repeats = ymodem.Repeats();
        std::filesystem::remove(path);
        return status;
    }

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
        EXPECT_EQ(stray.find(cancel) != std::string::npos, status == GFYmodem::tooManyRetries)
            << what << ": a listening receiver is told";
        EXPECT_TRUE(status != GFYmodem::remoteCancelled || frames.size() == 3u)
            << "nothing is sent after the cancel";
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
