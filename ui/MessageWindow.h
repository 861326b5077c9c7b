#pragma once

// The one modal message box through which every question, notice and error is shown.
//
// The box lays itself out in character cells of the display font (a cell is the font's
// average character width by its line height): the icon at column 2, row 1, six cells wide;
// the text from row 1, at column 8 beside an icon or column 2 without; one empty row; then
// the buttons, centred, each as wide as the widest caption (at least 10 cells) plus 2, with
// 2 cells between them. Run() shows the box and returns the result of the button pressed,
// or 0 when the box was closed by its system menu.

#include "ui/framework/Window.h"

#include <string>

class QPushButton;

namespace ui {

inline constexpr unsigned short MSG_OK = 0x0001;
inline constexpr unsigned short MSG_YES = 0x0002;
inline constexpr unsigned short MSG_NO = 0x0004;
inline constexpr unsigned short MSG_ABORT = 0x0008;
inline constexpr unsigned short MSG_RETRY = 0x0010;
inline constexpr unsigned short MSG_IGNORE = 0x0020;
inline constexpr unsigned short MSG_CANCEL = 0x0040;
inline constexpr unsigned short MSG_HELP = 0x0080;

// Results of Run(): the button with bit index i reports -2999 + i.
inline constexpr int RESULT_OK = -2999;
inline constexpr int RESULT_YES = -2998;
inline constexpr int RESULT_NO = -2997;
inline constexpr int RESULT_CLOSED = 0;

// Results lie in this range; every other event is dispatched as usual while the box waits.
inline constexpr int FIRST_RESULT = -2999;
inline constexpr int LAST_RESULT = -2000;

class MessageWindow : public UIW_WINDOW
{
public:
    // title: null for a box without title bar and system menu. iconName: "APPLICATION",
    // "ASTERISK", "EXCLAMATION", "HAND" or "QUESTION" in any case, or null for none.
    // The format and its arguments are Windows-1252 text.
    MessageWindow(const char* title, const char* iconName, unsigned short buttons,
                  unsigned short defaultButton, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    ~MessageWindow() override;

    int Run();

    // The formatted message, as Windows-1252 text.
    const std::string& Message() const { return m_message; }
    // The lines of the message: split at "\n", "\r" and "\r\n".
    static std::vector<std::string> SplitLines(const std::string& message);

    void SystemClose() override;

private:
    std::string m_message;
    bool m_hasTitle;
};

} // namespace ui
