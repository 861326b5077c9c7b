// The modem dialogue against a peer that the test plays on a real pseudo-terminal: each time
// the program pumps messages, the peer reads what came and sends the next few bytes of its
// reply, so replies arrive in pieces as they do from a modem. Time runs on a test clock.

#include "modem/ModemDialogue.h"
#include "modem/Serial.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <gtest/gtest.h>

#include <random>
#include <string>

using modemtest::RealTime;
using modemtest::TestLine;
using modemtest::WatchingDesktop;

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

    // Sends the reply in pieces of 1 to 7 bytes, one piece per pump, once the program has
    // sent something.
    void replyInPieces(std::string reply)
    {
        m_reply = std::move(reply);
        m_whole = false;
    }
    // The whole reply at once, at the first pump after the program has sent something.
    void replyAtOnce(std::string reply)
    {
        m_reply = std::move(reply);
        m_whole = true;
    }

    // What the program sent, all of it.
    std::string sent()
    {
        m_sent += line.take();
        return m_sent;
    }

    std::function<std::string(const std::string& command)> answerCommands;

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    WatchingDesktop desktop;
    TestLine line;
    GFComWin32 link;
    GFSerial port;

private:
    void peerTurn()
    {
        std::string fresh = line.take();
        m_sent += fresh;
        if (answerCommands) {
            m_pending += fresh;
            // Answers each command line, and the escape text, which has no line end.
            for (;;) {
                std::size_t end = m_pending.find('\r');
                std::string command;
                if (m_pending.rfind("+++", 0) == 0) {
                    command = "+++";
                    m_pending.erase(0, 3);
                } else if (end != std::string::npos) {
                    command = m_pending.substr(0, end);
                    m_pending.erase(0, end + 1);
                } else {
                    break;
                }
                line.put(answerCommands(command));
            }
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

TEST_F(DialogueTest, WaitPumpingTakesTheWaitOnTheClockAndKeepsTheWindowsAlive)
{
    RealTime real;
    for (std::uint32_t wait : {0u, 100u, 10000u}) {
        std::uint32_t start = clock.now();
        bool delivered = false;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { delivered = true; }, Qt::QueuedConnection);
        modem::WaitPumping(wait);
        std::uint32_t lasted = clock.now() - start;
        EXPECT_GE(lasted, wait + 27) << wait;
        EXPECT_LT(lasted, wait + 27 + 20) << wait;
        EXPECT_TRUE(delivered) << "a message posted before the wait is dispatched during it";
    }
    EXPECT_LT(real.seconds(), 2.0) << "ten seconds on the test clock cost no real time";
}

TEST_F(DialogueTest, AwaitOkWantsOkAndACarriageReturnInThatCase)
{
    struct Case
    {
        const char* what;
        std::string reply;
        int answered;
        bool waitsTheWholeLimit;
        bool atOnce = false;
    } cases[] = {
        {"echo, then OK", "ATE1Q0V1\r\r\nOK\r\n", 1, false},
        {"OK after another result", "\r\nNO CARRIER\r\n\r\nOK\r\n", 1, false},
        {"lower case", "ATE1Q0V1\r\r\nok\r\n", 0, true},
        {"no carriage return yet", "\r\nOK", 0, true},
        {"echo only", "ATE1Q0V1\r", 0, true},
        {"a flood that fills the buffer", std::string(995, '#'), 0, false, true},
    };
    for (const auto& c : cases) {
        if (c.atOnce)
            replyAtOnce(c.reply);
        else
            replyInPieces(c.reply);
        unsigned char buffer[modem::callReplySize];
        std::uint32_t start = clock.now();
        EXPECT_EQ(modem::SendCommand(port, "ATE1Q0V1", buffer), c.answered) << c.what;
        std::uint32_t lasted = clock.now() - start;
        if (c.waitsTheWholeLimit) {
            EXPECT_GE(lasted, 2000u) << c.what;
        } else {
            EXPECT_LT(lasted, 2000u) << c.what;
        }
        sent();
        port.RXFlush(0);
    }
    std::string commands;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        commands += "ATE1Q0V1\r";
    EXPECT_EQ(sent(), commands) << "each command goes out as one line";
}

TEST_F(DialogueTest, TheDialReplyIsClassifiedInItsOrder)
{
    struct Case
    {
        const char* what;
        std::string reply;
        bool atOnce;
        int outcome;
        int hangUp;
    } cases[] = {
        {"connect", "ATDT5551234\r\r\nCONNECT 57600\r\n", false, 0, 1},
        {"carrier", "\r\nCARRIER 28800\r\n", false, 0, 1},
        {"busy", "\r\nBUSY\r\n", false, 7, 0},
        {"busy in lower case", "\r\nbusy\r\n", false, 7, 0},
        {"no dialtone", "\r\nNO DIALTONE\r\n", false, 8, 0},
        {"no dial tone", "\r\nNO DIAL TONE\r\n", false, 8, 0},
        {"no answer", "\r\nNO ANSWER\r\n", false, 9, 0},
        {"no carrier, which holds CARRIER", "\r\nNO CARRIER\r\n", false, 10, 0},
        {"connect and no carrier together", "\r\nCONNECT\r\n\r\nNO CARRIER\r\n", true, 10, 0},
        {"error", "\r\nERROR\r\n", false, 5, 0},
        {"busy wins over error", "\r\nERROR\r\nBUSY\r\n", true, 7, 0},
        {"a flood of junk", std::string(950, '~'), false, 10, 1},
    };
    for (const auto& c : cases) {
        if (c.atOnce)
            replyAtOnce(c.reply);
        else
            replyInPieces(c.reply);
        int hangUp = -1;
        EXPECT_EQ(modem::DialAndAwaitConnect(port, "ATDT5551234", hangUp), c.outcome) << c.what;
        EXPECT_EQ(hangUp, c.hangUp) << c.what;
        sent();
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
    std::uint32_t lasted = clock.now() - start;
    EXPECT_GT(lasted, 60000u);
    EXPECT_LT(lasted, 60000u + 200);
    EXPECT_LT(real.seconds(), 5.0);
}

TEST_F(DialogueTest, HangingUpEscapesThenHangsUpTwice)
{
    struct Case
    {
        const char* what;
        // Which of the hang-up commands the modem confirms (1 = the first one sent).
        std::function<bool(int hangUpNumber)> confirms;
        bool escapeConfirmed;
        int result;
        int escapes;
        int hangUps;
    } cases[] = {
        {"a modem that confirms everything", [](int) { return true; }, true, 1, 1, 2},
        {"a modem on hook already ignores the escape", [](int) { return true; }, false, 1, 1, 2},
        {"a silent line", [](int) { return false; }, false, 0, 3, 3},
        {"a modem that confirms only the first of each pair",
         [](int number) { return number % 2 == 1; }, true, 0, 3, 6},
        {"a modem that wakes up on the second attempt", [](int number) { return number >= 2; },
         true, 1, 2, 3},
    };
    RegistrationSettings settings = modemtest::defaultSettings();
    for (const auto& c : cases) {
        int hangUps = 0;
        answerCommands = [&](const std::string& command) -> std::string {
            if (command == "+++")
                return c.escapeConfirmed ? "\r\nOK\r\n" : "";
            if (command == "ATH")
                return c.confirms(++hangUps) ? "ATH\r\r\nOK\r\n" : "";
            return "\r\nERROR\r\n";
        };
        std::string before = sent();
        EXPECT_EQ(modem::HangUpModem(settings, port), c.result) << c.what;
        std::string traffic = sent().substr(before.size());
        auto count = [&](const std::string& what) {
            int found = 0;
            for (std::size_t at = traffic.find(what); at != std::string::npos;
                 at = traffic.find(what, at + 1))
                ++found;
            return found;
        };
        EXPECT_EQ(count("+++"), c.escapes) << c.what;
        EXPECT_EQ(count("ATH\r"), c.hangUps) << c.what;
        EXPECT_EQ(traffic.rfind("+++ATH\r", 0), 0u) << c.what << ": the escape goes out bare";
    }
}

} // namespace
