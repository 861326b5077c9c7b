#pragma once

// The first program window: where the buyer lives. The answer, CountryChoice, decides how the
// registrant form presets its country field.

#include "ui/framework/Window.h"

class CountryWindow : public ui::UIW_WINDOW
{
public:
    // Builds the window from the definition "COUNTRY" with USA chosen, and records it as the
    // owner of the print dialog.
    CountryWindow();
    ~CountryWindow() override;

    // OK stores the chosen country in CountryChoice and closes the window. The window has no
    // cancel of its own: Cancel closes it and leaves CountryChoice as it was, and the flow goes
    // on to the form either way.
    ui::EVENT_TYPE Event(const ui::UI_EVENT& event) override;

private:
    // The choices of the definition, by identifier.
    ui::UI_WINDOW_OBJECT* m_usa;
    ui::UI_WINDOW_OBJECT* m_canada;
    ui::UI_WINDOW_OBJECT* m_other;
};
