#pragma once

// The progress window and the wait pointer.
//
// There is at most one progress window per process. StatusWindow(title, format, ...) opens it
// when none is open, or replaces its title and text in place; StatusWindow(nullptr, nullptr)
// closes it. The window is modeless: the call returns at once. Its callers are usually inside
// a blocking loop (a socket receive, a modem wait) that lets no window paint, so every call
// repaints the window before it returns.

namespace ui {

class UIW_WINDOW;

// title and format are Windows-1252 text; either may be null to leave that part as it is.
void StatusWindow(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The open progress window, or null. For tests and for callers that must know.
UIW_WINDOW* CurrentStatusWindow();

// true shows the wait pointer (the hourglass), false the normal arrow.
void SetWaitCursor(bool wait);
bool WaitCursorShown();

} // namespace ui
