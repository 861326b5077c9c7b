// The modem dialogue and the YMODEM sender against a peer played on the fuzz targets' fake line.

#include "modem/ModemDialogue.h"
#include "registrant/ProgramRecord.h"
#include "tests/fuzz/FakeLine.h"

#include <gtest/gtest.h>

using fuzz::line;

namespace {

TEST(LineTest, AwaitOkWantsOkAndACarriageReturnAndHangingUpTriesThreeTimes)
{
    fuzz::FakeWorld world;
    GFSerial port{nullptr};
    std::string sent;
    // The peer answers each write with reply(bytes), handed to the program readSize bytes a read.
    const auto peer = [&](std::size_t readSize, auto reply) {
        line = {};
        line.readSize = readSize;
        line.onWrite = [&sent, reply](std::string_view bytes) {
            line.incoming += reply(bytes);
            sent += bytes;
        };
        sent.clear();
    };
    // The reply, whether it is an OK, and whether the wait runs to its limit (the dial's wait is
    // the fuzz target's).
    const std::tuple<std::string, int, bool> replies[] = {
        {"AT\r\r\nOK\r\n", 1, false},
        {"AT\r\r\nok\r\n", 0, true},
        {"\r\nOK", 0, true},
        {std::string(995, '#'), 0, false}}; // a flood that fills the buffer
    for (const auto& [reply, result, waits] : replies) {
        peer(reply.size() > 900 ? SIZE_MAX : 3, [&](auto) { return sent.empty() ? reply : ""; });
        unsigned char buffer[modem::callReplySize];
        const std::uint32_t start = world.clock.now();
        EXPECT_EQ(modem::SendCommand(port, "AT", buffer), result) << reply;
        EXPECT_EQ(world.clock.now() - start >= 2000, waits) << reply;
        EXPECT_LT(world.clock.now() - start, 2200u) << reply;
    }

    // To hang up: 'y' for each hang-up command the modem confirms, in order; the escape confirmed
    // or not. The hang-up command goes twice, the whole at most three times.
    const std::tuple<const char*, bool, int, std::string> hangUps[] = {
        {"yy", false, 1, "+++ATH\rATH\r"}, // a modem on hook ignores the escape
        {"", false, 0, "+++ATH\r+++ATH\r+++ATH\r"},
        {"ynynyn", true, 0, "+++ATH\rATH\r+++ATH\rATH\r+++ATH\rATH\r"},
        {"nyy", true, 1, "+++ATH\r+++ATH\rATH\r"}};
    RegistrationSettings settings;
    std::tie(settings.OffLine, settings.HangUp) = std::tuple("+++", "ATH");
    for (const auto& [confirmed, escapeConfirmed, result, traffic] : hangUps) {
        std::size_t i = 0;
        peer(SIZE_MAX, [&](std::string_view bytes) {
            return (bytes == "+++" ? escapeConfirmed : confirmed[i] && confirmed[i++] == 'y')
                       ? "\r\nOK\r\n"
                       : "";
        });
        EXPECT_EQ(modem::HangUpModem(settings, port), result) << confirmed;
        EXPECT_EQ(sent, traffic) << confirmed;
    }
}

TEST(YmodemTest, EachAnswerOfTheReceiver)
{
    // For 3000 bytes rb answers the start with C, block 0 with ACK C, the three long blocks with
    // ACK, the EOT with NAK, the EOT again with ACK C and the empty block 0 with ACK: "25000150".
    // Then the blocks sent again, and the seconds the sender waited for an answer.
    const std::tuple<const char*, const char*, const char*, int, int, int> cases[] = {
        {"as rb answers", "", "25000150", GFYmodem::transferred, 0, 0},
        {"NAK sends the block again", "", "250100150", GFYmodem::transferred, 1, 0},
        {"silence sends the block again", "", "250040150", GFYmodem::transferred, 1, 10},
        {"noise before the C is no answer", " 57600\r\n", "25000150", GFYmodem::transferred, 0, 0},
        {"CAN CAN stops the transfer", "", "2503", GFYmodem::remoteCancelled, 0, 0},
        {"a block never acknowledged", "", "2501111111111", GFYmodem::tooManyRetries, 10, 0},
        {"CONNECT's C is no request", "CONNECT 57600\r\n", "4", GFYmodem::tooManyRetries, 0, 60},
        {"XMODEM's NAK asks for checksums", "\25\25", "1", GFYmodem::protocolError, 0, 0}};
    for (const auto& [what, before, answers, status, repeated, seconds] : cases) {
        fuzz::FakeWorld world;
        fuzz::Receiver receiver;
        receiver.answers = answers;
        const std::uint32_t start = world.clock.now();
        EXPECT_EQ(receiver.transfer(3000, before), status) << what;
        EXPECT_EQ(receiver.repeats, repeated) << what;
        EXPECT_EQ((world.clock.now() - start) / 1000, unsigned(seconds)) << what;
        EXPECT_EQ(receiver.cancelled && !receiver.weCancelled,
                  status == GFYmodem::tooManyRetries || status == GFYmodem::protocolError)
            << what << ": a listening receiver is told";
    }
}

} // namespace
