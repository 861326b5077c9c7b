#include "modem/DialingConfigureWindow.h"

#include "registrant/CancelQuestion.h"
#include "registrant/ProgramRecord.h"
#include "ui/Format.h"
#include "ui/framework/EventManager.h"

#include <cctype>
#include <climits>

namespace {

// The choices outlive the window: the call reads them after the window has gone, and the
// next window of the run starts from tone again whatever was chosen here.
bool confirmedPulse = false;
long confirmedPrefixValue = 0;

} // namespace

namespace modem {

bool pulseDialingChosen()
{
    return confirmedPulse;
}

long outsidePrefixValue()
{
    return confirmedPrefixValue;
}

long prefixValueOf(const char* text)
{
    if (!text)
        return 0;
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        int digit = *text - '0';
        if (value > (LONG_MAX - digit) / 10)
            return negative ? LONG_MIN : LONG_MAX;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

} // namespace modem

DialingConfigureWindow::DialingConfigureWindow(RegistrationSettings& settings)
    : UIW_WINDOW(QStringLiteral("DIALING_CONFIGURE")), m_settings(settings),
      m_prefix(Require(prefixField)), m_tone(Require(toneChoice)), m_pulse(Require(pulseChoice))
{
    m_tone->SetSelected(true);
    CentreOnScreen();
    // Only a confirmation clears it: every other way out of the window counts as cancelled.
    registrationCancelled = 1;
}

DialingConfigureWindow::~DialingConfigureWindow() = default;

ui::EVENT_TYPE DialingConfigureWindow::Event(const ui::UI_EVENT& event)
{
    switch (event.type) {
    case ui::OK_EVENT: {
        confirmedPulse = m_pulse->IsSelected();
        std::string prefix = m_prefix->DataGet();
        confirmedPrefixValue = modem::prefixValueOf(prefix.c_str());
        // The commas make the modem pause for the outside line's dial tone.
        if (confirmedPrefixValue != 0)
            m_settings.OutsideNumber = ui::format("%s,", prefix.c_str());
        registrationCancelled = 0;
        eventManager->Put({ui::S_CLOSE});
        return ui::OK_EVENT;
    }
    case ui::CANCEL_EVENT: {
        if (confirmCancelRegistration()) {
            registrationCancelled = 1;
            eventManager->Put({ui::S_CLOSE});
        }
        return UIW_WINDOW::Event(event);
    }
    default:
        return UIW_WINDOW::Event(event);
    }
}

void modem::resetDialingChoices()
{
    confirmedPulse = false;
    confirmedPrefixValue = 0;
}
