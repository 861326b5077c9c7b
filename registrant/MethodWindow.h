#pragma once

// The window in which the buyer chooses how the registration is delivered: over the internet,
// by mail, by fax or by modem. The answer goes into the record's RegistrationMethod, where
// exactly one of the four flags is 1; the flow runs that channel. A fresh window is built for
// every attempt, so each one starts with the internet chosen.

#include "ui/framework/Window.h"

class MethodWindow : public ui::UIW_WINDOW
{
public:
    // Builds the window from the definition "METHOD", chooses INTERNET and sets the flags to
    // match.
    MethodWindow();
    ~MethodWindow() override;

    // OK sets the flag of the chosen method and clears the others, then closes the window.
    // Cancel sets registrationCancelled, leaves the flags alone and closes the window.
    ui::EVENT_TYPE Event(const ui::UI_EVENT& event) override;

private:
    // The choices of the definition, by identifier. MODEM may be absent from a definition.
    ui::UI_WINDOW_OBJECT* m_internet;
    ui::UI_WINDOW_OBJECT* m_mail;
    ui::UI_WINDOW_OBJECT* m_fax;
    ui::UI_WINDOW_OBJECT* m_modem;
};
