#pragma once

// The application frame: the application object that owns the display, the event manager
// and the window manager; the file search path; the resource store from which every window
// is built; and the framework services that the program starts when it is about to ask the
// user something (a service manager with its exit confirmation, a directory service, an error
// reporter and a help object).

#include "ui/framework/EventManager.h"
#include "ui/framework/QtDesktop.h"
#include "ui/framework/ResourceStore.h"
#include "ui/framework/SearchPath.h"
#include "ui/framework/Window.h"

#include <QApplication>

#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ui {

// Exit code of a run that stopped at the critical error of a missing service file.
inline constexpr int criticalErrorExitCode = 2;
// Exit code of a run that found a window definition or a child missing from its store.
inline constexpr int storeDefectExitCode = 3;

class UI_APPLICATION
{
public:
    // Builds, in this order: the search path (while the working directory is still the one
    // the program was started in), the display, the event manager with a queue of 100 events
    // and the window manager. The command line is kept but not read.
    UI_APPLICATION(int& argc, char** argv);
    ~UI_APPLICATION();
    UI_APPLICATION(const UI_APPLICATION&) = delete;
    UI_APPLICATION& operator=(const UI_APPLICATION&) = delete;

    UI_PATH searchPath;
    std::vector<std::string> arguments;
    QApplication display;
    UI_EVENT_MANAGER eventManager{100};
    UI_WINDOW_MANAGER windowManager;

private:
    QtDesktop m_desktop{eventManager};
};

// The program-wide default store, opened on "ROBJECTS.DAT".
extern ResourceStore* resourceStore;
// The application object of this process, while there is one.
UI_APPLICATION* application();

// Opens "ROBJECTS.DAT" along the search path and makes it the default store. The caller
// tests Error() and destroys the store.
ResourceStore* OpenResourceStore();

// The store of a service resource file (baseName + ".z_t"), opened on first use and kept in
// slot. When it cannot be opened, or lacks its message table or one of the named definitions,
// the critical error is reported and CriticalError thrown: the program cannot go on without it.
ResourceStore* OpenServiceStore(std::unique_ptr<ResourceStore>& slot, const char* baseName,
                                std::initializer_list<const char*> definitions = {});

class CriticalError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The error reporter: shows a framework error as a message window.
class UI_ERROR_SYSTEM
{
public:
    void ReportError(const std::string& message);
    // The program's error reporter; the service manager creates it and destroys it.
    static std::unique_ptr<UI_ERROR_SYSTEM> errorSystem;
};

// The help object. There is no help system; it only remembers what it was bound to.
class UI_HELP_SYSTEM
{
public:
    UI_HELP_SYSTEM(std::string storeName, int context)
        : m_storeName(std::move(storeName)), m_context(context)
    {}
    const std::string& StoreName() const { return m_storeName; }
    int Context() const { return m_context; }
    // The program's help object; the service manager creates it and destroys it.
    static std::unique_ptr<UI_HELP_SYSTEM> helpSystem;

private:
    std::string m_storeName;
    int m_context;
};

// The directory service: a file-open request prepared for bitmap files. Nothing in the
// program asks it to open anything.
class ZAF_DIRECTORY_SERVICE : public UIW_WINDOW
{
public:
    static constexpr int serviceNumber = 3101;
    ZAF_DIRECTORY_SERVICE();
    const char* ClassName() const override { return "ZAF_DIRECTORY_SERVICE"; }
    const std::string& CurrentDirectory() const { return m_currentDirectory; }
    const QString& Filter() const { return m_filter; }

private:
    std::string m_currentDirectory;
    QString m_filter;
    MessageTable m_messages;
};

// The service manager: holds the services, installs the exit confirmation, and when it is
// destroyed takes every window off the screen.
class ZAF_SERVICE_MANAGER : public UIW_WINDOW
{
public:
    static constexpr int serviceNumber = 3000;
    static constexpr int applicationTitleMessage = 209;

    ZAF_SERVICE_MANAGER();
    ~ZAF_SERVICE_MANAGER() override;
    const char* ClassName() const override { return "ZAF_SERVICE_MANAGER"; }

    // Takes ownership of the service.
    void Add(UIW_WINDOW* service);
    // Information requests: a service by class name, or by number.
    UIW_WINDOW* FindService(const char* className) const;
    UIW_WINDOW* FindService(int number) const;

private:
    std::vector<std::unique_ptr<UIW_WINDOW>> m_services;
    MessageTable m_messages;
};

// The window manager's exit function: asks "Exit Pantrix?"; on Yes posts L_EXIT and returns
// -7, else returns 0.
EVENT_TYPE ConfirmExit(UI_WINDOW_MANAGER& windowManager, UI_EVENT_MANAGER& eventManager);

// The slots of the two service resource files.
std::unique_ptr<ResourceStore>& serviceStoreSlot();
std::unique_ptr<ResourceStore>& directoryStoreSlot();

// The entry point's work: builds the application object, runs the program and returns its
// exit code.
int RunApplication(int argc, char** argv, int (*run)(UI_APPLICATION& application));
// Runs the program in an application object, turning the errors it cannot go on from into
// exit codes: the critical error of a missing service file, and a defective store (reported
// to the user first).
int RunGuarded(UI_APPLICATION& application, int (*run)(UI_APPLICATION& application));

} // namespace ui
