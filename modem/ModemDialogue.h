#pragma once

// The small operations with which the modem channel talks to a Hayes-compatible modem over
// an open port: a wait that keeps the windows alive, the wait for "OK", one command, dialing
// with the classification of the modem's reply, and hanging up. They run on the
// user-interface thread and poll; none of them waits inside the serial library.

#include <cstdint>

class GFSerial;
struct RegistrationSettings;

namespace modem {

// Outcomes of the dial (the numbers are those of the call's results, DialUpCall.h).
inline constexpr int dialConnected = 0;
inline constexpr int dialModemError = 5;
inline constexpr int dialBusy = 7;
inline constexpr int dialNoDialTone = 8;
inline constexpr int dialNoAnswer = 9;
inline constexpr int dialNoCarrier = 10;

// Sizes of the reply buffers.
inline constexpr unsigned callReplySize = 1000;
inline constexpr unsigned hangUpReplySize = 256;

// Dispatches window messages until at least milliseconds + 27 ms have passed on
// platform::clock(); longer while messages keep arriving.
void WaitPumping(std::uint32_t milliseconds);

// Polls the port until the reply in buffer (room bytes, filled from its start and kept
// zero-terminated) holds "OK" and a carriage return, in that case, exactly. 1 when it came;
// 0 when the buffer is within 10 bytes of full or timeoutMs passed first.
int AwaitOk(GFSerial& port, unsigned char* buffer, unsigned room, int readArgument,
            std::uint32_t timeoutMs);

// Sends text as a command line and waits up to 2 seconds for "OK" in the call's 1000-byte
// reply buffer. Returns as AwaitOk.
int SendCommand(GFSerial& port, const char* text, unsigned char* buffer);

// Sends the dial command and classifies the modem's reply: 0 for a connection, else one of
// the dial outcomes. hangUpFlag ends at 1 when the line must be hung up afterwards (a
// connection, or no recognised reply within 900 bytes or 60 seconds), at 0 after a busy,
// no-dial-tone, no-answer, no-carrier or error reply.
int DialAndAwaitConnect(GFSerial& port, const char* dialCommand, int& hangUpFlag);

// Escapes to command mode and hangs up, up to 3 times: 1 when the modem confirmed both
// hang-up commands, else 0.
int HangUpModem(const RegistrationSettings& settings, GFSerial& port);

} // namespace modem
