#include "app/FreeGift.h"

#include "platform/Module.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include <thread>

namespace fs = std::filesystem;
using ui::ScriptedUser;
using Box = std::pair<QString, QString>; // title and text

namespace {

const Box offerBox{"Free Gift", "You qualify for a free 6 month trial of Remindo.\n\nRemindo is a "
                                "simple and useful utility which reminds\nyou of special events "
                                "every time you turn your\ncomputer on."};
const Box missingBox{"Error!", "The Pantrix Morsels CD was not found.  Unable to install Remindo."};
Box insertBox(const char* drive)
{
    return {"Insert CD", QString("Please insert the Pantrix Morsels CD in drive %1").arg(drive)};
}

// A world with WIN.INI holding our auto-start entry and a product CD, not yet in any drive,
// whose installer leaves a trace when it runs.
class GiftWorld
{
public:
    GiftWorld()
    {
        resetProgramState();
        cdDriveLetter = '\0';
        programDirectory = files().programDir().string();
        files().writeFile(files().windowsDir() / "WIN.INI",
                          "[windows]\r\nrun=C:\\APP\\REGISTER.EXE C:\\TOOLS\\CLOCK.EXE\r\n");
        files().writeFile(cd() / "pantrixID", "");
        files().writeFile(installer(), "#!/bin/sh\necho started > '" + trace().string() + "'\n");
        fs::permissions(installer(), fs::perms::owner_all);
        fs::create_directories(files().windowsDir() / "dosdevices");
    }
    ~GiftWorld()
    {
        resetProgramState();
        programDirectory.clear();
        cdDriveLetter = '\0';
    }

    testsupport::TestWorld& files() { return m_world.files(); }
    fs::path cd() { return files().root() / "cd"; }
    fs::path installer() { return cd() / "GIFT" / "SETUP.EXE"; }
    fs::path trace() { return files().root() / "installer-ran"; }
    void insertCd() { fs::create_directory_symlink(cd(), files().windowsDir() / "dosdevices/d:"); }

    // The installer runs on its own; it is given a while to leave its trace.
    bool installerRan(bool expected)
    {
        for (int i = 0; i < (expected ? 500 : 8) && !files().exists(trace()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return files().exists(trace());
    }
    std::string flag()
    {
        return files().exists("remindo.flg") ? files().readFile("remindo.flg") : "(none)";
    }

    // Offers the gift; the user answers the boxes in turn with OK, each checked for its text.
    // The step given runs while the box of that title is shown.
    void offer(const std::vector<Box>& boxes, const QString& actingBox = {},
               std::function<void()> act = {})
    {
        ScriptedUser user;
        for (const auto& [title, text] : boxes) {
            user.inspect(title, [&](QWidget* window) {
                EXPECT_EQ(ScriptedUser::messageText(window), text);
                if (title == actingBox && act)
                    act();
            });
            user.answer(title, "OK");
        }
        OfferFreeGift();
        EXPECT_TRUE(user.finished());
    }

private:
    testsupport::GuiWorld m_world;
};

TEST(FreeGiftTest, WhereTheCdIsFound)
{
    struct Case
    {
        const char* driveFile; // null: none
        bool cdAtStart;
        const char* insertedDuring; // the box during which the CD goes in
        std::size_t boxes;          // of the offer, the request and the error
        bool installerRuns;
    } cases[] = {
        {"D", true, "", 1, true},        {"d\r\n", false, "Insert CD", 2, true},
        {"D", false, "Error!", 3, true}, {"D", false, "", 3, false},
        {nullptr, false, "", 3, false}, // the request's sentence ends where the letter would be
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        GiftWorld world;
        if (c.driveFile)
            world.files().writeFile("drive", c.driveFile);
        if (c.cdAtStart)
            world.insertCd();
        platform::SetErrorMode(0);
        std::vector<Box> boxes = {offerBox, insertBox(c.driveFile ? "D." : ""), missingBox};
        boxes.resize(c.boxes);
        world.offer(boxes, c.insertedDuring, [&world] { world.insertCd(); });

        EXPECT_EQ(world.installerRan(c.installerRuns), c.installerRuns);
        EXPECT_EQ(world.flag(), c.installerRuns ? "Launch Remindo Install" : "(none)");
        EXPECT_EQ(cdDriveLetter, c.driveFile ? 'D' : '\0');
        EXPECT_EQ(world.files().readFile(world.files().windowsDir() / "WIN.INI"),
                  "[windows]\r\nrun=C:\\TOOLS\\CLOCK.EXE\r\n");
        EXPECT_EQ(platform::SetErrorMode(0), platform::SEM_FAILCRITICALERRORS);
    }
}

TEST(FreeGiftTest, DriveFileIsReadAgainOnEveryLook)
{
    GiftWorld world;
    world.files().writeFile("drive", "E");
    world.insertCd();
    world.offer({offerBox, insertBox("E.")}, "Insert CD",
                [&world] { world.files().writeFile("drive", "D"); });
    EXPECT_TRUE(world.installerRan(true));
}

TEST(FreeGiftTest, HeldBackOrFailedInstallerStillGetsItsFlag)
{
    for (bool installing : {true, false}) {
        GiftWorld world;
        world.files().writeFile("drive", "d");
        world.insertCd();
        if (installing) {
            fs::create_directory("installing");
            world.offer({offerBox});
        } else {
            fs::permissions(world.installer(), fs::perms::owner_read | fs::perms::owner_write);
            world.offer(
                {offerBox, {"Error!", "Unable to launch application:  D:\\GIFT\\SETUP.EXE."}});
        }
        EXPECT_FALSE(installing && world.installerRan(false));
        EXPECT_EQ(world.flag(), "Launch Remindo Install");
    }
}

} // namespace
