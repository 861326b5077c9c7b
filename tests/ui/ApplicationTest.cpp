#include "tests/support/GuiWorld.h"
#include "ui/Application.h"
#include "ui/MessageWindow.h"
#include "ui/testing/ScriptedUser.h"

#include <QPointer>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

using namespace ui;

namespace fs = std::filesystem;

namespace {

class BeepCounter : public platform::Desktop
{
public:
    BeepCounter() : m_previous(platform::desktop()) { platform::setDesktop(this); }
    ~BeepCounter() override { platform::setDesktop(&m_previous); }
    void pumpMessages(std::uint32_t) override {}
    void beep() override { ++beeps; }
    int messageBox(const std::string&, const std::string&, unsigned) override
    {
        return platform::IDOK;
    }
    int beeps = 0;

private:
    platform::Desktop& m_previous;
};

class ApplicationTest : public ::testing::Test
{
protected:
    // A folder holding only the named resource files, copied from the build.
    fs::path folderWith(std::initializer_list<const char*> files)
    {
        fs::path folder = world.files().root() / "resources";
        fs::create_directories(folder);
        for (const char* file : files)
            fs::copy_file(fs::path(testsupport::binaryDirectory()) / file, folder / file,
                          fs::copy_options::overwrite_existing);
        application()->searchPath = UI_PATH({folder.string()});
        return folder;
    }

    testsupport::GuiWorld world;
};

TEST_F(ApplicationTest, ServiceManagerSetsTitleAndExitFunction)
{
    folderWith({"p_servic.z_t", "p_direct.z_t"});
    QPointer<QWidget> leftOpen;
    {
        ZAF_SERVICE_MANAGER services;
        EXPECT_STREQ(services.ClassName(), "ZAF_SERVICE_MANAGER");
        EXPECT_EQ(services.Number(), 3000);
        EXPECT_EQ(UIW_WINDOW::windowManager->Title(), "On-Line Registration");
        EXPECT_EQ(UIW_WINDOW::windowManager->GetExitFunction(), &ConfirmExit);
        EXPECT_FALSE(services.IsOnScreen());
        EXPECT_NE(UI_ERROR_SYSTEM::errorSystem, nullptr);
        EXPECT_NE(UI_HELP_SYSTEM::helpSystem, nullptr);
        EXPECT_EQ(UIW_WINDOW::defaultStorage, resourceStore)
            << "the program's store is the default again";

        services.Add(new ZAF_DIRECTORY_SERVICE);
        EXPECT_STREQ(services.FindService(3101)->ClassName(), "ZAF_DIRECTORY_SERVICE");
        EXPECT_EQ(services.FindService("ZAF_DIRECTORY_SERVICE"), services.FindService(3101));
        EXPECT_EQ(services.FindService(42), nullptr);

        auto* window = new UIW_WINDOW("COUNTRY");
        UIW_WINDOW::windowManager->Add(window);
        leftOpen = window->NativeWindow();
    }
    EXPECT_TRUE(leftOpen.isNull()) << "windows still on the screen go with the service manager";
    EXPECT_EQ(UI_ERROR_SYSTEM::errorSystem, nullptr);
    EXPECT_EQ(UIW_WINDOW::windowManager->GetExitFunction(), nullptr);
}

TEST_F(ApplicationTest, MissingServiceFileIsACriticalError)
{
    folderWith({"p_direct.z_t"});
    BeepCounter counter;
    EXPECT_THROW(ZAF_SERVICE_MANAGER(), CriticalError);
    EXPECT_EQ(counter.beeps, 1) << "no error reporter exists yet, so only a beep tells";

    // A store of the right name that holds the wrong things is no better.
    fs::path folder = folderWith({});
    fs::copy_file(fs::path(testsupport::binaryDirectory()) / "p_direct.z_t",
                  folder / "p_servic.z_t");
    EXPECT_THROW(ZAF_SERVICE_MANAGER(), CriticalError);
    EXPECT_EQ(counter.beeps, 2);

    folderWith({"p_servic.z_t"});
    fs::remove(folder / "p_direct.z_t");
    ZAF_SERVICE_MANAGER services;
    ScriptedUser user;
    user.answer("Error", "OK");
    EXPECT_THROW(ZAF_DIRECTORY_SERVICE(), CriticalError);
    ASSERT_EQ(user.sightings().size(), 1u);
    EXPECT_EQ(user.sightings()[0].text,
              "Critical Error!  The file \"p_direct.z_t\" cannot be located.");
    EXPECT_EQ(counter.beeps, 2);
}

TEST_F(ApplicationTest, DefectiveStoreIsReportedAndEndsTheRun)
{
    ScriptedUser user;
    user.answer("Error!", "OK");
    int exitCode = RunGuarded(*application(), [](UI_APPLICATION&) {
        UIW_WINDOW window("NO_SUCH_WINDOW");
        return 0;
    });
    EXPECT_EQ(exitCode, storeDefectExitCode);
    ASSERT_EQ(user.sightings().size(), 1u);
    EXPECT_EQ(user.sightings()[0].text,
              "The window \"NO_SUCH_WINDOW\" is missing from ROBJECTS.DAT.");
}

TEST_F(ApplicationTest, ConfirmExit)
{
    auto& events = *UIW_WINDOW::eventManager;
    {
        ScriptedUser user;
        user.answer("Exit Pantrix?", "No");
        EXPECT_EQ(ConfirmExit(*UIW_WINDOW::windowManager, events), 0);
        EXPECT_EQ(events.Pending(), 0u);
        EXPECT_EQ(user.sightings().at(0).text, "\nExit Pantrix?");
    }
    ScriptedUser user;
    user.answer("Exit Pantrix?", "Yes");
    EXPECT_EQ(ConfirmExit(*UIW_WINDOW::windowManager, events), -7);
    UI_EVENT event;
    ASSERT_TRUE(events.Get(event, false));
    EXPECT_EQ(event.type, L_EXIT);
}

// The program as a user starts it, from a folder of its own.
class ProgramTest : public ::testing::Test
{
protected:
    ProgramTest()
    {
        program = world.programDir() / "register";
        fs::copy_file(REGISTER_EXECUTABLE, program);
        fs::copy_file(REGISTER_UI_EXECUTABLE, world.programDir() / "register-ui");
        // Asked nothing on this run: the reminder counts from today.
        world.writeFile(world.programDir() / "rdate", "1/1/1");
        elsewhere = world.root() / "elsewhere";
        fs::create_directories(elsewhere);
    }

    int run(const QString& zincPath = {})
    {
        QProcess process;
        process.setWorkingDirectory(QString::fromStdString(elsewhere.string()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("PATH", "/usr/bin:/bin");
        environment.remove("ZINC_PATH");
        if (!zincPath.isEmpty())
            environment.insert("ZINC_PATH", zincPath);
        process.setProcessEnvironment(environment);
        process.start(QString::fromStdString(program.string()), {});
        EXPECT_TRUE(process.waitForFinished(60000));
        return process.exitCode();
    }

    void copyStoreTo(const fs::path& folder)
    {
        fs::copy_file(fs::path(testsupport::binaryDirectory()) / "ROBJECTS.DAT",
                      folder / "ROBJECTS.DAT");
    }

    testsupport::TestWorld world;
    fs::path program;
    fs::path elsewhere;
};

TEST_F(ProgramTest, ExitCodeIsMinusOneWithoutTheStore)
{
    EXPECT_EQ(run(), 255);
    program = world.programDir() / "register-ui"; // and the windowed program on its own
    EXPECT_EQ(run(), 255);
    EXPECT_EQ(world.readFile(world.programDir() / "rdate"), "1/1/1") << "rdate is not looked at";
}

TEST_F(ProgramTest, StoreIsFoundThroughZincPath)
{
    fs::path zinc = world.root() / "zinc";
    fs::create_directories(zinc);
    copyStoreTo(zinc);
    EXPECT_EQ(run(QString::fromStdString("/nowhere;" + zinc.string())), 0);
}

TEST_F(ProgramTest, StoreIsFoundInTheProgramDirectoryFromAnotherWorkingDirectory)
{
    copyStoreTo(world.programDir());
    EXPECT_EQ(run(), 0);
}

} // namespace
