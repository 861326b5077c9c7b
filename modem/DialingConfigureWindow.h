#pragma once

// The dialing settings window, shown before every dial: tone or pulse dialing, and the number
// that reaches an outside line. Its results stay in shared state that the dial-up call reads:
// the pulse choice, the prefix value, the settings' OutsideNumber, and registrationCancelled,
// which stays 1 unless the user confirms.

#include "ui/framework/Window.h"

struct RegistrationSettings;

class DialingConfigureWindow : public ui::UIW_WINDOW
{
public:
    // The children of the definition "DIALING_CONFIGURE" that the window works with.
    static constexpr const char* prefixField = "PREFIX";
    static constexpr const char* toneChoice = "TONE";
    static constexpr const char* pulseChoice = "PULSE";

    // Builds the window with TONE chosen, centres it, and sets registrationCancelled to 1.
    // A confirmed prefix goes into settings.OutsideNumber.
    explicit DialingConfigureWindow(RegistrationSettings& settings);
    ~DialingConfigureWindow() override;

    // OK stores the choices and closes the window. Cancel asks whether the user really means
    // it; Yes closes the window, No leaves it open.
    ui::EVENT_TYPE Event(const ui::UI_EVENT& event) override;

private:
    RegistrationSettings& m_settings;
    ui::UI_WINDOW_OBJECT* m_prefix;
    ui::UI_WINDOW_OBJECT* m_tone;
    ui::UI_WINDOW_OBJECT* m_pulse;
};

namespace modem {

// The last confirmed choice of the window: true for pulse dialing. False (tone) until the
// user confirms a window.
bool pulseDialingChosen();
// The last confirmed prefix read as a whole number (0 when none was given).
long outsidePrefixValue();

// The prefix text as a whole number, as the window reads it: leading white space and one sign
// are allowed, digits are read up to the first other character, 0 when there are none. A
// value too large for a long is held at its largest.
long prefixValueOf(const char* text);

// Puts the choices back as they are at program start; for tests (see resetModemState).
void resetDialingChoices();

} // namespace modem
