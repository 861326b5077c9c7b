#include "app/FreeGift.h"

#include "platform/Module.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include <thread>

namespace fs = std::filesystem;
using ui::ScriptedUser;
using Box = std::pair<QString, QString>; // title and text

namespace {

const Box offer{"Free Gift", "You qualify for a free 6 month trial of Remindo.\n\nRemindo is a "
                             "simple and useful utility which reminds\nyou of special events "
                             "every time you turn your\ncomputer on."},
    missing{"Error!", "The Pantrix Morsels CD was not found.  Unable to install Remindo."},
    insertD{"Insert CD", "Please insert the Pantrix Morsels CD in drive D."};

TEST(FreeGiftTest, WhereTheCdIsFoundAndWhenTheInstallerRuns)
{
    const Box insertE{"Insert CD", "Please insert the Pantrix Morsels CD in drive E."},
        noLetter{"Insert CD", insertD.second.chopped(2)}, // the sentence ends at the letter
        noLaunch{"Error!", "Unable to launch application:  D:\\GIFT\\SETUP.EXE."};
    // The drive file's bytes (null: no file), what is done first, the box while which a second
    // thing is done, the boxes (each answered with OK), whether the installer runs and the flag.
    const std::tuple<const char*, std::string, QString, std::string, std::vector<Box>, bool, bool>
        cases[] = {
            {"D", "cd", "", "", {offer}, true, true},
            {"d\r\n", "", "Insert CD", "cd", {offer, insertD}, true, true},
            {"D", "", "Error!", "cd", {offer, insertD, missing}, true, true},
            {"D", "", "", "", {offer, insertD, missing}, false, false}, // the CD never comes
            {nullptr, "", "", "", {offer, noLetter, missing}, false, false},
            {"E", "cd", "Insert CD", "drive D", {offer, insertE}, true, true}, // read on every look
            {"d", "cd noexec", "", "", {offer, noLaunch}, false, true},
        };
    for (const auto& [drive, before, actingBox, act, boxes, installerRuns, flagged] : cases) {
        SCOPED_TRACE(before + "/" + act);
        // WIN.INI with our auto-start entry; a CD in no drive yet, whose installer leaves a trace.
        testsupport::GuiWorld gui;
        const testsupport::TestWorld& files = gui.files();
        const fs::path cd = files.root() / "cd", installer = cd / "GIFT" / "SETUP.EXE",
                       trace = files.root() / "installer-ran";
        resetProgramState();
        cdDriveLetter = '\0';
        programDirectory = files.programDir().string();
        files.writeFile(files.windowsDir() / "WIN.INI",
                        "[windows]\r\nrun=C:\\APP\\REGISTER.EXE C:\\TOOLS\\CLOCK.EXE\r\n");
        files.writeFile(cd / "pantrixID", "");
        files.writeFile(installer, "#!/bin/sh\necho started > '" + trace.string() + "'\n");
        fs::permissions(installer, fs::perms::owner_all);
        fs::create_directories(files.windowsDir() / "dosdevices");
        if (drive)
            files.writeFile("drive", drive);
        auto step = [&](const std::string& what) {
            if (what.starts_with("cd"))
                fs::create_directory_symlink(cd, files.windowsDir() / "dosdevices/d:");
            if (what.ends_with("noexec"))
                fs::permissions(installer, fs::perms::owner_read | fs::perms::owner_write);
            if (what == "drive D")
                files.writeFile("drive", "D");
        };
        step(before);
        platform::SetErrorMode(0);
        ScriptedUser user;
        for (const auto& [title, text] : boxes) {
            user.inspect(title, [&](QWidget* window) {
                EXPECT_EQ(ScriptedUser::messageText(window), text);
                if (title == actingBox)
                    step(act);
            });
            user.answer(title, "OK");
        }
        OfferFreeGift();
        EXPECT_TRUE(user.finished());
        // The installer runs on its own; it is given a while to leave its trace.
        for (int i = 0; i < (installerRuns ? 500 : 8) && !files.exists(trace); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(files.exists(trace), installerRuns);
        EXPECT_EQ(files.exists("remindo.flg") ? files.readFile("remindo.flg") : "-",
                  flagged ? "Launch Remindo Install" : "-");
        EXPECT_EQ(files.readFile(files.windowsDir() / "WIN.INI"),
                  "[windows]\r\nrun=C:\\TOOLS\\CLOCK.EXE\r\n");
        EXPECT_EQ(platform::SetErrorMode(0), platform::SEM_FAILCRITICALERRORS);
    }
    programDirectory.clear();
    cdDriveLetter = '\0';
}

} // namespace
