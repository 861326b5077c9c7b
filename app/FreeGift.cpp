#include "app/FreeGift.h"

#include "BuildConfig.h"
#include "app/FileFolders.h"
#include "app/Settings.h"
#include "platform/DosDevices.h"
#include "platform/Module.h"
#include "platform/Process.h"
#include "registrant/ProgramRecord.h"
#include "ui/Format.h"
#include "ui/MessageWindow.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

// How the offer goes: the product's installation leaves a file "drive" beside the program
// whose first byte is the CD's drive letter. The CD is recognised by the file "pantrixID" in
// its root. When it is not in the drive the user is asked to insert it and it is looked for
// again; it is looked for a last time after that, whatever the answer, and only a CD found
// then has its installer started. The flag file tells the installer that it was started for
// the gift. A file or folder "installing" beside the program means an installation is under
// way, and no second installer is started. An installed copy looks for "drive" and
// "installing" in the user's own folder first (FileFolders.h).

char cdDriveLetter = '\0';

namespace {

constexpr char guardFile[] = "installing";
constexpr char flagFile[] = "remindo.flg";
constexpr char flagText[] = "Launch Remindo Install";

bool isDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The Windows path "X:\<rest>" on the CD's drive.
std::string onCd(const char* rest)
{
    return std::string(1, cdDriveLetter) + ":\\" + rest;
}

} // namespace

bool CheckProductCd()
{
    // Read afresh on every call: the user may fix the drive file while the program waits.
    std::ifstream drive(shippedFile(programDirectory, "drive"), std::ios::binary);
    char letter;
    if (drive.get(letter))
        cdDriveLetter =
            letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;

    // Without a letter there is no path to look at; with anything but a letter there is no
    // drive, as on Windows.
    if (!isDriveLetter(cdDriveLetter))
        return true;
    std::error_code error;
    const auto status = std::filesystem::status(platform::mapDosPath(onCd("pantrixID")), error);
    return !std::filesystem::is_regular_file(status);
}

void OfferFreeGift()
{
    using namespace ui;
    MessageWindow offer("Free Gift", "ASTERISK", MSG_OK, MSG_OK,
                        "You qualify for a free 6 month trial of Remindo.\r\n\r\nRemindo is a "
                        "simple and useful utility which reminds\r\nyou of special events every "
                        "time you turn your\r\ncomputer on.");
    offer.Run();

    RemoveAutoStartEntry();
    // Looking at an empty CD drive must fail quietly, without the system's own error box.
    platform::SetErrorMode(platform::SEM_FAILCRITICALERRORS);

    if (CheckProductCd()) {
        // Without a drive letter the sentence ends where the letter would stand.
        std::string request =
            format("Please insert the %s CD in drive %c.", config::productName, cdDriveLetter);
        request.resize(std::strlen(request.c_str()));
        MessageWindow insert("Insert CD", "HAND", MSG_OK, MSG_OK, "%s", request.c_str());
        insert.Run();
        if (CheckProductCd()) {
            MessageWindow missing("Error!", "EXCLAMATION", MSG_OK, MSG_OK,
                                  "The %s CD was not found.  Unable to install Remindo.",
                                  config::productName);
            missing.Run();
        }
    }

    if (CheckProductCd())
        return;

    const std::string installer = onCd("GIFT\\SETUP.EXE");
    std::error_code error;
    if (!std::filesystem::exists(
            std::filesystem::symlink_status(shippedFile(programDirectory, guardFile), error))) {
        if (platform::WinExec(installer, platform::SW_SHOWNORMAL) <= 31) {
            MessageWindow failure("Error!", "EXCLAMATION", MSG_OK, MSG_OK,
                                  "Unable to launch application:  %s.", installer.c_str());
            failure.Run();
        }
    }
    // Written whether the installer started, failed or was held back by the guard; a file
    // that cannot be written goes unreported.
    std::ofstream flag(flagFile, std::ios::binary | std::ios::trunc);
    flag.write(flagText, sizeof flagText - 1);
}
