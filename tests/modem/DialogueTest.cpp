// The modem dialogue against a peer the test plays on a pseudo-terminal: at each pump the peer
// reads what came and sends the next piece of its reply. Time runs on a test clock.

#include "modem/ModemDialogue.h"
#include "modem/Serial.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using modemtest::RealTime;

namespace {

constexpr int comPort = 2;

class DialogueTest : public ::testing::Test
{
protected:
    DialogueTest() : line(world.files(), comPort), link(comPort - 1, 4096, 2048, 0), port(&link)
    {
        desktop.onPump = [this] {
            peerTurn();
        };
    }

    // Once the program has sent something: the reply whole, or in pieces of 1 to 7 bytes.
    void reply(std::string text, bool whole = false)
    {
        m_reply = std::move(text);
        m_whole = whole;
    }

    // What the program sent, all of it.
    std::string sent()
    {
        m_sent += line.take();
        return m_sent;
    }

    // When set, answers each command line, and the escape text, which has no line end.
    std::function<std::string(const std::string& command)> answerCommands;

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    modemtest::WatchingDesktop desktop;
    modemtest::TestLine line;
    GFComWin32 link;
    GFSerial port;

private:
    void peerTurn()
    {
        std::string fresh = line.take();
        m_sent += fresh;
        m_pending += fresh;
        while (answerCommands) {
            bool escape = m_pending.rfind("+++", 0) == 0;
            std::size_t end = escape ? 3 : m_pending.find('\r');
            if (end == std::string::npos)
                break;
            line.put(answerCommands(m_pending.substr(0, end)));
            m_pending.erase(0, escape ? end : end + 1);
        }
        if (m_sent.empty() || m_reply.empty())
            return;
        std::size_t piece = m_whole ? m_reply.size() : 1 + m_random() % 7;
        piece = std::min(piece, m_reply.size());
        line.put(m_reply.substr(0, piece));
        m_reply.erase(0, piece);
    }

    std::string m_reply;
    bool m_whole = false;
    std::string m_sent;
    std::string m_pending;
    std::mt19937 m_random{20240615};
};

TEST_F(DialogueTest, AwaitOkWantsOkAndACarriageReturnInThatCase)
{
    struct Case
    {
        std::string reply;
        int answered;
        bool waitsTheWholeLimit;
        bool whole;
    } cases[] = {{"ATE1Q0V1\r\r\nOK\r\n", 1, false, false},
                 {"ATE1Q0V1\r\r\nok\r\n", 0, true, false},
                 {"\r\nOK", 0, true, false},
                 {std::string(995, '#'), 0, false, true}}; // a flood that fills the buffer
    for (const auto& c : cases) {
        reply(c.reply, c.whole);
        unsigned char buffer[modem::callReplySize];
        std::uint32_t start = clock.now();
        EXPECT_EQ(modem::SendCommand(port, "ATE1Q0V1", buffer), c.answered) << c.reply;
        EXPECT_EQ(clock.now() - start >= 2000u, c.waitsTheWholeLimit) << c.reply;
        sent();
        port.RXFlush(0);
    }
    EXPECT_EQ(sent(), "ATE1Q0V1\rATE1Q0V1\rATE1Q0V1\rATE1Q0V1\r") << "one line per command";
}

TEST_F(DialogueTest, TheDialReplyIsClassifiedInItsOrder)
{
    struct Case
    {
        std::string reply;
        int outcome;
        int hangUp;
        bool whole = false;
    } cases[] = {{"ATDT5551234\r\r\nCONNECT 57600\r\n", 0, 1},
                 {"\r\nCARRIER 28800\r\n", 0, 1},
                 {"\r\nbusy\r\n", 7, 0},
                 {"\r\nNO DIALTONE\r\n", 8, 0},
                 {"\r\nNO DIAL TONE\r\n", 8, 0},
                 {"\r\nNO ANSWER\r\n", 9, 0},
                 {"\r\nNO CARRIER\r\n", 10, 0},
                 {"\r\nCONNECT\r\n\r\nNO CARRIER\r\n", 10, 0, true},
                 {"\r\nERROR\r\n", 5, 0},
                 {"\r\nERROR\r\nBUSY\r\n", 7, 0, true},
                 {std::string(950, '~'), 10, 1}};
    for (const auto& c : cases) {
        reply(c.reply, c.whole);
        int hangUp = -1;
        std::uint32_t start = clock.now();
        EXPECT_EQ(modem::DialAndAwaitConnect(port, "ATDT5551234", hangUp), c.outcome) << c.reply;
        EXPECT_EQ(hangUp, c.hangUp) << c.reply;
        EXPECT_LT(clock.now() - start, 60000u) << c.reply << ": before the time limit";
    }
    EXPECT_EQ(sent().substr(0, 12), "ATDT5551234\r");
}

TEST_F(DialogueTest, ASilentDialEndsAfterSixtySecondsAndMustBeHungUp)
{
    RealTime real;
    std::uint32_t start = clock.now();
    int hangUp = 0;
    EXPECT_EQ(modem::DialAndAwaitConnect(port, "ATDT5551234", hangUp), 10);
    EXPECT_EQ(hangUp, 1);
    EXPECT_GT(clock.now() - start, 60000u);
    EXPECT_LT(clock.now() - start, 60000u + 200);
    EXPECT_LT(real.seconds(), 5.0);
}

TEST_F(DialogueTest, HangingUpEscapesThenHangsUpTwiceAtMostThreeTimes)
{
    struct Case
    {
        const char* confirmed; // 'y' for each hang-up command the modem confirms, in order
        bool escapeConfirmed;
        int result;
        std::string traffic;
    } cases[] = {{"yy", true, 1, "+++ATH\rATH\r"},
                 {"yy", false, 1, "+++ATH\rATH\r"}, // a modem on hook ignores the escape
                 {"", false, 0, "+++ATH\r+++ATH\r+++ATH\r"},
                 {"ynynyn", true, 0, "+++ATH\rATH\r+++ATH\rATH\r+++ATH\rATH\r"},
                 {"nyy", true, 1, "+++ATH\r+++ATH\rATH\r"}};
    RegistrationSettings settings = modemtest::defaultSettings();
    for (const auto& c : cases) {
        std::size_t hangUps = 0;
        answerCommands = [&](const std::string& command) -> std::string {
            if (command == "+++")
                return c.escapeConfirmed ? "\r\nOK\r\n" : "";
            bool yes = hangUps < std::strlen(c.confirmed) && c.confirmed[hangUps++] == 'y';
            return yes ? "ATH\r\r\nOK\r\n" : "";
        };
        std::string before = sent();
        EXPECT_EQ(modem::HangUpModem(settings, port), c.result) << c.confirmed;
        EXPECT_EQ(sent().substr(before.size()), c.traffic) << c.confirmed;
    }
}

} // namespace
