#include "tests/support/GuiWorld.h"
#include "ui/StatusWindow.h"
#include "ui/testing/ScriptedUser.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

using namespace ui;

namespace {

class StatusWindowTest : public ::testing::Test
{
protected:
    testsupport::GuiWorld world;

    static QString shownText()
    {
        return CurrentStatusWindow()->Get(3)->Widget()->property("text").toString();
    }
};

TEST_F(StatusWindowTest, OneWindowUpdatedInPlace)
{
    EXPECT_EQ(CurrentStatusWindow(), nullptr);
    StatusWindow("Sending Data", "Dialing ...");
    UIW_WINDOW* first = CurrentStatusWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsOnScreen());
    StatusWindow("Modem Status", "%d%% done", 50);
    EXPECT_EQ(CurrentStatusWindow(), first) << "no second window is ever opened";
    EXPECT_EQ(first->Title(), "Modem Status");
    EXPECT_EQ(shownText(), "50% done");

    StatusWindow(nullptr, "only the text");
    EXPECT_EQ(first->Title(), "Modem Status");
    EXPECT_EQ(shownText(), "only the text");

    StatusWindow(nullptr, nullptr);
    EXPECT_EQ(CurrentStatusWindow(), nullptr);
    StatusWindow(nullptr, nullptr); // nothing open: nothing happens
    EXPECT_EQ(CurrentStatusWindow(), nullptr);
}

TEST_F(StatusWindowTest, TitleAloneKeepsTheDefinedText)
{
    std::unique_ptr<UIW_WINDOW> definition(new UIW_WINDOW("STATUS_WINDOW"));
    QString defined = definition->Get(3)->Widget()->property("text").toString();
    StatusWindow("Initializing modem", nullptr);
    EXPECT_EQ(CurrentStatusWindow()->Title(), "Initializing modem");
    EXPECT_EQ(shownText(), defined);
}

TEST_F(StatusWindowTest, TheUserCannotCloseIt)
{
    StatusWindow("Sending Data", "Please wait");
    CurrentStatusWindow()->NativeWindow()->close();
    EXPECT_TRUE(CurrentStatusWindow()->IsOnScreen());
    UI_EVENT event;
    EXPECT_FALSE(UIW_WINDOW::eventManager->Get(event, false));
}

TEST_F(StatusWindowTest, Windows1252TextIsShownAsTheCharactersItStandsFor)
{
    StatusWindow("Caf\xE9", "%s", "M\xFCller \x80");
    EXPECT_EQ(CurrentStatusWindow()->Title(), QStringLiteral("Café"));
    EXPECT_EQ(shownText(), QStringLiteral("Müller €"));
}

TEST_F(StatusWindowTest, WaitCursor)
{
    SetWaitCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    SetWaitCursor(true);
    SetWaitCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "one false undoes any number of trues";
    SetWaitCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
