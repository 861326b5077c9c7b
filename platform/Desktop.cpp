#include "platform/Desktop.h"
#include "platform/Clock.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {

// The desktop before the window layer has started: there are no windows to serve, so a wait
// only lets time pass, and the message box is a line on standard error that nobody answers.
class PlainDesktop final : public Desktop
{
public:
    void pumpMessages(std::uint32_t maxWaitMs) override
    {
        // Through the clock in use, so that a test's clock makes the wait cost nothing.
        clock().sleep(maxWaitMs);
    }

    void beep() override
    {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }

    int messageBox(const std::string& text, const std::string& caption, unsigned) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return IDOK;
    }
};

PlainDesktop plainDesktop;
std::atomic<Desktop*> installed{nullptr};

} // namespace

Desktop& desktop()
{
    Desktop* replacement = installed.load();
    return replacement ? *replacement : plainDesktop;
}

void setDesktop(Desktop* replacement)
{
    installed.store(replacement);
}

} // namespace platform
