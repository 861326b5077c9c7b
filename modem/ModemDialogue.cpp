#include "modem/ModemDialogue.h"

// How it works. A Hayes modem takes one command line at a time, ended by a carriage return,
// and answers with a result line: "OK", or for a dial "CONNECT", "BUSY", "NO DIALTONE" and
// the like, each between carriage return and line feed, after the echo of the command. The
// program never blocks on the line: each wait polls the port for what has arrived, appends
// it to a reply buffer kept zero-terminated, looks for the answer in the whole text so far,
// and between polls dispatches window messages for at least 27 ms (100 ms more while dialing)
// so that the windows stay alive. Every limit is measured on platform::clock(). To hang up,
// the escape text ("+++") brings a modem that is on line back to command mode, and the
// hang-up command is sent twice, so that a modem that was already in command mode and took
// the escape as a stray line still ends up on hook.

#include "modem/Serial.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "registrant/FindNoCase.h"
#include "registrant/ProgramRecord.h"

#include <algorithm>
#include <cstring>

namespace modem {

namespace {

// The floor of every wait: a wait of 0 still lets the modem's answer come in.
constexpr std::uint32_t waitFloorMs = 27;
// The slice between two message pumps of a wait: short enough that the windows never look
// frozen, long enough that the wait costs no processor time to speak of.
constexpr std::uint32_t pumpSliceMs = 10;

constexpr std::uint32_t commandTimeoutMs = 2000;
constexpr std::uint32_t escapeTimeoutMs = 1500;
constexpr std::uint32_t dialLimitMs = 60000;
constexpr std::uint32_t dialPollMs = 100;
constexpr unsigned dialReplyLimit = 900;
constexpr int hangUpAttempts = 3;

const unsigned char* bytes(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

bool contains(const unsigned char* reply, const char* word)
{
    return FindNoCase(reinterpret_cast<const char*>(reply), word, 65535) >= 0;
}

} // namespace

void WaitPumping(std::uint32_t milliseconds)
{
    auto& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    const std::uint64_t total = std::uint64_t(milliseconds) + waitFloorMs;
    for (;;) {
        // Every message that is waiting is dispatched before the clock is looked at.
        std::uint32_t before = clock.tickCount();
        std::uint64_t elapsed = std::uint32_t(before - start);
        if (elapsed >= total)
            return;
        std::uint32_t slice =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(total - elapsed, pumpSliceMs));
        platform::desktop().pumpMessages(slice);
        // A desktop that returns at once when nothing is waiting leaves the rest of the slice
        // to the clock, which sleeps (or, in a test, just moves on).
        std::uint32_t spent = clock.tickCount() - before;
        if (spent < slice)
            clock.sleep(slice - spent);
    }
}

int AwaitOk(GFSerial& port, unsigned char* buffer, unsigned room, int readArgument,
            std::uint32_t timeoutMs)
{
    auto& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    std::uint16_t count = 0;
    if (room > 0)
        buffer[0] = '\0';
    for (;;) {
        WaitPumping(0);
        if (count < room)
            count = static_cast<std::uint16_t>(
                count + port.GetString(buffer + count, room - count, readArgument, 0));
        if (count != 0 && std::strstr(reinterpret_cast<const char*>(buffer), "OK\r"))
            return 1;
        if (count + 10u > room)
            return 0;
        if (clock.tickCount() - start >= timeoutMs)
            return 0;
    }
}

int SendCommand(GFSerial& port, const char* text, unsigned char* buffer)
{
    port.PutString(bytes(text), GFSerial::commandLine);
    return AwaitOk(port, buffer, callReplySize, -1, commandTimeoutMs);
}

int DialAndAwaitConnect(GFSerial& port, const char* dialCommand, int& hangUpFlag)
{
    unsigned char reply[callReplySize];
    reply[0] = '\0';
    port.TXFlush();
    port.RXFlush(0);
    port.PutString(bytes(dialCommand), GFSerial::commandLine);
    hangUpFlag = 1;
    std::uint16_t count = 0;
    auto& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    for (;;) {
        count = static_cast<std::uint16_t>(
            count + port.GetString(reply + count, callReplySize - count, -1, 0));

        // A refusal needs no hang-up; "NO CARRIER" is looked for before "CARRIER", which it
        // contains, so that it never counts as a connection.
        hangUpFlag = 0;
        if (contains(reply, "BUSY"))
            return dialBusy;
        if (contains(reply, "NO DIALTONE") || contains(reply, "NO DIAL TONE"))
            return dialNoDialTone;
        if (contains(reply, "NO ANSWER"))
            return dialNoAnswer;
        if (contains(reply, "NO CARRIER"))
            return dialNoCarrier;
        if (contains(reply, "ERROR"))
            return dialModemError;

        hangUpFlag = 1;
        if (contains(reply, "CONNECT") || contains(reply, "CARRIER"))
            return dialConnected;
        // No answer that makes sense: the modem may still be dialing, or on line with
        // something that chatters, so it must be hung up.
        if (count > dialReplyLimit)
            return dialNoCarrier;
        if (clock.tickCount() - start > dialLimitMs)
            return dialNoCarrier;
        WaitPumping(dialPollMs);
    }
}

int HangUpModem(const RegistrationSettings& settings, GFSerial& port)
{
    unsigned char reply[hangUpReplySize];
    port.TXFlush();
    port.RXFlush(0);
    for (int attempt = 0; attempt < hangUpAttempts; ++attempt) {
        port.PutString(bytes(settings.OffLine.c_str()), GFSerial::asIs);
        AwaitOk(port, reply, sizeof reply, -1, escapeTimeoutMs);
        port.PutString(bytes(settings.HangUp.c_str()), GFSerial::commandLine);
        if (AwaitOk(port, reply, sizeof reply, -1, commandTimeoutMs)) {
            port.PutString(bytes(settings.HangUp.c_str()), GFSerial::commandLine);
            if (AwaitOk(port, reply, sizeof reply, -1, commandTimeoutMs))
                return 1;
        }
    }
    return 0;
}

} // namespace modem
