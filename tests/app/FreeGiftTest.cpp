#include "app/FreeGift.h"

#include "platform/Module.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"
#include "ui/testing/ScriptedUser.h"

#include <QApplication>
#include <QLabel>
#include <QStyle>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using ui::ScriptedUser;

namespace {

const QString offerText = "You qualify for a free 6 month trial of Remindo.\n\nRemindo is a simple "
                          "and useful utility which reminds\nyou of special events every time "
                          "you turn your\ncomputer on.";
const QString missingText = "The Pantrix Morsels CD was not found.  Unable to install Remindo.";

// A box as the user should see it: title, icon and text.
struct Box
{
    QString title;
    QStyle::StandardPixmap icon;
    QString text;
};
const Box offerBox{"Free Gift", QStyle::SP_MessageBoxInformation, offerText};
const Box missingBox{"Error!", QStyle::SP_MessageBoxWarning, missingText};
Box insertBox(const char* drive)
{
    return {"Insert CD", QStyle::SP_MessageBoxCritical,
            QString("Please insert the Pantrix Morsels CD in drive %1").arg(drive)};
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
    void insertCd(char drive = 'd')
    {
        fs::create_directory_symlink(cd(), files().windowsDir() / "dosdevices" /
                                               (std::string(1, drive) + ":"));
    }

    // The installer runs on its own; it is given a while to leave its trace.
    bool installerRan(bool expected)
    {
        const int polls = expected ? 500 : 15;
        for (int i = 0; i < polls && !files().exists(trace()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return files().exists(trace());
    }
    std::optional<std::string> flag()
    {
        if (!files().exists("remindo.flg"))
            return std::nullopt;
        return files().readFile("remindo.flg");
    }

    // Offers the gift; the user answers the boxes in turn with OK, and the script checks that
    // each shows its title, icon and text. The step given runs while the box of that title
    // is shown.
    void offer(const std::vector<Box>& boxes, const QString& actingBox = {},
               std::function<void()> act = {})
    {
        ScriptedUser user;
        for (const Box& box : boxes) {
            user.inspect(box.title, [&box, &actingBox, &act](QWidget* window) {
                EXPECT_EQ(ScriptedUser::messageText(window), box.text);
                auto* label = window->findChild<QLabel*>("ICON");
                ASSERT_NE(label, nullptr);
                const QPixmap shown = label->pixmap();
                ASSERT_FALSE(shown.isNull());
                EXPECT_EQ(
                    shown.toImage(),
                    QApplication::style()->standardIcon(box.icon).pixmap(shown.size()).toImage())
                    << box.title.toStdString();
                if (box.title == actingBox && act)
                    act();
            });
            user.answer(box.title, "OK");
        }
        OfferFreeGift();
        EXPECT_TRUE(user.finished());
    }

private:
    testsupport::GuiWorld m_world;
};

TEST(FreeGiftTest, WhereTheCdIsFound)
{
    const std::optional<std::string> flag = "Launch Remindo Install";
    struct Case
    {
        const char* name;
        const char* driveFile; // null: none
        bool cdAtStart;
        const char* insertedDuring; // the box during which the CD goes in
        std::vector<Box> boxes;
        bool installerRuns;
    } cases[] = {
        {"present from the start", "D", true, "", {offerBox}, true},
        {"inserted while asked for",
         "d\r\n",
         false,
         "Insert CD",
         {offerBox, insertBox("D.")},
         true},
        {"inserted after the error",
         "D",
         false,
         "Error!",
         {offerBox, insertBox("D."), missingBox},
         true},
        {"never inserted", "D", false, "", {offerBox, insertBox("D."), missingBox}, false},
        // Without a letter the request's sentence ends where the letter would stand.
        {"no drive file", nullptr, false, "", {offerBox, insertBox(""), missingBox}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GiftWorld world;
        if (c.driveFile)
            world.files().writeFile("drive", c.driveFile);
        if (c.cdAtStart)
            world.insertCd();
        platform::SetErrorMode(0);

        world.offer(c.boxes, c.insertedDuring, [&world] { world.insertCd(); });

        EXPECT_EQ(world.installerRan(c.installerRuns), c.installerRuns);
        EXPECT_EQ(world.flag(), c.installerRuns ? flag : std::nullopt);
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
    world.insertCd('d');
    world.offer({offerBox, insertBox("E.")}, "Insert CD",
                [&world] { world.files().writeFile("drive", "D"); });
    EXPECT_TRUE(world.installerRan(true));
}

TEST(FreeGiftTest, AnInstallationUnderWayHoldsTheInstallerBack)
{
    for (bool folder : {true, false}) {
        GiftWorld world;
        world.files().writeFile("drive", "D");
        world.insertCd();
        if (folder)
            fs::create_directory("installing");
        else
            world.files().writeFile("installing", "");
        world.offer({offerBox});
        EXPECT_FALSE(world.installerRan(false)) << (folder ? "folder" : "file");
        EXPECT_EQ(world.flag(), "Launch Remindo Install");
    }
}

TEST(FreeGiftTest, InstallerThatCannotBeStartedStillGetsItsFlag)
{
    GiftWorld world;
    world.files().writeFile("drive", "d");
    world.insertCd();
    fs::permissions(world.installer(), fs::perms::owner_read | fs::perms::owner_write);
    world.offer({offerBox,
                 {"Error!", QStyle::SP_MessageBoxWarning,
                  "Unable to launch application:  D:\\GIFT\\SETUP.EXE."}});
    EXPECT_EQ(world.flag(), "Launch Remindo Install");
}

TEST(FreeGiftTest, LongProgramDirectory)
{
    GiftWorld world;
    const fs::path deep = world.files().root() / std::string(100, 'p') / "Pantrix Morsels";
    world.files().writeFile(deep / "drive", "D");
    programDirectory = deep.string();
    world.insertCd();
    world.offer({offerBox});
    EXPECT_TRUE(world.installerRan(true));
}

} // namespace
