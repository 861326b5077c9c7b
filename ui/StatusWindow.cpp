#include "ui/StatusWindow.h"

#include "ui/Format.h"
#include "ui/framework/Ansi.h"
#include "ui/framework/Window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
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
// When the window was last painted; invalid until its first paint.
QElapsedTimer lastRepaint;

// The time one frame stays on the display: repaints closer together than that cannot be seen.
qint64 frameIntervalMs(QWidget* window)
{
    QScreen* screen = window->screen();
    qreal rate = screen && screen->refreshRate() >= 1 ? screen->refreshRate() : 60;
    return std::max<qint64>(1, static_cast<qint64>(1000 / rate));
}

// A window paints only once the display has exposed it, which the display reports through the
// event loop; the callers block without letting it run, so let the report in here. Input
// stays queued, so the user cannot act in between.
void waitUntilExposed(QWidget* window)
{
    QElapsedTimer waited;
    waited.start();
    while (window->windowHandle() && !window->windowHandle()->isExposed() && waited.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
}

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
    // The title rarely changes while the text does, thousands of times in a download.
    if (title) {
        QString newTitle = fromAnsi(title);
        if (newTitle != statusWindow->Title())
            statusWindow->SetTitle(newTitle);
    }
    if (format && statusField)
        statusField->DataSet(message);

    QWidget* native = statusWindow->NativeWindow();
    if (!native->isVisible()) {
        native->show();
        native->raise();
        waitUntilExposed(native);
        lastRepaint.invalidate();
    }
    // A caller in a fast loop (a download in 499-byte chunks) updates far more often than the
    // display shows frames: paint at most once a frame. The field always holds the latest
    // text; a skipped paint is drawn by the next one or as soon as the event loop runs.
    if (!lastRepaint.isValid() || lastRepaint.elapsed() >= frameIntervalMs(native)) {
        native->repaint();
        lastRepaint.restart();
    } else {
        native->update();
    }
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
