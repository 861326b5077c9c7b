// The YMODEM sender: its framing and its answers to ACK, NAK, "C" and CAN against a receiver
// the test plays (in a table), then whole transfers to lrzsz's rb through the simulator.

#include "modem/ModemDialogue.h"
#include "modem/Serial.h"
#include "modem/Ymodem.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

using modemtest::ModemSimulator;
using modemtest::QuickTiming;
using modemtest::RealTime;
using modemtest::TestLine;
using modemtest::WatchingDesktop;

namespace {

constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

std::uint16_t crc16(std::string_view data)
{
    std::uint16_t crc = 0;
    for (unsigned char byte : data) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

// A frame as the receiver saw it.
struct Frame
{
    char kind = 0; // SOH, STX or EOT
    int number = -1;
    std::string data;
    bool intact = false; // complement and CRC right
};

// A receiver played by the test on the line: at every pump it takes the frames that have come
// and answers each as the case says.
class YmodemProtocolTest : public ::testing::Test
{
protected:
    YmodemProtocolTest()
        : line(world.files(), comPort), link(comPort - 1, 4096, 2048, 0), port(&link)
    {
        desktop.onPump = [this] {
            receiverTurn();
        };
    }

    // Sends bytes to the sender at the next pump.
    void say(std::string bytes) { m_toSay += bytes; }

    // The answer to each frame; the default accepts everything, as rb does.
    std::function<std::string(const Frame&, int index)> answer = [](const Frame& frame, int) {
        return standardAnswer(frame);
    };

    static std::string standardAnswer(const Frame& frame)
    {
        if (frame.kind == EOT)
            return std::string(1, frame.number == 1 ? NAK : ACK);
        if (!frame.intact)
            return std::string(1, NAK);
        // Block 0 with a name asks for the data next; the empty one ends the batch.
        if (frame.number == 0 && !frame.data.empty() && frame.data[0] != '\0')
            return std::string(1, ACK) + "C";
        if (frame.number == 0)
            return std::string(1, ACK);
        return std::string(1, ACK);
    }

    // After the EOT's ACK the receiver asks for the next file.
    std::string afterEndOfFile = "C";

    std::string sendFile(const std::string& contents, int* status)
    {
        world.files().writeFile("payload.bin", contents);
        frames.clear();
        m_received.clear();
        m_stray.clear();
        m_input.clear();
        m_eots = 0;
        m_lastAccepted = -1;
        GFYmodem ymodem(&port, nullptr);
        *status = ymodem.Send("payload.bin");
        m_repeats = ymodem.Repeats();
        receiverTurn();
        return m_received;
    }

    QuickTiming timing;
    testsupport::GuiWorld world;
    WatchingDesktop desktop;
    static constexpr int comPort = 6;
    TestLine line;
    GFComWin32 link;
    GFSerial port;
    std::vector<Frame> frames;
    int m_repeats = 0;
    std::string m_received; // the file as the accepted blocks carry it, padding included
    std::string m_stray;    // bytes that were no frame (the sender's CANs, say)

    void receiverTurn()
    {
        if (!m_toSay.empty()) {
            line.put(m_toSay);
            m_toSay.clear();
        }
        m_input += line.take();
        for (;;) {
            if (m_input.empty())
                return;
            char kind = m_input[0];
            std::size_t size = kind == SOH ? 133 : kind == STX ? 1029 : 1;
            if (m_input.size() < size)
                return;
            if (kind != SOH && kind != STX && kind != EOT) {
                m_stray += m_input.substr(0, 1);
                m_input.erase(0, 1);
                continue;
            }
            Frame frame;
            frame.kind = kind;
            if (kind == EOT) {
                frame.number = ++m_eots;
            } else {
                std::string raw = m_input.substr(0, size);
                frame.number = static_cast<unsigned char>(raw[1]);
                frame.data = raw.substr(3, size - 5);
                std::uint16_t crc =
                    static_cast<std::uint16_t>((static_cast<unsigned char>(raw[size - 2]) << 8) |
                                               static_cast<unsigned char>(raw[size - 1]));
                frame.intact = (static_cast<unsigned char>(raw[1]) ^
                                static_cast<unsigned char>(raw[2])) == 0xFF &&
                               crc == crc16(frame.data);
            }
            m_input.erase(0, size);
            frames.push_back(frame);
            std::string reply = answer(frame, static_cast<int>(frames.size()) - 1);
            bool accepted = reply.find(ACK) != std::string::npos;
            if (accepted && frame.kind != EOT && frame.number != 0 &&
                frame.number != m_lastAccepted) {
                m_received += frame.data;
                m_lastAccepted = frame.number;
            }
            if (frame.kind == EOT && accepted)
                reply += afterEndOfFile;
            line.put(reply);
        }
    }

private:
    std::string m_toSay;
    std::string m_input;
    int m_eots = 0;
    int m_lastAccepted = -1;
};

TEST_F(YmodemProtocolTest, BlockSizesAndPaddingFollowTheFileSize)
{
    struct Case
    {
        std::size_t size;
        std::vector<std::size_t> blocks;
    } cases[] = {
        {0, {}},
        {1, {128}},
        {128, {128}},
        {129, {128, 128}},
        {896, {128, 128, 128, 128, 128, 128, 128}},
        {897, {1024}},
        {1024, {1024}},
        {1025, {1024, 128}},
        {2148, {1024, 1024, 128}},
    };
    for (const auto& c : cases) {
        frames.clear();
        m_received.clear();
        say("C");
        std::string contents = randomBytes(c.size, static_cast<unsigned>(c.size));
        int status = -1;
        std::string received = sendFile(contents, &status);
        ASSERT_EQ(status, 0) << c.size;
        ASSERT_GE(frames.size(), 4u) << c.size;

        const Frame& header = frames.front();
        EXPECT_EQ(header.kind, SOH);
        EXPECT_EQ(header.number, 0);
        EXPECT_TRUE(header.intact);
        std::string name = header.data.substr(0, header.data.find('\0'));
        std::string rest = header.data.substr(name.size() + 1);
        EXPECT_EQ(name, "payload.bin");
        EXPECT_EQ(rest.substr(0, rest.find_first_of(std::string(" \0", 2))),
                  std::to_string(c.size));

        std::vector<std::size_t> sizes;
        for (std::size_t i = 1; i < frames.size() && frames[i].kind != EOT; ++i) {
            EXPECT_EQ(frames[i].number, static_cast<int>(i & 0xFF));
            EXPECT_TRUE(frames[i].intact);
            sizes.push_back(frames[i].data.size());
        }
        EXPECT_EQ(sizes, c.blocks) << c.size;
        EXPECT_EQ(received.substr(0, c.size), contents) << c.size;
        EXPECT_EQ(received.substr(c.size), std::string(received.size() - c.size, '\x1A'))
            << "the last block is padded with Ctrl-Z";

        // Two EOTs (the first one NAKed), then the empty block 0 that ends the batch.
        ASSERT_GE(frames.size(), 3u);
        const Frame& last = frames.back();
        EXPECT_EQ(last.number, 0);
        EXPECT_EQ(last.data, std::string(128, '\0'));
        EXPECT_EQ(frames[frames.size() - 2].kind, EOT);
        EXPECT_EQ(frames[frames.size() - 3].kind, EOT);
        EXPECT_TRUE(m_stray.empty());
    }
}

TEST_F(YmodemProtocolTest, AnswersToEachBlock)
{
    // The file is three long blocks; frame 0 is block 0, frames 1 to 3 the data.
    const std::string contents = randomBytes(3 * 1024, 7);
    struct Case
    {
        const char* what;
        std::function<std::string(const Frame&, int)> answer;
        int status;
        int repeats;
        bool fileComplete;
    } cases[] = {
        {"NAK sends the same block again",
         [](const Frame& frame, int index) {
             return index == 2 ? std::string(1, NAK) : standardAnswer(frame);
         },
         0, 1, true},
        {"a repeated C sends the same block again",
         [](const Frame& frame, int index) {
             return index == 1 ? std::string("C") : standardAnswer(frame);
         },
         0, 1, true},
        {"chatter before the ACK is no answer",
         [](const Frame& frame, int index) {
             return index == 2 ? "\r\nxyz!" + standardAnswer(frame) : standardAnswer(frame);
         },
         0, 0, true},
        {"silence sends the block again after the time limit",
         [](const Frame& frame, int index) {
             return index == 3 ? std::string() : standardAnswer(frame);
         },
         0, 1, true},
        {"CAN CAN stops the transfer",
         [](const Frame& frame, int index) {
             return index == 2 ? std::string(2, CAN) : standardAnswer(frame);
         },
         GFYmodem::remoteCancelled, 0, false},
        {"one CAN alone is line noise",
         [](const Frame& frame, int index) {
             return index == 2 ? std::string(1, CAN) + "x" : standardAnswer(frame);
         },
         0, 1, true},
        {"a block never acknowledged gives up after the retries",
         [](const Frame& frame, int) {
             return frame.number == 2 ? std::string(1, NAK) : standardAnswer(frame);
         },
         GFYmodem::tooManyRetries, 4, false},
        {"an EOT acknowledged at once is fine",
         [](const Frame& frame, int) {
             return frame.kind == EOT ? std::string(1, ACK) : standardAnswer(frame);
         },
         0, 0, true},
    };
    for (const auto& c : cases) {
        frames.clear();
        m_received.clear();
        m_stray.clear();
        answer = c.answer;
        say("C");
        int status = 1;
        std::string received = sendFile(contents, &status);
        EXPECT_EQ(status, c.status) << c.what;
        EXPECT_EQ(m_repeats, c.repeats) << c.what;
        EXPECT_EQ(received.substr(0, contents.size()) == contents, c.fileComplete) << c.what;
        if (c.status != 0 && c.status != GFYmodem::remoteCancelled) {
            EXPECT_NE(m_stray.find(std::string(2, CAN)), std::string::npos)
                << c.what << ": a receiver still listening is told to stop";
        }
        if (c.status == GFYmodem::remoteCancelled) {
            EXPECT_EQ(frames.size(), 3u) << c.what << ": nothing is sent after the cancel";
        }
        line.take();
    }
}

TEST_F(YmodemProtocolTest, TheStartRequestIsAC)
{
    const std::string contents = "registrant";
    struct Case
    {
        const char* what;
        std::string before; // sent by the receiver before the sender starts
        std::string later;  // sent at the first pump of the sender's wait
        int status;
    } cases[] = {
        {"the rest of the modem's CONNECT line is not a request", "CONNECT 57600\r\n", "C", 0},
        {"a C after the text starts the transfer", " 57600\r\nC", "", 0},
        {"the C of CONNECT is no request", "CONNECT 57600\r\n", "", GFYmodem::tooManyRetries},
        {"the receiver cancels before it starts", "", std::string(2, CAN),
         GFYmodem::remoteCancelled},
        {"an XMODEM receiver asking for checksums", "", std::string(3, NAK),
         GFYmodem::protocolError},
        {"nobody asks", "", "", GFYmodem::tooManyRetries},
    };
    for (const auto& c : cases) {
        frames.clear();
        m_received.clear();
        line.put(c.before);
        say(c.later);
        int status = 1;
        RealTime real;
        sendFile(contents, &status);
        EXPECT_EQ(status, c.status) << c.what;
        if (c.status == GFYmodem::tooManyRetries) {
            EXPECT_GE(real.seconds(), 1.4) << c.what << ": waited the whole start limit";
        }
        if (c.status != 0) {
            EXPECT_TRUE(frames.empty()) << c.what;
        } else {
            EXPECT_EQ(m_received.substr(0, contents.size()), contents) << c.what;
        }
        line.take();
    }
}

TEST_F(YmodemProtocolTest, WhatCannotBeSentFailsBeforeTheReceiverHearsOfIt)
{
    struct Case
    {
        const char* path;
        int status;
    } cases[] = {
        {"no-such-file", GFYmodem::fileReadError},
        {".", GFYmodem::fileReadError},
        {"", GFYmodem::sentNoFiles},
    };
    for (const auto& c : cases) {
        GFYmodem ymodem(&port, nullptr);
        EXPECT_EQ(ymodem.Send(c.path), c.status) << c.path;
    }
    GFComWin32 closed(-1, 4096, 2048, 0);
    GFSerial nowhere(&closed);
    EXPECT_EQ(GFYmodem(&nowhere, nullptr).Send("payload.bin"), GFYmodem::engineNotCreated);
    EXPECT_EQ(GFYmodem(nullptr, nullptr).Send("payload.bin"), GFYmodem::engineNotCreated);
    receiverTurn();
    EXPECT_TRUE(frames.empty());
}

// Whole transfers to the real receiver, through the simulator: connect, send, compare.
class YmodemTransferTest : public ::testing::Test
{
protected:
    static constexpr int comPort = 5;

    int connectAndSend(ModemSimulator& modem, const std::string& contents, int* repeats = nullptr)
    {
        world.files().writeFile("oldinfo", contents);
        GFComWin32 link(comPort - 1, 4096, 2048, 0);
        GFSerial port(&link);
        int hangUp = 0;
        EXPECT_EQ(modem::DialAndAwaitConnect(port, "ATDT5551234", hangUp), 0);
        GFYmodem ymodem(&port, nullptr);
        int status = ymodem.Send((world.files().programDir() / "oldinfo").c_str());
        if (repeats)
            *repeats = ymodem.Repeats();
        (void)modem;
        return status;
    }

    std::string received(ModemSimulator& modem)
    {
        return world.files().readFile(modem.receiveDir() / "oldinfo");
    }

    testsupport::GuiWorld world;
};

TEST_F(YmodemTransferTest, TheFileArrivesByteForByte)
{
    // Every byte value, the protocol's own control bytes and an escape text among them.
    std::string contents =
        randomBytes(5000, 1) + "+++" + std::string("\x18\x18\x06\x15\x04") + randomBytes(900, 2);
    ModemSimulator modem(world.files(), comPort);
    RealTime real;
    EXPECT_EQ(connectAndSend(modem, contents), 0);
    EXPECT_EQ(received(modem), contents);
    EXPECT_LT(real.seconds(), 8.0);
}

TEST_F(YmodemTransferTest, LineNoiseCostsRepeatsButNotTheFile)
{
    // Three long blocks after block 0; rb takes a second to recover from each damaged one.
    std::string contents = randomBytes(3000, 3);
    ModemSimulator modem(world.files(), comPort, {"--noise", "3"});
    int repeats = 0;
    EXPECT_EQ(connectAndSend(modem, contents, &repeats), 0);
    EXPECT_GE(repeats, 1) << "every third block was damaged on the way";
    EXPECT_EQ(received(modem), contents);
}

} // namespace
