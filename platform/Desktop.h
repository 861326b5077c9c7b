#pragma once

// The few services of the desktop that code below the window layer needs: dispatching the
// window messages during a wait, the default beep and the platform's own message box.
// The window layer installs an implementation on the toolkit when the application starts;
// until then a plain one answers (it sleeps, rings the terminal bell and prints the box to
// standard error). Tests may install their own.

#include <cstdint>
#include <string>

namespace platform {

// Styles and results of the native message box, as far as the program uses them.
inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_ICONHAND = 0x0010;
inline constexpr int IDOK = 1;

class Desktop
{
public:
    virtual ~Desktop() = default;
    // Dispatches the window messages that are waiting, spending at most maxWaitMs on them.
    // It may return at once when none are waiting (Qt's does); callers that wait for time to
    // pass keep their own count on the clock.
    virtual void pumpMessages(std::uint32_t maxWaitMs) = 0;
    // The platform's default beep.
    virtual void beep() = 0;
    // A modal message box without owner window; returns the button pressed.
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
};

Desktop& desktop();
// Installs a desktop; nullptr restores the plain one. The caller keeps ownership.
void setDesktop(Desktop* replacement);

inline void MessageBeep(unsigned /*type*/)
{
    desktop().beep();
}
inline int MessageBoxA(const std::string& text, const std::string& caption, unsigned style)
{
    return desktop().messageBox(text, caption, style);
}

} // namespace platform
