#include "ui/StatusWindow.h"

#include "ui/Format.h"
#include "ui/framework/Ansi.h"
#include "ui/framework/Window.h"

#include <QApplication>
#include <QWidget>

#include <cstdarg>
#include <memory>

namespace ui {

namespace {

// The message field of the definition "STATUS_WINDOW".
constexpr int messageFieldNumber = 3;

// The progress window belongs to no one but this module: the user cannot close it, and it
// stays out of the window manager's list so that S_CLOSE never reaches it.
class ProgressWindow : public UIW_WINDOW
{
public:
    ProgressWindow() : UIW_WINDOW(QStringLiteral("STATUS_WINDOW")) {}
    void SystemClose() override {}
};

std::unique_ptr<ProgressWindow> statusWindow;
UI_WINDOW_OBJECT* statusField = nullptr;
bool waitCursorShown = false;

} // namespace

void StatusWindow(const char* title, const char* format, ...)
{
    if (!title && !format) {
        statusField = nullptr;
        statusWindow.reset();
        return;
    }

    std::string message;
    if (format) {
        va_list arguments;
        va_start(arguments, format);
        message = vformat(format, arguments);
        va_end(arguments);
    }

    if (!statusWindow) {
        auto window = std::make_unique<ProgressWindow>();
        statusField = window->Require(messageFieldNumber);
        window->CentreOnScreen();
        statusWindow = std::move(window);
    }
    if (title)
        statusWindow->SetTitle(fromAnsi(title));
    if (format && statusField)
        statusField->DataSet(message);

    QWidget* native = statusWindow->NativeWindow();
    if (!native->isVisible()) {
        native->show();
        native->raise();
    }
    native->repaint();
}

UIW_WINDOW* CurrentStatusWindow()
{
    return statusWindow.get();
}

void SetWaitCursor(bool wait)
{
    if (wait == waitCursorShown)
        return;
    waitCursorShown = wait;
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

bool WaitCursorShown()
{
    return waitCursorShown;
}

} // namespace ui
