#include "modem/DialUpCall.h"

#include "modem/DialingConfigureWindow.h"
#include "modem/ModemDialogue.h"
#include "modem/Serial.h"
#include "modem/Ymodem.h"
#include "platform/System.h"
#include "registrant/ProgramRecord.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Window.h"

#include <filesystem>
#include <memory>
#include <new>

#include <fcntl.h>

namespace modem {

int busyRedialCounter = 0;

namespace {

constexpr int testAttempts = 2;
constexpr int initialisationAttempts = 2;
constexpr std::uint32_t serverGraceMs = 3000;

// The information file must be there to be sent; it is only looked at here, and read by the
// transfer.
bool canOpenForReading(const char* path)
{
    auto opened = platform::sys::open(path, O_RDONLY);
    if (opened.isError())
        return false;
    platform::sys::UniqueFd file(opened.value());
    std::error_code error;
    return !std::filesystem::is_directory(path, error);
}

// Each connection adds a line to oldinfo holding the busy redials that preceded it, after the
// registrant's lines, where the form and the internet request do not look. A missing file
// gets nothing: it is not created here.
void appendConnectionLine()
{
    std::string path = programDirectory + "/oldinfo";
    auto opened = platform::sys::open(path, O_WRONLY | O_APPEND);
    if (opened.isError())
        return;
    platform::sys::UniqueFd file(opened.value());
    // The file is text in the Windows manner: its line ends are a carriage return and a
    // line feed.
    (void)platform::sys::writeAll(file.get(), "\r\n" + std::to_string(busyRedialCounter));
}

} // namespace

std::optional<std::string> composeDialCommand(const RegistrationSettings& settings)
{
    std::string command = settings.DialString.str();
    command += settings.Mode != 0 ? settings.Pulse.str() : settings.Tone.str();
    if (!settings.OutsideNumber.empty())
        command += settings.OutsideNumber.str() + ",,";
    if (settings.CallWaiting != 0) {
        command +=
            settings.Mode != 0 ? settings.CallWaitingPulse.str() : settings.CallWaitingTone.str();
        command += ",,";
    }
    command += settings.PhoneNumber.str();
    if (command.size() > dialCommandCapacity)
        return std::nullopt;
    return command;
}

const char* transferStatusMessage(int status)
{
    switch (status) {
    case GFYmodem::transferred:
        return "Transfer completed";
    case GFYmodem::fileReadError:
        return "Transfer Failed - File read error";
    case GFYmodem::tooManyRetries:
        return "Transfer Failed - Too many retries";
    case GFYmodem::tooManyErrors:
        return "Transfer Failed - Too many errors";
    case GFYmodem::remoteCancelled:
        return "Transfer Failed - Remote canceled";
    case GFYmodem::engineNotCreated:
        return "Transfer Failed - File engine not created";
    case GFYmodem::protocolError:
        return "Transfer Failed - File transfer protocol error";
    case GFYmodem::generalError:
        return "Transfer Failed - General transfer error";
    case GFYmodem::sentNoFiles:
        return "Transfer Failed - Sent no Files";
    default:
        return "Transfer Failed - Unknown error";
    }
}

int SendInformation(GFSerial& port, const char* dialCommand, const char* filePath, int& hangUpFlag)
{
    ui::StatusWindow("Sending Data", "Dialing ...");
    int outcome = DialAndAwaitConnect(port, dialCommand, hangUpFlag);
    if (outcome != dialConnected)
        return outcome;
    ui::StatusWindow("Sending Data", "Connected to the Registration Server");
    ui::StatusWindow("Sending Data", "Transferring the user information ...");

    std::unique_ptr<GFYmodem> ymodem(new (std::nothrow) GFYmodem(&port, nullptr));
    appendConnectionLine();
    // The server needs a moment after answering before it listens for the file.
    WaitPumping(serverGraceMs);
    int status = ymodem ? ymodem->Send(filePath) : GFYmodem::engineNotCreated;
    ymodem.reset();

    ui::StatusWindow("Sending Data", "%s", transferStatusMessage(status));
    return status == GFYmodem::transferred ? Sent : TransferFailed;
}

CallResult DialUpCall(RegistrationSettings& settings, const char* infoFilePath)
{
    ui::StatusWindow("Initializing modem", "Initializing modem...");

    // Declared in the order of creation, so that every way out destroys them in reverse.
    GFComWin32 link(settings.ComPort - 1, 4096, 2048, 0);
    GFSerial port(&link);
    unsigned short lineErrors = 0;
    if (port.GetCommError(lineErrors) != 0)
        return PortError;
    GFLineStatus lineStatus(&port);
    lineStatus.SetHandShake(GFLineStatus::rtsCtsHandshake,
                            GFLineStatus::raiseDtr | GFLineStatus::raiseRts);
    lineStatus.Status();
    if (!lineStatus.Cts())
        return NoModem;
    GFDataFormat dataFormat(&port);
    dataFormat.SetUp(57600, 'N', 8, 1);
    port.TXFlush();
    port.RXFlush(0);

    unsigned char reply[callReplySize] = {};
    bool answered = false;
    for (int attempt = 0; attempt < testAttempts && !answered; ++attempt)
        answered = SendCommand(port, settings.TestString.c_str(), reply);
    if (!answered)
        return NoModem;
    if (!infoFilePath || !*infoFilePath)
        return Sent;

    // A modem that ignores the initialisation may still dial: the call goes on regardless.
    for (int attempt = 0; attempt < initialisationAttempts; ++attempt) {
        bool initialised = SendCommand(port, settings.InitString.c_str(), reply);
        if (initialised && !settings.InitString2.empty())
            initialised = SendCommand(port, settings.InitString2.c_str(), reply);
        if (initialised)
            break;
    }
    ui::StatusWindow("Modem Status", "Modem Initialized");

    if (!canOpenForReading(infoFilePath))
        return NoInfoFile;

    // The window manager destroys the window when it closes.
    ui::RunWindowModal(new DialingConfigureWindow(settings));
    SendCommand(port, settings.DialToneCommand.c_str(), reply);
    settings.Mode = pulseDialingChosen() ? 1 : 0;
    std::optional<std::string> dialCommand = composeDialCommand(settings);
    if (registrationCancelled)
        return Cancelled;
    if (!dialCommand)
        return ModemError;

    int hangUpFlag = 1;
    int result = SendInformation(port, dialCommand->c_str(), infoFilePath, hangUpFlag);
    if (hangUpFlag) {
        ui::StatusWindow("Finished", "Disconnecting the modem");
        HangUpModem(settings, port);
    }
    if (result == Sent)
        ui::StatusWindow("Finished", "Registration successful");
    return static_cast<CallResult>(result);
}

} // namespace modem
