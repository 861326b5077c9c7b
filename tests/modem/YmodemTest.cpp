// The YMODEM sender: its answers to ACK, NAK, "C", CAN and silence against a receiver the test
// plays, then whole transfers to lrzsz's rb through the simulator.

#include "modem/ModemDialogue.h"
#include "modem/Serial.h"
#include "modem/Ymodem.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

using modemtest::ModemSimulator;
using modemtest::RealTime;

namespace {

constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    return bytes;
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

// A receiver played by the test: at every pump it answers the frames that have come, as
// `answer` says (by default as rb does).
class YmodemProtocolTest : public ::testing::Test
{
protected:
    YmodemProtocolTest() : line(world.files(), 6), link(5, 4096, 2048, 0), port(&link)
    {
        desktop.onPump = [this] {
            receiverTurn();
        };
    }

    // Sends contents after the receiver's first bytes `start`.
    int send(const std::string& start, const std::string& contents)
    {
        world.files().writeFile("payload.bin", contents);
        frames.clear();
        received.clear();
        stray.clear();
        m_input.clear();
        line.take();
        line.put(start);
        GFYmodem ymodem(&port, nullptr);
        int status = ymodem.Send("payload.bin");
        repeats = ymodem.Repeats();
        receiverTurn();
        return status;
    }

    void receiverTurn()
    {
        m_input += line.take();
        while (!m_input.empty()) {
            char kind = m_input[0];
            std::size_t size = kind == SOH ? 133 : kind == STX ? 1029 : 1;
            if (m_input.size() < size)
                return;
            if (kind != SOH && kind != STX && kind != EOT) {
                stray += m_input.substr(0, 1);
                m_input.erase(0, 1);
                continue;
            }
            int eots = static_cast<int>(std::count_if(
                frames.begin(), frames.end(), [](const Frame& f) { return f.kind == EOT; }));
            frames.push_back({kind, kind == EOT ? eots + 1 : static_cast<unsigned char>(m_input[1]),
                              kind == EOT ? "" : m_input.substr(3, size - 5)});
            m_input.erase(0, size);
            const Frame& frame = frames.back();
            int index = static_cast<int>(frames.size()) - 1;
            std::string reply = answer ? answer(frame, index) : standardAnswer(frame);
            if (reply.find(ACK) != std::string::npos && kind != EOT && frame.number != 0)
                received += frame.data;
            line.put(reply);
        }
    }

    modemtest::QuickTiming timing;
    testsupport::GuiWorld world;
    modemtest::WatchingDesktop desktop;
    modemtest::TestLine line;
    GFComWin32 link;
    GFSerial port;
    std::function<std::string(const Frame&, int index)> answer;
    std::vector<Frame> frames;
    int repeats = 0;
    std::string received; // the data of the accepted blocks, padding included
    std::string stray;    // bytes that were no frame (the sender's CANs, say)

private:
    std::string m_input;
};

TEST_F(YmodemProtocolTest, AnswersToEachBlock)
{
    // Frame 0 is block 0, frames 1 to 3 the three long blocks of data, frame 4 the first EOT.
    const std::string contents = randomBytes(3000, 7);
    const std::string padded = contents + std::string(72, '\x1A'); // the last block padded
    const std::string nak(1, NAK), cancel(2, CAN);
    struct Case
    {
        const char* what;
        int frame; // the frame answered otherwise; -1 for every send of block 2
        std::string reply;
        int status;
        int repeats;
    } cases[] = {{"NAK sends the block again", 2, nak, 0, 1},
                 {"a repeated C sends the block again", 1, "C", 0, 1},
                 {"chatter before the ACK is no answer", 2, "\r\nxyz!" + std::string(1, ACK), 0, 0},
                 {"silence sends the block again", 3, "", 0, 1},
                 {"CAN CAN stops the transfer", 2, cancel, GFYmodem::remoteCancelled, 0},
                 {"one CAN alone is line noise", 2, std::string(1, CAN) + "x", 0, 1},
                 {"a block never acknowledged", -1, nak, GFYmodem::tooManyRetries, 4},
                 {"an EOT acknowledged at once", 4, std::string(1, ACK) + "C", 0, 0}};
    for (const auto& c : cases) {
        answer = [&c](const Frame& frame, int index) {
            bool other = c.frame < 0 ? frame.kind != EOT && frame.number == 2 : index == c.frame;
            return other ? c.reply : standardAnswer(frame);
        };
        EXPECT_EQ(send("C", contents), c.status) << c.what;
        EXPECT_EQ(repeats, c.repeats) << c.what;
        EXPECT_EQ(received == padded, c.status == 0) << c.what;
        if (c.status == GFYmodem::tooManyRetries) {
            EXPECT_NE(stray.find(cancel), std::string::npos) << "a listening receiver is told";
        }
        if (c.status == GFYmodem::remoteCancelled) {
            EXPECT_EQ(frames.size(), 3u) << "nothing is sent after the cancel";
        }
    }
}

TEST_F(YmodemProtocolTest, OnlyACAtTheEndOfWhatCameStartsTheTransfer)
{
    std::pair<std::string, int> cases[] = {
        {" 57600\r\nC", 0},
        {"CONNECT 57600\r\n", GFYmodem::tooManyRetries}, // the C of CONNECT is no request
        {std::string(2, CAN), GFYmodem::remoteCancelled},
        {std::string(3, NAK), GFYmodem::protocolError}}; // XMODEM asking for checksums
    for (const auto& [start, status] : cases) {
        RealTime real;
        EXPECT_EQ(send(start, "registrant"), status) << start;
        if (status == GFYmodem::tooManyRetries) {
            EXPECT_GE(real.seconds(), 1.4) << "waited the whole start limit";
        }
        EXPECT_EQ(frames.empty(), status != 0) << start;
        EXPECT_EQ(received.substr(0, 10) == "registrant", status == 0) << start;
    }
}

// Whole transfers to the real receiver through the simulator on COM5.
class YmodemTransferTest : public ::testing::Test
{
protected:
    // Dials, sends contents as oldinfo and returns what rb stored.
    std::string transfer(std::vector<std::string> options, const std::string& contents)
    {
        ModemSimulator modem(world.files(), 5, options);
        world.files().writeFile("oldinfo", contents);
        {
            GFComWin32 link(4, 4096, 2048, 0);
            GFSerial port(&link);
            int hangUp = 0;
            EXPECT_EQ(modem::DialAndAwaitConnect(port, "ATDT5551234", hangUp), 0);
            GFYmodem ymodem(&port, nullptr);
            EXPECT_EQ(ymodem.Send((world.files().programDir() / "oldinfo").c_str()), 0);
            repeats = ymodem.Repeats();
        }
        return world.files().readFile(modem.receiveDir() / "oldinfo");
    }

    testsupport::GuiWorld world;
    int repeats = 0;
};

TEST_F(YmodemTransferTest, TheFileArrivesByteForByte)
{
    // Every byte value, the protocol's own control bytes and an escape text among them.
    std::string contents =
        randomBytes(5000, 1) + "+++" + std::string("\x18\x18\x06\x15\x04") + randomBytes(900, 2);
    RealTime real;
    EXPECT_EQ(transfer({}, contents), contents);
    EXPECT_LT(real.seconds(), 8.0);
}

TEST_F(YmodemTransferTest, LineNoiseCostsRepeatsButNotTheFile)
{
    std::string contents = randomBytes(3000, 3);
    EXPECT_EQ(transfer({"--noise", "3"}, contents), contents);
    EXPECT_GE(repeats, 1) << "every third block was damaged on the way";
}

} // namespace
