#pragma once

// The desktop services of the platform layer, given by Qt: message pumping, the beep and the
// platform's own message box. The application object installs it for its lifetime.

#include "platform/Desktop.h"

namespace ui {

class UI_EVENT_MANAGER;

class QtDesktop : public platform::Desktop
{
public:
    explicit QtDesktop(UI_EVENT_MANAGER& eventManager);
    ~QtDesktop() override;

    void pumpMessages(std::uint32_t maxWaitMs) override;
    void beep() override;
    // A QMessageBox without owner, run until the user closes it. While it waits it goes
    // through the event manager, so that a scripted user can answer it like any window.
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;

private:
    UI_EVENT_MANAGER& m_eventManager;
};

} // namespace ui
