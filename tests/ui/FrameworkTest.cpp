#include "tests/support/GuiWorld.h"
#include "ui/framework/Ansi.h"
#include "ui/testing/ScriptedUser.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace ui;
namespace fs = std::filesystem;
using testing::ElementsAre;

namespace {

class FrameworkTest : public ::testing::Test
{
protected:
    testsupport::GuiWorld world;
};

TEST(SearchPathTest, ListsAreSplitAtSemicolonsAndColons)
{
    EXPECT_THAT(UI_PATH::SplitList("/a;/b:/c;;/d"), ElementsAre("/a", "/b", "/c", "/d"));
    EXPECT_EQ(UI_PATH::DirectoryOf("/opt/pantrix/register"), "/opt/pantrix");
    EXPECT_EQ(UI_PATH::DirectoryOf("/register"), "/");
    EXPECT_EQ(UI_PATH::DirectoryOf("register"), "");
}

TEST(SearchPathTest, StartsWithWorkingAndProgramDirectoryThenZincPathThenPath)
{
    testsupport::TestWorld world;
    auto zinc = world.root() / "zinc";
    std::filesystem::create_directories(zinc);
    setenv("ZINC_PATH", (zinc.string() + ";/nowhere").c_str(), 1);
    UI_PATH path;
    unsetenv("ZINC_PATH");
    ASSERT_GE(path.Directories().size(), 4u);
    EXPECT_EQ(path.Entry(0), std::filesystem::current_path().string());
    EXPECT_EQ(path.Entry(1), std::filesystem::path(REGISTER_EXECUTABLE).parent_path().string());
    EXPECT_EQ(path.Entry(2), zinc.string());
    EXPECT_EQ(path.Entry(3), "/nowhere");

    // The first directory that holds the file wins.
    world.writeFile(zinc / "ROBJECTS.DAT", "zinc");
    world.writeFile(world.programDir() / "ROBJECTS.DAT", "program");
    UI_PATH both({world.programDir().string(), zinc.string()});
    EXPECT_EQ(both.Find("ROBJECTS.DAT"), (world.programDir() / "ROBJECTS.DAT").string());
    EXPECT_EQ(UI_PATH({zinc.string()}).Find("ROBJECTS.DAT"), (zinc / "ROBJECTS.DAT").string());
    EXPECT_EQ(UI_PATH({"/nowhere"}).Find("ROBJECTS.DAT"), "");
}

TEST_F(FrameworkTest, StoreReportsFilesItCannotUse)
{
    ResourceStore missing("ROBJECTS.DAT", UI_PATH({"/nowhere"}));
    EXPECT_NE(missing.Error(), 0);
    EXPECT_EQ(missing.LoadWindow("COUNTRY"), nullptr);

    world.files().writeFile(world.files().programDir() / "ROBJECTS.DAT", "not a store");
    ResourceStore garbage("ROBJECTS.DAT", UI_PATH({world.files().programDir().string()}));
    EXPECT_NE(garbage.Error(), 0);

    // A store cut short anywhere is refused.
    std::string whole =
        world.files().readFile(fs::path(testsupport::binaryDirectory()) / "ROBJECTS.DAT");
    for (std::size_t size = 0; size < whole.size(); size += size + 61 < whole.size() ? 61 : 1) {
        world.files().writeFile(world.files().programDir() / "ROBJECTS.DAT", whole.substr(0, size));
        ResourceStore cut("ROBJECTS.DAT", UI_PATH({world.files().programDir().string()}));
        if (cut.Error() == 0) {
            for (const char* name :
                 {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE", "STATUS_WINDOW"})
                EXPECT_TRUE(std::unique_ptr<QWidget>(cut.LoadWindow(name))) << size << " " << name;
        }
    }

    ResourceStore real("ROBJECTS.DAT", UI_PATH({testsupport::binaryDirectory()}));
    EXPECT_EQ(real.Error(), 0);
    EXPECT_FALSE(real.HasObject("NO_SUCH_WINDOW"));
    for (const char* name :
         {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE", "STATUS_WINDOW"}) {
        std::unique_ptr<QWidget> window(real.LoadWindow(name));
        ASSERT_TRUE(window) << name;
        EXPECT_EQ(window->objectName(), name);
    }
}

TEST(MessageTableTest, ReadsNumberedLinesAndSkipsTheRest)
{
    MessageTable table("# comment\n209=On-Line Registration\n\n12 = padded \nnonsense\n=7\n");
    EXPECT_EQ(table.Size(), 2u);
    EXPECT_EQ(table.Get(209), "On-Line Registration");
    EXPECT_EQ(table.Get(12), "padded");
    EXPECT_EQ(table.Get(7), "");
}

TEST_F(FrameworkTest, EventQueueHoldsOneHundredEventsInOrder)
{
    UI_EVENT_MANAGER manager;
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(manager.Put({i}));
    EXPECT_FALSE(manager.Put({100})) << "the 101st event has no room";
    UI_EVENT event;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(manager.Get(event, false));
        EXPECT_EQ(event.type, i);
    }
    EXPECT_FALSE(manager.Get(event, false));
}

TEST_F(FrameworkTest, ChildrenAreFoundByIdentifierAndNumber)
{
    UIW_WINDOW form("DATA_WINDOW");
    EXPECT_STREQ(form.ClassName(), "UIW_WINDOW");
    for (const char* id : {"FIRST_NAME", "LAST_NAME", "STREET", "CITY", "STATE", "ZIP", "PHONE",
                           "COUNTRY", "EMAIL", "PURCHASED_FROM", "REASON_PURCHASED"})
        EXPECT_NE(form.Get(id), nullptr) << id;
    EXPECT_EQ(form.Get("NO_SUCH_FIELD"), nullptr);
    EXPECT_EQ(form.Get("FIRST_NAME"), form.Get("FIRST_NAME")) << "one object per child";

    UIW_WINDOW status("STATUS_WINDOW");
    ASSERT_NE(status.Get(3), nullptr);
    EXPECT_EQ(status.Get(4), nullptr);

    EXPECT_EQ(form.Require("CITY"), form.Get("CITY"));
    EXPECT_THROW(form.Require("NO_SUCH_FIELD"), StoreDefect);
    EXPECT_THROW(status.Require(4), StoreDefect);
    EXPECT_THROW(UIW_WINDOW("NO_SUCH_WINDOW"), StoreDefect);
}

TEST_F(FrameworkTest, FormattedFieldKeepsItsTemplate)
{
    UIW_WINDOW form("DATA_WINDOW");
    UI_WINDOW_OBJECT* phone = form.Get("PHONE");
    EXPECT_EQ(phone->DataGet(), "(   )    -    ");
    struct Case
    {
        const char* given;
        const char* shown;
    } cases[] = {
        {"(555) 123-4567", "(555) 123-4567"},
        {"(555) 123-4   ", "(555) 123-4   "},
        {"(5 5) 1x3-4567", "(5 5) 1 3-4567"}, // a missing digit leaves its place blank
        {"(55", "(55 )    -    "},
        {"", "(   )    -    "},
    };
    for (const auto& c : cases) {
        phone->DataSet(c.given);
        EXPECT_EQ(phone->DataGet(), c.shown) << c.given;
    }
}

TEST_F(FrameworkTest, NonSelectableFieldCannotBeEnteredUntilItsFlagIsCleared)
{
    UIW_WINDOW form("DATA_WINDOW");
    UI_WINDOW_OBJECT* country = form.Get("COUNTRY");
    EXPECT_TRUE(country->Flags() & WOF_NON_SELECTABLE);
    EXPECT_FALSE(country->Widget()->isEnabled());
    country->SetFlags(country->Flags() & ~WOF_NON_SELECTABLE);
    EXPECT_FALSE(country->Widget()->isEnabled()) << "takes effect only when notified";
    country->NotifyFlagsChanged();
    EXPECT_TRUE(country->Widget()->isEnabled());
}

TEST_F(FrameworkTest, ComboBoxAddsItemsAtTheEndAndKeepsItsText)
{
    UIW_WINDOW form("DATA_WINDOW");
    UI_WINDOW_OBJECT* reason = form.Get("REASON_PURCHASED");
    reason->Add("First.");
    reason->Add("Second.");
    auto* box = qobject_cast<QComboBox*>(reason->Widget());
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(1), "Second.");
    EXPECT_EQ(reason->DataGet(), "");
}

TEST_F(FrameworkTest, FieldsHoldWindows1252TextWithinTheirLength)
{
    UIW_WINDOW form("DATA_WINDOW");
    UIW_WINDOW::windowManager->Add(&form);
    {
        ScriptedUser user;
        user.type("DATA_WINDOW", "FIRST_NAME", QStringLiteral("Zoë €"))
            .type("DATA_WINDOW", "CITY", QStringLiteral("北京Köln😀"))
            .paste("DATA_WINDOW", "STATE", QStringLiteral("中"))
            .paste("DATA_WINDOW", "LAST_NAME", QString(200, QLatin1Char('x')))
            .press("DATA_WINDOW", OK_EVENT);
        UI_EVENT event;
        UIW_WINDOW::eventManager->Get(event);
        EXPECT_EQ(event.type, OK_EVENT);
        EXPECT_TRUE(user.finished());
    }
    EXPECT_EQ(form.Get("FIRST_NAME")->DataGet(), "Zo\xEB \x80");
    EXPECT_EQ(form.Get("CITY")->DataGet(), "K\xF6ln")
        << "characters outside the code page are refused";
    EXPECT_EQ(form.Get("STATE")->DataGet(), "");
    EXPECT_EQ(form.Get("LAST_NAME")->DataGet(), std::string(149, 'x'));
    UIW_WINDOW::windowManager->Subtract(&form);

    EXPECT_EQ(toAnsi(fromAnsi("\x80\x9F\xE9\x81")), "\x80\x9F\xE9\x81");
    EXPECT_EQ(toAnsi(QStringLiteral("中")), "?");
}

TEST_F(FrameworkTest, TitleBarCloseMakesTheWindowManagerDestroyTheWindow)
{
    auto* window = new UIW_WINDOW("COUNTRY");
    QPointer<QWidget> native = window->NativeWindow();
    ScriptedUser user;
    user.closeByTitleBar("COUNTRY");
    EXPECT_EQ(RunWindowModal(window), 0);
    EXPECT_TRUE(native.isNull()) << "the window manager destroyed the window";
    EXPECT_EQ(UIW_WINDOW::windowManager->Count(), 0u);
    EXPECT_TRUE(user.finished());
}

class ClosingWindow : public UIW_WINDOW
{
public:
    explicit ClosingWindow(std::vector<EVENT_TYPE>& seen) : UIW_WINDOW("METHOD"), m_seen(seen) {}
    EVENT_TYPE Event(const UI_EVENT& event) override
    {
        m_seen.push_back(event.type);
        if (event.type == OK_EVENT)
            eventManager->Put({S_CLOSE});
        return event.type;
    }

private:
    std::vector<EVENT_TYPE>& m_seen;
};

TEST_F(FrameworkTest, ButtonsPostTheirCodesToTheCurrentWindow)
{
    std::vector<EVENT_TYPE> seen;
    ScriptedUser user;
    user.choose("METHOD", "MAIL").press("METHOD", CANCEL_EVENT).press("METHOD", OK_EVENT);
    RunWindowModal(new ClosingWindow(seen));
    EXPECT_THAT(seen, ElementsAre(CANCEL_EVENT, OK_EVENT));
    EXPECT_TRUE(user.finished());
}

TEST_F(FrameworkTest, ScriptedUserReportsTheWrongWindowInFront)
{
    auto* window = new UIW_WINDOW("COUNTRY");
    ScriptedUser user;
    user.press("METHOD", OK_EVENT);
    EXPECT_THROW(RunWindowModal(window), ui::ScriptError);
}

} // namespace
