#pragma once

// Events of the window framework. An event is a number: the program's buttons post the codes
// that the resource store assigns to them, the message window's buttons post their results,
// and the framework posts a few codes of its own.

namespace ui {

using EVENT_TYPE = int;

struct UI_EVENT
{
    EVENT_TYPE type = 0;
};

// Closes the current window: the window manager removes it and destroys it.
inline constexpr EVENT_TYPE S_CLOSE = -11;
// Returned by a window for an event it does not know.
inline constexpr EVENT_TYPE S_UNKNOWN = -5;
// Posted by the exit confirmation when the user agrees to leave.
inline constexpr EVENT_TYPE L_EXIT = 10503;
// The help request of the message window's Help button.
inline constexpr EVENT_TYPE L_HELP = 1009;

// The two buttons of every program window.
inline constexpr EVENT_TYPE OK_EVENT = 10421;
inline constexpr EVENT_TYPE CANCEL_EVENT = 10422;

} // namespace ui
