// The command that starts the registration assistant, at every login among other times. Most
// runs have nothing to ask, and this program settles those without the window system: it
// finds and checks the resource store along the search path, applies the reminder rule, and
// only when the user is to be asked hands over to the windowed program beside it, which runs
// the whole registration from the start and decides the reminder itself. So it writes rdate
// only on a restart of the interval, where the windowed program would ask nothing either.

#include "app/FileFolders.h"
#include "app/Reminder.h"
#include "ui/framework/SearchPath.h"
#include "ui/framework/StoreFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char windowedProgram[] = "register-ui";

// Applies the reminder rule to the rdate in filesFolder, entering it; true when the user is
// to be asked.
bool userIsToBeAsked(const std::string& filesFolder)
{
    if (::chdir(filesFolder.c_str()) != 0)
        return true; // no folder yet, so no rdate: a first run
    switch (decideReminder()) {
    case Reminder::NotDue:
        return false;
    case Reminder::Restart:
        WriteReminderDate();
        return false;
    case Reminder::FirstRun:
    case Reminder::Due:
        break;
    }
    return true;
}

} // namespace

int main(int, char** argv)
{
    // Built while the working directory is still the one the program was started in.
    const ui::UI_PATH searchPath;
    const std::string store = searchPath.Find("ROBJECTS.DAT");
    if (store.empty() || !ui::IsSoundStoreFile(store))
        return -1;
    const std::string programFolder = searchPath.Entry(1);

    // The windowed program must start in the same working directory, for its own search
    // path; O_PATH keeps a way back even into a folder that cannot be read.
    const int startDirectory = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (startDirectory >= 0) {
        const bool ask = userIsToBeAsked(writableFilesFolder(programFolder));
        if (!ask)
            return 0;
        if (::fchdir(startDirectory) != 0)
            std::perror("register: back to the starting folder");
    }
    const std::string windowed = programFolder + "/" + windowedProgram;
    ::execv(windowed.c_str(), argv);
    std::fprintf(stderr, "register: cannot start %s: %s\n", windowed.c_str(), std::strerror(errno));
    return 127;
}
