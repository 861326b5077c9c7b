#pragma once

// Windows and the objects inside them.
//
// A UIW_WINDOW is built from a named definition of a resource store; the objects inside it
// are found by their string identifier (the objectName of the .ui) or by number (a dynamic
// property "number"). Buttons with a dynamic property "event" put that code into the event
// manager when pressed. The program's window classes derive from UIW_WINDOW and override
// Event(); a window closes itself by posting S_CLOSE, and the window manager then removes
// and destroys it. Closing a window by its title bar (or with Escape when it has no Cancel
// button) counts as the system menu's Close: it posts S_CLOSE too.

#include "ui/framework/Event.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class ResourceStore;
class UI_EVENT_MANAGER;
class UI_WINDOW_MANAGER;

// A window definition, or a child that the code looks up, is missing from the store: the
// store does not belong to this program. The application frame tells the user and ends.
class StoreDefect : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Status flag: a choice is chosen.
inline constexpr unsigned WOS_SELECTED = 0x0004;
// Flag: the user cannot enter the object.
inline constexpr unsigned WOF_NON_SELECTABLE = 0x0008;

// One object inside a window: a text field, a formatted field, a combination box, a choice
// or a button. Texts cross this boundary as Windows-1252 bytes.
class UI_WINDOW_OBJECT
{
public:
    explicit UI_WINDOW_OBJECT(QWidget* widget);

    // The text the object shows. A formatted field gives its full text, template characters
    // and blanks of unfilled places included.
    std::string DataGet() const;
    // Replaces the text. A formatted field takes the characters for its digit places from
    // the same positions of the text; what is not a digit there leaves the place blank.
    void DataSet(std::string_view text);

    bool IsSelected() const;
    void SetSelected(bool selected);

    // The non-selectable flag takes effect when the object is told that its flags changed.
    unsigned Flags() const { return m_flags; }
    void SetFlags(unsigned flags) { m_flags = flags; }
    void NotifyFlagsChanged();

    // Appends an item at the end of a combination box's list.
    void Add(std::string_view item);

    // Makes the object the current one of its window: it gets the keyboard focus.
    void MakeCurrent();

    QWidget* Widget() const { return m_widget; }

private:
    QPointer<QWidget> m_widget;
    unsigned m_flags = 0;
};

class UIW_WINDOW
{
public:
    // Builds the window from the definition of that name in store, or in the default store
    // when store is null. Throws StoreDefect when the store lacks the definition.
    explicit UIW_WINDOW(const QString& definitionName, ResourceStore* store = nullptr);
    virtual ~UIW_WINDOW();
    UIW_WINDOW(const UIW_WINDOW&) = delete;
    UIW_WINDOW& operator=(const UIW_WINDOW&) = delete;

    virtual EVENT_TYPE Event(const UI_EVENT& event);
    virtual const char* ClassName() const { return "UIW_WINDOW"; }
    // The system menu's Close (or the title bar's close button): posts S_CLOSE, so that the
    // window manager closes the current window.
    virtual void SystemClose();

    // Children by identifier and by number; nullptr when the window has none.
    UI_WINDOW_OBJECT* Get(const char* identifier);
    UI_WINDOW_OBJECT* Get(int number);
    // The same for children the code cannot do without: throws StoreDefect naming the child
    // when the window has none.
    UI_WINDOW_OBJECT* Require(const char* identifier);
    UI_WINDOW_OBJECT* Require(int number);

    // Centres the window on the screen, shrinking it first to fit the screen.
    void CentreOnScreen();
    void SetTitle(const QString& title);
    QString Title() const;

    // The window on the screen; null once it has been destroyed.
    QWidget* NativeWindow() const { return m_widget; }
    bool IsOnScreen() const;

    // Windows that belong to their owner (message windows live on the caller's stack) are
    // removed by S_CLOSE but not destroyed.
    bool DestroyOnClose() const { return m_destroyOnClose; }
    int Number() const { return m_number; }
    void SetNumber(int number) { m_number = number; }

    // Program-wide framework objects, set by the application object.
    static UI_EVENT_MANAGER* eventManager;
    static UI_WINDOW_MANAGER* windowManager;
    static ResourceStore* defaultStorage;

protected:
    // A window whose widget tree the subclass builds itself.
    explicit UIW_WINDOW(QWidget* widget, bool destroyOnClose);
    void setDestroyOnClose(bool destroy) { m_destroyOnClose = destroy; }

private:
    void attach(QWidget* widget);
    UI_WINDOW_OBJECT* wrap(QWidget* widget);

    QPointer<QWidget> m_widget;
    std::map<QWidget*, std::unique_ptr<UI_WINDOW_OBJECT>> m_objects;
    bool m_destroyOnClose = true;
    int m_number = 0;
};

class UI_WINDOW_MANAGER
{
public:
    UI_WINDOW_MANAGER() = default;
    ~UI_WINDOW_MANAGER();

    // Puts the window on the screen in front of the others; it becomes the current window.
    void Add(UIW_WINDOW* window);
    // Takes the window off the screen, without destroying it.
    void Subtract(UIW_WINDOW* window);
    // S_CLOSE removes the current window, destroying it unless its owner keeps it; every
    // other event goes to the current window.
    EVENT_TYPE Event(const UI_EVENT& event);

    UIW_WINDOW* First() const { return m_windows.empty() ? nullptr : m_windows.back(); }
    bool Contains(const UIW_WINDOW* window) const;
    std::size_t Count() const { return m_windows.size(); }

    // The application title shown on the root window, when there is one.
    void SetTitle(const QString& title) { m_title = title; }
    QString Title() const { return m_title; }

    using ExitFunction = EVENT_TYPE (*)(UI_WINDOW_MANAGER&, UI_EVENT_MANAGER&);
    void SetExitFunction(ExitFunction function) { m_exitFunction = function; }
    ExitFunction GetExitFunction() const { return m_exitFunction; }

private:
    std::vector<UIW_WINDOW*> m_windows;
    QString m_title;
    ExitFunction m_exitFunction = nullptr;
};

// Centres a top-level widget on the screen, shrinking it first to fit the screen.
void CentreOnScreen(QWidget* widget);

// Puts the window on the screen and runs events until it has closed. Always returns 0.
int RunWindowModal(UIW_WINDOW* window);

} // namespace ui
