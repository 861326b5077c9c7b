#pragma once

// One attempt to register by modem: open the port, make sure a modem answers, initialise it,
// let the user confirm the dialing settings, dial the registration server, send the
// information file with YMODEM and hang up. Called without a file it only tests whether a
// modem answers on the port, which is how the modem search uses it.

#include <cstddef>
#include <optional>
#include <string>

class GFSerial;
struct RegistrationSettings;

namespace modem {

enum CallResult : int
{
    Sent = 0,       // the file went over (without a file: the modem answered the test)
    PortError = 1,  // the port could not be opened
    NoModem = 2,    // no clear-to-send, or no "OK" to the test command in 2 attempts
    Cancelled = 3,  // the dialing settings window was not confirmed
    NoInfoFile = 4, // the information file cannot be opened for reading
    ModemError = 5, // "ERROR" to the dial command, or a dial command too long to send
    Busy = 7,
    NoDialTone = 8,
    NoAnswer = 9,
    NoCarrier = 10, // "NO CARRIER", or no recognised reply within 900 bytes or 60 seconds
    TransferFailed = 11,
};

// The most characters a dial command may have.
inline constexpr std::size_t dialCommandCapacity = 251;

// Busy results since the user was last asked whether to go on, 0 to 4; kept for the whole
// run. The retry policy counts it; each connection writes it into the information file.
extern int busyRedialCounter;

// DialString, the dial mode's letter, then the outside-line prefix and the code that turns
// off call waiting, each followed by two commas (a pause), then the number. Nothing when the
// command would be longer than dialCommandCapacity: a number cut short dials a stranger.
std::optional<std::string> composeDialCommand(const RegistrationSettings& settings);

// The status window's words for a result of the YMODEM transfer.
const char* transferStatusMessage(int status);

// Dials, waits for the server, appends the busy-redial counter to oldinfo and sends the file
// at filePath. Returns Sent, TransferFailed or the dial outcome; hangUpFlag is left as the
// dial wait set it (1 after any connection).
int SendInformation(GFSerial& port, const char* dialCommand, const char* filePath, int& hangUpFlag);

// The whole call. infoFilePath null or empty: stop after the modem test.
CallResult DialUpCall(RegistrationSettings& settings, const char* infoFilePath);

} // namespace modem
