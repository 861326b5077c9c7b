#include "modem/ModemRegistration.h"

// How it works. The retry driver is a loop around one dial-up call. It first finds a port
// where a modem answers (asking the user while none does), then calls until the file has
// been sent or the user stops. A busy line is redialed by itself four times, ten seconds
// apart, with the count of tries left in the status window; after the fourth the user is
// asked, and a Yes starts another four. Every other failure is put to the user as a question
// whose Yes calls again, except a cancelled dialing window, which ends the channel at once.

#include "modem/DialUpCall.h"
#include "modem/DialingConfigureWindow.h"
#include "modem/ModemDialogue.h"
#include "registrant/ProgramRecord.h"
#include "ui/MessageWindow.h"
#include "ui/StatusWindow.h"

#include <string>

namespace modem {

namespace {

constexpr int busyRedials = 4;
constexpr std::uint32_t busyWaitMs = 10000;
constexpr int highestPort = 9;

bool askYesNo(const char* title, const char* text)
{
    ui::MessageWindow question(title, "QUESTION", ui::MSG_YES | ui::MSG_NO, ui::MSG_YES, "%s",
                               text);
    return question.Run() == ui::RESULT_YES;
}

bool modemAnswersOn(RegistrationSettings& settings)
{
    return DialUpCall(settings, nullptr) == Sent;
}

// The title and first words of the question after a failed call.
struct FailurePrompt
{
    const char* title;
    const char* words;
};

FailurePrompt failurePrompt(int result)
{
    switch (result) {
    case PortError:
    case NoModem:
        return {"No Modem Found", "No Modem Found"};
    case ModemError:
        return {"Other Errors", "Modem Dialing Error"};
    case NoAnswer:
        return {"No Answer", "No Answer"};
    case NoCarrier:
        return {"No Carrier", "No Carrier"};
    default:
        return {"Other Errors", "Internal Error"};
    }
}

} // namespace

int FindModem(RegistrationSettings& settings)
{
    if (settings.ComPort != 0 && modemAnswersOn(settings))
        return 1;
    const unsigned configured = settings.ComPort;
    // The interrupt line belonged to the configured port; no other port uses it.
    settings.IRQ = 0;
    for (int port = highestPort; port >= 1; --port) {
        if (static_cast<unsigned>(port) == configured)
            continue;
        settings.ComPort = static_cast<std::uint16_t>(port);
        if (modemAnswersOn(settings))
            return 1;
    }
    settings.ComPort = 0;
    return 0;
}

int runRetryDriver(RegistrationSettings& settings)
{
    // The registrant's own file goes to the server, with the connection lines appended.
    const std::string filePath = programDirectory + "/oldinfo";
    settings.DialToneCommand = settings.DialToneOn.view();

    while (!FindModem(settings)) {
        if (!askYesNo("No Modem", "A modem could not be found.  Do you want to try the modem "
                                  "again?"))
            return 0;
    }

    for (;;) {
        int result = DialUpCall(settings, filePath.c_str());
        switch (result) {
        case Sent:
            return 1;
        case Busy:
            if (busyRedialCounter < busyRedials) {
                int left = busyRedials - busyRedialCounter;
                if (left == 1)
                    ui::StatusWindow("The Line is Busy",
                                     "Please wait 10 seconds.  Will make %d more try.", left);
                else
                    ui::StatusWindow("The Line is Busy",
                                     "Please wait 10 seconds.  Will make %d more tries.", left);
                WaitPumping(busyWaitMs);
                ++busyRedialCounter;
                continue;
            }
            busyRedialCounter = 0;
            if (!askYesNo("Try Again?", "The line is busy.  Would you like to try again?"))
                return 0;
            continue;
        case NoDialTone:
            if (!askYesNo("No Dialtone?",
                          "No dialtone detected.  Make sure the phone line is connected\r\n to "
                          "your computer.  Would you like to try again?"))
                return 0;
            continue;
        default:
            // The user cancelled the dialing window: that is an answer already.
            if (registrationCancelled)
                return 0;
            FailurePrompt prompt = failurePrompt(result);
            std::string text = std::string(prompt.words) + "  Would you like to try again?";
            if (!askYesNo(prompt.title, text.c_str()))
                return 0;
            continue;
        }
    }
}

void resetModemState()
{
    busyRedialCounter = 0;
    resetDialingChoices();
}

} // namespace modem

void ModemRegistration(ProgramRecord& record)
{
    registrationSent = modem::runRetryDriver(record.settings);
    ui::StatusWindow(nullptr, nullptr);
}
