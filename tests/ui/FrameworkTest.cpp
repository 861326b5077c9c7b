#include "tests/support/GuiWorld.h"
#include "ui/framework/Ansi.h"

#include <QApplication>

using namespace ui;

namespace {

TEST(FrameworkTest, StoreRefusesFilesItCannotUse)
{
    EXPECT_THAT(UI_PATH::SplitList("/a;/b:/c;;/d"), testing::ElementsAre("/a", "/b", "/c", "/d"));
    testsupport::GuiWorld world;
    const std::filesystem::path dir = world.files().programDir();
    EXPECT_NE(ResourceStore("ROBJECTS.DAT", UI_PATH({"/nowhere"})).Error(), 0);
    // Garbage, and a store cut short anywhere, are refused.
    std::string whole = world.files().readFile(
        std::filesystem::path(testsupport::binaryDirectory()) / "ROBJECTS.DAT");
    world.files().writeFile(dir / "ROBJECTS.DAT", "not a store");
    EXPECT_NE(ResourceStore("ROBJECTS.DAT", UI_PATH({dir.string()})).Error(), 0);
    for (std::size_t size = 0; size < whole.size(); size += size + 61 < whole.size() ? 61 : 1) {
        world.files().writeFile(dir / "ROBJECTS.DAT", whole.substr(0, size));
        ResourceStore cut("ROBJECTS.DAT", UI_PATH({dir.string()}));
        for (const char* name :
             {"COUNTRY", "METHOD", "DATA_WINDOW", "DIALING_CONFIGURE", "STATUS_WINDOW"})
            EXPECT_TRUE(cut.Error() || std::unique_ptr<QWidget>(cut.LoadWindow(name))) << size;
    }
    MessageTable table("# comment\n209=On-Line Registration\n\n12 = padded \nnonsense\n=7\n");
    EXPECT_EQ(table.Size(), 2u);
    EXPECT_EQ(table.Get(12), "padded");

    UI_EVENT_MANAGER manager; // 100 events, first in first out
    for (int i = 0; i < 101; ++i)
        EXPECT_EQ(manager.Put({i}), i < 100) << i;
    UI_EVENT event;
    for (int i = 0; i < 101; ++i)
        EXPECT_EQ(manager.Get(event, false) && event.type == i, i < 100) << i;
}

TEST(FrameworkTest, ChildrenByIdentifierAndNumberAndTheirText)
{
    testsupport::GuiWorld world;
    UIW_WINDOW form("DATA_WINDOW"), status("STATUS_WINDOW");
    EXPECT_EQ(form.Get("NO_SUCH_FIELD"), nullptr);
    ASSERT_NE(status.Get(3), nullptr);
    EXPECT_EQ(status.Get(4), nullptr);
    EXPECT_THROW(form.Require("NO_SUCH_FIELD"), StoreDefect);
    EXPECT_THROW(status.Require(4), StoreDefect);
    UI_WINDOW_OBJECT* phone = form.Get("PHONE");
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->DataGet(), "(   )    -    ");
    const std::pair<const char*, const char*> cases[] = {{"(555) 123-4567", "(555) 123-4567"},
                                                         {"(5 5) 1x3-4567", "(5 5) 1 3-4567"},
                                                         {"(55", "(55 )    -    "}};
    for (const auto& [given, shown] : cases) {
        phone->DataSet(given);
        EXPECT_EQ(phone->DataGet(), shown) << given;
    }
    EXPECT_EQ(toAnsi(fromAnsi("\x80\x9F\xE9\x81")), "\x80\x9F\xE9\x81");
    EXPECT_EQ(toAnsi(QStringLiteral("中")), "?");
}

TEST(StatusWindowTest, OneWindowUpdatedInPlaceThatTheUserCannotClose)
{
    testsupport::GuiWorld world;
    auto shownText = [] {
        return CurrentStatusWindow()->Get(3)->Widget()->property("text").toString();
    };
    QString defined = UIW_WINDOW("STATUS_WINDOW").Get(3)->Widget()->property("text").toString();
    StatusWindow("Initializing modem", nullptr);
    UIW_WINDOW* first = CurrentStatusWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsOnScreen());
    EXPECT_EQ(shownText(), defined) << "a title alone keeps the defined text";
    StatusWindow("Caf\xE9", "%d%% M\xFCller \x80", 50);
    EXPECT_EQ(CurrentStatusWindow(), first) << "no second window is ever opened";
    EXPECT_EQ(first->Title(), QStringLiteral("Café"));
    EXPECT_EQ(shownText(), QStringLiteral("50% Müller €"));
    StatusWindow(nullptr, "only the text");
    EXPECT_EQ(first->Title(), QStringLiteral("Café"));
    EXPECT_EQ(shownText(), "only the text");
    first->NativeWindow()->close();
    EXPECT_TRUE(first->IsOnScreen());
    UI_EVENT event;
    EXPECT_FALSE(UIW_WINDOW::eventManager->Get(event, false));
    StatusWindow(nullptr, nullptr);
    EXPECT_EQ(CurrentStatusWindow(), nullptr);
    StatusWindow(nullptr, nullptr); // nothing open: nothing happens

    SetWaitCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    SetWaitCursor(true);
    SetWaitCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "one false undoes any number of trues";
}

} // namespace
