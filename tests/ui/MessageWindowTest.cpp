#include "tests/support/GuiWorld.h"
#include "ui/MessageWindow.h"
#include "ui/testing/ScriptedUser.h"

#include <QLabel>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace ui;
using testing::ElementsAre;

namespace {

class MessageWindowTest : public ::testing::Test
{
protected:
    testsupport::GuiWorld world;
};

TEST(MessageLinesTest, LineBreaks)
{
    EXPECT_THAT(MessageWindow::SplitLines("two\r\nwords"), ElementsAre("two", "words"));
    EXPECT_THAT(MessageWindow::SplitLines("two\n\nwords"), ElementsAre("two", "", "words"));
    EXPECT_THAT(MessageWindow::SplitLines("a\rb\n\rc"), ElementsAre("a", "b", "", "c"));
    EXPECT_THAT(MessageWindow::SplitLines(""), ElementsAre(""));
}

TEST_F(MessageWindowTest, ButtonsReportTheirResults)
{
    struct Case
    {
        unsigned short buttons;
        const char* press;
        int result;
    } cases[] = {
        {MSG_OK, "OK", -2999},           {MSG_YES | MSG_NO, "Yes", -2998},
        {MSG_YES | MSG_NO, "No", -2997}, {MSG_ABORT, "Abort", -2996},
        {MSG_RETRY, "Retry", -2995},     {MSG_IGNORE, "Ignore", -2994},
        {MSG_CANCEL, "Cancel", -2993},
    };
    for (const auto& c : cases) {
        MessageWindow box("Question", "QUESTION", c.buttons, MSG_OK, "Well?");
        ScriptedUser user;
        user.answer("Question", c.press);
        EXPECT_EQ(box.Run(), c.result) << c.press;
        EXPECT_FALSE(box.IsOnScreen());
    }
}

TEST_F(MessageWindowTest, EnterPressesTheDefaultButtonWhichHoldsTheFocus)
{
    MessageWindow box("Registration", "QUESTION", MSG_YES | MSG_NO, MSG_YES, "Register?");
    ScriptedUser user;
    user.inspect("Registration",
                 [](QWidget* window) {
                     auto* focused = qobject_cast<QPushButton*>(window->focusWidget());
                     ASSERT_NE(focused, nullptr);
                     EXPECT_EQ(focused->text(), "&Yes");
                     EXPECT_TRUE(focused->isDefault());
                 })
        .key("Registration", Qt::Key_Return);
    EXPECT_EQ(box.Run(), RESULT_YES);
}

TEST_F(MessageWindowTest, ClosingByTheSystemMenuGivesZero)
{
    MessageWindow box("Registration", "QUESTION", MSG_YES | MSG_NO, MSG_YES, "Register?");
    ScriptedUser user;
    user.closeByTitleBar("Registration");
    EXPECT_EQ(box.Run(), RESULT_CLOSED);
}

TEST_F(MessageWindowTest, HelpLeavesTheWindowOpen)
{
    MessageWindow box("Info", nullptr, MSG_OK | MSG_HELP, MSG_OK, "Read this.");
    ScriptedUser user;
    user.answer("Info", "Help").answer("Info", "OK");
    EXPECT_EQ(box.Run(), RESULT_OK);
    EXPECT_TRUE(user.finished());
}

TEST_F(MessageWindowTest, WindowWithoutTitleHasNoSystemMenu)
{
    MessageWindow box(nullptr, nullptr, MSG_OK, MSG_OK, "Plain");
    EXPECT_TRUE(box.NativeWindow()->windowFlags() & Qt::FramelessWindowHint);
    ScriptedUser user;
    user.closeByTitleBar("MessageWindow").answer("MessageWindow", "OK");
    EXPECT_EQ(box.Run(), RESULT_OK) << "closing a box without system menu does nothing";
}

TEST_F(MessageWindowTest, LayoutFollowsTheCellRules)
{
    MessageWindow notice("Hi", "ASTERISK", MSG_OK, MSG_OK, "x");
    QWidget* window = notice.NativeWindow();
    const int cell = window->fontMetrics().averageCharWidth();
    const int row = window->fontMetrics().height();
    EXPECT_GE(window->width(), 19 * cell) << "one 12-cell button, its gap and the margins";

    MessageWindow question("Q", "question", MSG_YES | MSG_NO, MSG_YES,
                           "line one\r\nline two\n\nfour");
    QWidget* q = question.NativeWindow();
    EXPECT_EQ(q->height(), (4 + 4) * row);
    auto* icon = q->findChild<QLabel*>("ICON");
    ASSERT_NE(icon, nullptr) << "icon names are matched without regard to case";
    EXPECT_EQ(icon->x(), 2 * cell);
    auto* text = q->findChild<QLabel*>("MESSAGE");
    EXPECT_EQ(text->x(), 8 * cell);
    EXPECT_EQ(text->y(), row);
    auto* yes = q->findChild<QPushButton*>("YES");
    auto* no = q->findChild<QPushButton*>("NO");
    ASSERT_TRUE(yes && no);
    EXPECT_EQ(yes->width(), 12 * cell);
    EXPECT_EQ(no->x() - yes->x(), 14 * cell);
    const int widthCells = q->width() / cell;
    EXPECT_EQ(yes->x(), ((widthCells - 14 * 2) / 2 + 1) * cell) << "the buttons are centred";

    MessageWindow bare(nullptr, "NO_SUCH_ICON", MSG_OK, MSG_OK, "x");
    EXPECT_EQ(bare.NativeWindow()->findChild<QLabel*>("MESSAGE")->x(), 2 * cell);
}

TEST_F(MessageWindowTest, MessageIsFormatted)
{
    MessageWindow box("T", nullptr, MSG_OK, MSG_OK, "Thank you for registering %s.",
                      "Pantrix Morsels");
    EXPECT_EQ(box.Message(), "Thank you for registering Pantrix Morsels.");
    EXPECT_EQ(ScriptedUser::messageText(box.NativeWindow()),
              "Thank you for registering Pantrix Morsels.");
}

} // namespace
