#include "app/RunRegistration.h"

#include "BuildConfig.h"
#include "app/FileFolders.h"
#include "app/FreeGift.h"
#include "app/Reminder.h"
#include "app/Settings.h"
#include "modem/ModemRegistration.h"
#include "net/InternetRegistration.h"
#include "platform/WindowsDirectory.h"
#include "registrant/CountryWindow.h"
#include "registrant/DataWindow.h"
#include "registrant/MethodWindow.h"
#include "registrant/PrintedForms.h"
#include "registrant/ProgramRecord.h"
#include "ui/Application.h"
#include "ui/MessageWindow.h"
#include "ui/StatusWindow.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

using namespace ui;

namespace {

// The products for which no free gift is offered.
constexpr char recipeOrganizer[] = "Pantrix Recipe Organizer";

// The default store lives for one run; whatever way the run ends, the framework must not keep
// pointing at it.
class ResourceStoreScope
{
public:
    ResourceStoreScope() : m_store(OpenResourceStore()) {}
    ~ResourceStoreScope()
    {
        if (UIW_WINDOW::defaultStorage == m_store.get())
            UIW_WINDOW::defaultStorage = nullptr;
        if (resourceStore == m_store.get())
            resourceStore = nullptr;
    }
    int Error() const { return m_store->Error(); }

private:
    std::unique_ptr<ResourceStore> m_store;
};

// Makes the folder for the program's files programDirectory and the working directory, so
// that "rdate", "oldinfo", "remindo.flg" and the reply of the internet request name files
// there: the program file's folder (the search path's second entry) when it can be written,
// else the per-user folder, made on first use.
void enterProgramDirectory(const std::string& programFolder)
{
    programDirectory = writableFilesFolder(programFolder);
    programFileDirectory = programDirectory == programFolder ? std::string() : programFolder;
    std::error_code ignored;
    if (!programFileDirectory.empty()) {
        // oldinfo holds the buyer's address: the folder is for the user's eyes only.
        if (std::filesystem::create_directories(programDirectory, ignored))
            std::filesystem::permissions(programDirectory, std::filesystem::perms::owner_all,
                                         ignored);
        // Without a folder of its own the program keeps to its folder, whose writes fail
        // quietly, rather than scatter files in whatever folder it was started from.
        if (!std::filesystem::is_directory(programDirectory, ignored)) {
            programDirectory = programFolder;
            programFileDirectory.clear();
        }
    }
    if (!programDirectory.empty())
        std::filesystem::current_path(programDirectory, ignored);
}

// Decides from rdate whether the user is to be asked, rewriting rdate as the rule says.
bool reminderSaysProceed()
{
    switch (decideReminder()) {
    case Reminder::FirstRun:
        WriteReminderDate();
        return true;
    case Reminder::Restart:
        WriteReminderDate();
        return false;
    case Reminder::Due: {
        // Rewritten first, so that the next reminder counts from today whatever the answer.
        WriteReminderDate();
        MessageWindow question("Registration", "QUESTION", MSG_YES | MSG_NO, MSG_YES,
                               "Would you like to register your %s software now?",
                               config::productName);
        return question.Run() == RESULT_YES;
    }
    case Reminder::NotDue:
        break;
    }
    return false;
}

void sendOverTheInternet()
{
    MessageWindow connectRequest("Information", "ASTERISK", MSG_OK, MSG_OK,
                                 "Please connect to the internet now...\r\nClick OK when ready.");
    connectRequest.Run();
    SetWaitCursor(true);
    StatusWindow("Sending Data", "Sending information over the internet now...Please wait");
    SendInternetRegistration();
    StatusWindow(nullptr, nullptr);
    SetWaitCursor(false);
}

// Offers the method window until the registration is sent, the user gives up, or the user
// cancels the method window or the modem's dialing window.
void deliveryLoop()
{
    for (;;) {
        RunWindowModal(new MethodWindow);
        if (registrationCancelled)
            return;

        const RegistrationMethod& method = registrantRecord().registrationMethod;
        if (method.internet) {
            sendOverTheInternet();
        } else if (method.modem) {
            ModemRegistration(programRecord);
            // Cancelled in the dialing window: like Cancel in the method window, no retry
            // question.
            if (registrationCancelled)
                return;
        } else if (method.mail) {
            PrintMailForm();
        } else {
            PrintFaxForm();
        }

        if (registrationSent)
            return;
        MessageWindow retry("Registration", "QUESTION", MSG_YES | MSG_NO, MSG_YES,
                            "Your Registration Information has not been sent.  Do you wish to "
                            "retry?");
        if (retry.Run() == RESULT_NO)
            return;
    }
}

void printQuestion()
{
    if (registrationSent)
        return;
    MessageWindow question("Print Registration?", "QUESTION", MSG_YES | MSG_NO, MSG_YES,
                           "Would you like to print your registration information?");
    if (question.Run() == RESULT_YES)
        PrintMailForm();
}

// After a delivery: thanks, the free gift, and the marker file that says the product has been
// registered.
void thanksStep()
{
    if (!registrationSent)
        return;
    MessageWindow thanks("Information", "ASTERISK", MSG_OK, MSG_OK,
                         "Your Registration Information has been sent.\r\nThank you for "
                         "registering %s.",
                         config::productName);
    thanks.Run();
    if (std::strcmp(config::productName, recipeOrganizer) != 0)
        OfferFreeGift();
    // An empty file whose presence is the message; a failed create goes unnoticed. The
    // default Windows directory is ours to make: a fresh Linux account has none.
    const std::filesystem::path windows = platform::GetWindowsDirectoryA();
    std::error_code ignored;
    std::filesystem::create_directories(windows, ignored);
    std::ofstream marker(windows / config::markerFileName, std::ios::binary | std::ios::trunc);
}

} // namespace

int RunRegistration(UI_APPLICATION& application)
{
    ResourceStoreScope store;
    if (store.Error())
        return -1;
    enterProgramDirectory(application.searchPath.Entry(1));

    const bool proceed = reminderSaysProceed();
    std::unique_ptr<ZAF_SERVICE_MANAGER> services;
    std::unique_ptr<MessageWindow> introduction;
    if (proceed) {
        services = std::make_unique<ZAF_SERVICE_MANAGER>();
        services->Add(new ZAF_DIRECTORY_SERVICE);
        UI_ERROR_SYSTEM::errorSystem = std::make_unique<UI_ERROR_SYSTEM>();

        ReadSettings(programRecord);

        introduction = std::make_unique<MessageWindow>(
            "Register Now!", "ASTERISK", MSG_OK, MSG_OK,
            "Register your copy of %s today and be one of the first to learn\r\nabout the latest "
            "product information, accessories, technical support,\r\nand online "
            "services.\r\n\r\nUse this electronic registration assistant to register over "
            "the\r\ninternet or by modem quickly, or print for easy fax or mail-in\r\nservice."
            "\r\n\r\nThank you for selecting Orlam.",
            config::productName);
        introduction->Run();

        auto* country = new CountryWindow;
        application.windowManager.SetTitle(QStringLiteral("On-Line Registration"));
        UI_HELP_SYSTEM::helpSystem = std::make_unique<UI_HELP_SYSTEM>("ROBJECTS.DAT", 1);
        RunWindowModal(country);

        RunWindowModal(new DataWindow);
        if (!registrationCancelled) {
            deliveryLoop();
            printQuestion();
        }
        thanksStep();
    }

    if (proceed) {
        services.reset();
        introduction.reset();
    }
    SetWaitCursor(false);
    return 0;
}
