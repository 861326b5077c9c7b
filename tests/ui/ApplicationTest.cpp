#include "tests/support/GuiWorld.h"

#include <QPointer>
#include <QProcess>

using namespace ui;
namespace fs = std::filesystem;

namespace {

struct BeepCounter : platform::Desktop
{
    BeepCounter() : m_previous(platform::desktop()) { platform::setDesktop(this); }
    ~BeepCounter() override { platform::setDesktop(&m_previous); }
    void pumpMessages(std::uint32_t) override {}
    void beep() override { ++beeps; }
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    int beeps = 0;
    platform::Desktop& m_previous;
};

// Makes a folder holding only the named resource files the search path.
fs::path searchOnly(testsupport::GuiWorld& world, std::initializer_list<const char*> files)
{
    fs::path folder = world.files().root() / "resources";
    fs::create_directories(folder);
    for (const char* file : files)
        fs::copy_file(fs::path(testsupport::binaryDirectory()) / file, folder / file,
                      fs::copy_options::overwrite_existing);
    application()->searchPath = UI_PATH({folder.string()});
    return folder;
}

TEST(ApplicationTest, MissingOrDefectiveStoresAreCriticalErrorsAndClosingAsksFirst)
{
    testsupport::GuiWorld world;
    fs::path folder = searchOnly(world, {"p_direct.z_t"});
    BeepCounter counter;
    EXPECT_THROW(ZAF_SERVICE_MANAGER(), CriticalError);
    EXPECT_EQ(counter.beeps, 1) << "no error reporter exists yet, so only a beep tells";
    // A store of the right name that holds the wrong things is no better.
    fs::copy_file(folder / "p_direct.z_t", folder / "p_servic.z_t");
    EXPECT_THROW(ZAF_SERVICE_MANAGER(), CriticalError);
    EXPECT_EQ(counter.beeps, 2);

    searchOnly(world, {"p_servic.z_t"});
    fs::remove(folder / "p_direct.z_t");
    std::optional<ZAF_SERVICE_MANAGER> services(std::in_place);
    EXPECT_EQ(UIW_WINDOW::windowManager->GetExitFunction(), &ConfirmExit);
    ScriptedUser user;
    user.answer("Error", "OK").answer("Error!", "OK");
    EXPECT_EQ(RunGuarded(*application(),
                         [](UI_APPLICATION&) {
                             ZAF_DIRECTORY_SERVICE directory;
                             return 0;
                         }),
              criticalErrorExitCode);
    EXPECT_EQ(RunGuarded(*application(),
                         [](UI_APPLICATION&) {
                             UIW_WINDOW window("NO_SUCH_WINDOW");
                             return 0;
                         }),
              storeDefectExitCode);
    EXPECT_EQ(counter.beeps, 2);
    auto& events = *UIW_WINDOW::eventManager;
    user.answer("Exit Pantrix?", "No").answer("Exit Pantrix?", "Yes");
    EXPECT_EQ(ConfirmExit(*UIW_WINDOW::windowManager, events), 0);
    EXPECT_EQ(events.Pending(), 0u);
    EXPECT_EQ(ConfirmExit(*UIW_WINDOW::windowManager, events), -7);
    UI_EVENT event;
    ASSERT_TRUE(events.Get(event, false));
    EXPECT_EQ(event.type, L_EXIT);
    EXPECT_THAT(testsupport::boxesSeen(user),
                testing::ElementsAre(
                    "Error | Critical Error!  The file \"p_direct.z_t\" cannot be located.",
                    "Error! | The window \"NO_SUCH_WINDOW\" is missing from ROBJECTS.DAT.",
                    "Exit Pantrix? | \nExit Pantrix?", "Exit Pantrix? | \nExit Pantrix?"));
    auto* leftOpen = new UIW_WINDOW("COUNTRY");
    UIW_WINDOW::windowManager->Add(leftOpen);
    QPointer<QWidget> native = leftOpen->NativeWindow();
    services.reset();
    EXPECT_TRUE(native.isNull()) << "windows still on the screen go with the service manager";
    EXPECT_EQ(UI_ERROR_SYSTEM::errorSystem, nullptr);
}

// The store is looked for in the working directory, the program's directory, then ZINC_PATH.
TEST(ProgramTest, FindsItsStoreInItsDirectoryOrThroughZincPathOrExitsWithMinusOne)
{
    testsupport::TestWorld world;
    fs::path zinc = world.root() / "zinc";
    fs::copy_file(REGISTER_EXECUTABLE, world.programDir() / "register");
    fs::copy_file(REGISTER_UI_EXECUTABLE, world.programDir() / "register-ui");
    world.writeFile(world.programDir() / "rdate", "1/1/1"); // nothing to ask on this run
    fs::create_directories(zinc);
    world.writeFile(world.root() / "path/ROBJECTS.DAT", "not a store"); // PATH comes last
    auto run = [&](const std::string& zincPath, const char* program = "register") {
        testsupport::ScopedEnv zincEnv("ZINC_PATH", zincPath),
            pathEnv("PATH", "/usr/bin:/bin:" + (world.root() / "path").string());
        QProcess process; // offscreen, as the test itself runs
        process.setWorkingDirectory(QString::fromStdString(world.root().string()));
        process.start(QString::fromStdString((world.programDir() / program).string()), {});
        EXPECT_TRUE(process.waitForFinished(60000));
        return process.exitCode();
    };
    EXPECT_EQ(run(""), 255);
    EXPECT_EQ(run("", "register-ui"), 255);
    EXPECT_EQ(world.readFile(world.programDir() / "rdate"), "1/1/1") << "rdate is not looked at";
    const fs::path store = fs::path(testsupport::binaryDirectory()) / "ROBJECTS.DAT";
    fs::copy_file(store, zinc / "ROBJECTS.DAT");
    const std::string zincPath = "/nowhere;" + zinc.string();
    EXPECT_EQ(run(zincPath), 0);
    world.writeFile(world.programDir() / "ROBJECTS.DAT", "not a store");
    EXPECT_EQ(run(zincPath), 255) << "the program's directory comes before ZINC_PATH";
    fs::copy_file(store, world.root() / "ROBJECTS.DAT");
    EXPECT_EQ(run(zincPath), 0) << "the working directory comes first";
}

} // namespace
