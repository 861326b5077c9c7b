#pragma once

// What the HTTP client's tests share: a desktop that records the platform's message boxes
// instead of showing them, short time limits, and the progress window's text.

#include "net/NetManager.h"
#include "platform/Desktop.h"
#include "ui/StatusWindow.h"
#include "ui/framework/Ansi.h"
#include "ui/framework/Window.h"

#include <string>
#include <vector>

namespace nettest {

// Records each message box and answers OK; everything else goes to the desktop it replaced.
class RecordingDesktop final : public platform::Desktop
{
public:
    struct Box
    {
        std::string text;
        std::string caption;
        unsigned style;
    };

    RecordingDesktop() : m_previous(platform::desktop()) { platform::setDesktop(this); }
    ~RecordingDesktop() override { platform::setDesktop(&m_previous); }

    void pumpMessages(std::uint32_t maxWaitMs) override { m_previous.pumpMessages(maxWaitMs); }
    void beep() override { m_previous.beep(); }
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override
    {
        boxes.push_back({text, caption, style});
        return platform::IDOK;
    }

    std::vector<Box> boxes;

private:
    platform::Desktop& m_previous;
};

// Time limits short enough that waiting for them costs a test little.
class ShortTimeLimits
{
public:
    static constexpr int limitMs = 300;
    ShortTimeLimits() : m_previous(NetManager::timeLimits())
    {
        NetManager::setTimeLimits({limitMs, limitMs});
    }
    ~ShortTimeLimits() { NetManager::setTimeLimits(m_previous); }

private:
    NetManager::TimeLimits m_previous;
};

// The text of the progress window, as Windows-1252 bytes; empty when none is open.
inline std::string progressText()
{
    ui::UIW_WINDOW* window = ui::CurrentStatusWindow();
    return window ? window->Get(3)->DataGet() : std::string();
}

inline std::string progressTitle()
{
    ui::UIW_WINDOW* window = ui::CurrentStatusWindow();
    return window ? ui::toAnsi(window->Title()) : std::string();
}

inline std::string progressFor(const char* megabytes)
{
    return std::string("Downloading the Pantrix udpate now...Please Wait.  This may take several "
                       "minutes.  ") +
           megabytes + "MB Received.";
}

} // namespace nettest
