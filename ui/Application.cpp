#include "ui/Application.h"

#include "ui/MessageWindow.h"
#include "ui/StatusWindow.h"
#include "platform/Desktop.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

#include <filesystem>
#include <system_error>

namespace ui {

ResourceStore* resourceStore = nullptr;
std::unique_ptr<UI_ERROR_SYSTEM> UI_ERROR_SYSTEM::errorSystem;
std::unique_ptr<UI_HELP_SYSTEM> UI_HELP_SYSTEM::helpSystem;

namespace {

UI_APPLICATION* currentApplication = nullptr;

} // namespace

UI_APPLICATION::UI_APPLICATION(int& argc, char** argv)
    : arguments(argv, argv + argc), display(argc, argv)
{
    currentApplication = this;
    UIW_WINDOW::eventManager = &eventManager;
    UIW_WINDOW::windowManager = &windowManager;
}

UI_APPLICATION::~UI_APPLICATION()
{
    // Whatever the program left open goes before the display does.
    StatusWindow(nullptr, nullptr);
    SetWaitCursor(false);
    UIW_WINDOW::windowManager = nullptr;
    UIW_WINDOW::eventManager = nullptr;
    currentApplication = nullptr;
}

UI_APPLICATION* application()
{
    return currentApplication;
}

ResourceStore* OpenResourceStore()
{
    resourceStore = new ResourceStore("ROBJECTS.DAT", currentApplication->searchPath);
    UIW_WINDOW::defaultStorage = resourceStore;
    return resourceStore;
}

ResourceStore* OpenServiceStore(std::unique_ptr<ResourceStore>& slot, const char* baseName,
                                std::initializer_list<const char*> definitions)
{
    if (slot)
        return slot.get();
    std::string fileName = std::string(baseName) + ".z_t";
    slot = std::make_unique<ResourceStore>(fileName, currentApplication->searchPath);
    // A store that lacks what it is opened for is as unusable as a missing one.
    bool usable = !slot->Error() && slot->HasObject(QStringLiteral("MSG_TABLE"));
    for (const char* definition : definitions)
        usable = usable && slot->HasObject(QString::fromLatin1(definition));
    if (!usable) {
        // Until the error reporter exists only a beep can tell of it.
        std::string message = "Critical Error!  The file \"" + fileName + "\" cannot be located.";
        if (UI_ERROR_SYSTEM::errorSystem)
            UI_ERROR_SYSTEM::errorSystem->ReportError(message);
        else
            platform::MessageBeep(0);
        slot.reset();
        throw CriticalError(message);
    }
    return slot.get();
}

std::unique_ptr<ResourceStore>& serviceStoreSlot()
{
    static std::unique_ptr<ResourceStore> slot;
    return slot;
}

std::unique_ptr<ResourceStore>& directoryStoreSlot()
{
    static std::unique_ptr<ResourceStore> slot;
    return slot;
}

void UI_ERROR_SYSTEM::ReportError(const std::string& message)
{
    MessageWindow box("Error", "EXCLAMATION", MSG_OK, MSG_OK, "%s", message.c_str());
    box.Run();
}

ZAF_DIRECTORY_SERVICE::ZAF_DIRECTORY_SERVICE() : UIW_WINDOW(new QDialog, true)
{
    ResourceStore* store = OpenServiceStore(directoryStoreSlot(), "p_direct");
    SetNumber(serviceNumber);
    m_messages = store->LoadMessageTable(QStringLiteral("MSG_TABLE"));
    std::error_code error;
    m_currentDirectory = std::filesystem::current_path(error).string();
    m_filter = QStringLiteral("Bitmap Files (*.bmp)");
}

ZAF_SERVICE_MANAGER::ZAF_SERVICE_MANAGER()
    : UIW_WINDOW(QStringLiteral("ZAF_SERVICE_MANAGER"),
                 OpenServiceStore(serviceStoreSlot(), "p_servic", {"ZAF_SERVICE_MANAGER"}))
{
    ResourceStore* store = serviceStoreSlot().get();
    m_messages = store->LoadMessageTable(QStringLiteral("MSG_TABLE"));
    SetNumber(serviceNumber);
    windowManager->SetTitle(m_messages.Get(applicationTitleMessage));

    // Centred, then moved up to the top edge; it is not put on the screen.
    CentreOnScreen();
    if (QWidget* native = NativeWindow()) {
        QScreen* screen = QGuiApplication::primaryScreen();
        native->move(native->x(), screen ? screen->availableGeometry().top() : 0);
    }

    windowManager->SetExitFunction(ConfirmExit);

    // The error reporter and the help object are made while the service store is the
    // default store; then the program's own store is the default again.
    UIW_WINDOW::defaultStorage = store;
    UI_ERROR_SYSTEM::errorSystem = std::make_unique<UI_ERROR_SYSTEM>();
    UI_HELP_SYSTEM::helpSystem = std::make_unique<UI_HELP_SYSTEM>(store->FileName(), 0);
    UIW_WINDOW::defaultStorage = resourceStore;
}

ZAF_SERVICE_MANAGER::~ZAF_SERVICE_MANAGER()
{
    for (auto& service : m_services)
        windowManager->Subtract(service.get());
    windowManager->Subtract(this);
    // Every other window still on the screen goes too.
    while (UIW_WINDOW* window = windowManager->First()) {
        windowManager->Subtract(window);
        if (window->DestroyOnClose())
            delete window;
    }
    m_services.clear();
    serviceStoreSlot().reset();
    directoryStoreSlot().reset();
    UI_ERROR_SYSTEM::errorSystem.reset();
    UI_HELP_SYSTEM::helpSystem.reset();
    if (windowManager->GetExitFunction() == ConfirmExit)
        windowManager->SetExitFunction(nullptr);
}

void ZAF_SERVICE_MANAGER::Add(UIW_WINDOW* service)
{
    m_services.emplace_back(service);
}

UIW_WINDOW* ZAF_SERVICE_MANAGER::FindService(const char* className) const
{
    for (const auto& service : m_services) {
        if (std::string_view(service->ClassName()) == className)
            return service.get();
    }
    return nullptr;
}

UIW_WINDOW* ZAF_SERVICE_MANAGER::FindService(int number) const
{
    for (const auto& service : m_services) {
        if (service->Number() == number)
            return service.get();
    }
    return nullptr;
}

EVENT_TYPE ConfirmExit(UI_WINDOW_MANAGER&, UI_EVENT_MANAGER& eventManager)
{
    MessageWindow question("Exit Pantrix?", "QUESTION", MSG_YES | MSG_NO, MSG_YES,
                           "\r\nExit Pantrix?");
    if (question.Run() == RESULT_YES) {
        eventManager.Put({L_EXIT});
        return -7;
    }
    return 0;
}

int RunApplication(int argc, char** argv, int (*run)(UI_APPLICATION& application))
{
    UI_APPLICATION application(argc, argv);
    return RunGuarded(application, run);
}

int RunGuarded(UI_APPLICATION& application, int (*run)(UI_APPLICATION& application))
{
    try {
        return run(application);
    } catch (const CriticalError&) {
        // The message has been shown (or the beep sounded); the program cannot go on.
        return criticalErrorExitCode;
    } catch (const StoreDefect& defect) {
        MessageWindow error("Error!", "HAND", MSG_OK, MSG_OK, "%s", defect.what());
        error.Run();
        return storeDefectExitCode;
    }
}

} // namespace ui
