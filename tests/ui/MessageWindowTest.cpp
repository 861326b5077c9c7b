#include "tests/support/GuiWorld.h"

#include <QLabel>
#include <QPushButton>

using namespace ui;

namespace {

TEST(MessageWindowTest, ButtonsReportTheirResults)
{
    testsupport::GuiWorld world;
    const std::tuple<unsigned short, const char*, int> cases[] = {
        {MSG_OK, "OK", -2999},           {MSG_YES | MSG_NO, "Yes", -2998},
        {MSG_YES | MSG_NO, "No", -2997}, {MSG_ABORT, "Abort", -2996},
        {MSG_RETRY, "Retry", -2995},     {MSG_IGNORE, "Ignore", -2994},
        {MSG_CANCEL, "Cancel", -2993},   {MSG_OK | MSG_HELP, "Help", RESULT_OK}};
    for (const auto& [buttons, press, result] : cases) {
        MessageWindow box("Question", "QUESTION", buttons, MSG_OK, "Well?");
        ScriptedUser user;
        user.answer("Question", press);
        if (buttons & MSG_HELP) // Help leaves the box open
            user.answer("Question", "OK");
        EXPECT_EQ(box.Run(), result) << press;
        EXPECT_FALSE(box.IsOnScreen());
        EXPECT_TRUE(user.finished());
    }
    // Enter presses the default button, which holds the focus; the title bar gives 0.
    MessageWindow box("Registration", "QUESTION", MSG_YES | MSG_NO, MSG_YES, "Register?");
    ScriptedUser user;
    user.inspect("Registration",
                 [](QWidget* window) {
                     auto* focused = qobject_cast<QPushButton*>(window->focusWidget());
                     ASSERT_NE(focused, nullptr);
                     EXPECT_EQ(focused->text(), "&Yes");
                     EXPECT_TRUE(focused->isDefault());
                 })
        .key("Registration", Qt::Key_Return)
        .closeByTitleBar("Registration");
    EXPECT_EQ(box.Run(), RESULT_YES);
    EXPECT_EQ(box.Run(), RESULT_CLOSED);
    // Without a title there is no system menu: closing does nothing.
    MessageWindow plain(nullptr, nullptr, MSG_OK, MSG_OK, "Thank you for registering %s.", "P\xE9");
    EXPECT_TRUE(plain.NativeWindow()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(plain.Message(), "Thank you for registering P\xE9.");
    EXPECT_EQ(ScriptedUser::messageText(plain.NativeWindow()), "Thank you for registering Pé.");
    user.closeByTitleBar("MessageWindow").answer("MessageWindow", "OK");
    EXPECT_EQ(plain.Run(), RESULT_OK);
}

TEST(MessageWindowTest, LayoutFollowsTheCellRules)
{
    testsupport::GuiWorld world;
    MessageWindow notice("Hi", "ASTERISK", MSG_OK, MSG_OK, "x");
    const QFontMetrics metrics = notice.NativeWindow()->fontMetrics();
    const int cell = metrics.averageCharWidth(), row = metrics.height();
    EXPECT_GE(notice.NativeWindow()->width(), 19 * cell) << "one button, its gap and margins";

    MessageWindow question("Q", "question", MSG_YES | MSG_NO, MSG_YES,
                           "line one\r\nline two\n\rfour");
    QWidget* q = question.NativeWindow();
    EXPECT_EQ(q->height(), (4 + 4) * row);
    auto* icon = q->findChild<QLabel*>("ICON");
    ASSERT_NE(icon, nullptr) << "icon names are matched without regard to case";
    EXPECT_EQ(icon->pos(), QPoint(2 * cell, row));
    auto* text = q->findChild<QLabel*>("MESSAGE");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->pos(), QPoint(8 * cell, row));
    auto* yes = q->findChild<QPushButton*>("YES");
    auto* no = q->findChild<QPushButton*>("NO");
    ASSERT_TRUE(yes && no);
    EXPECT_EQ(yes->width(), 12 * cell);
    EXPECT_EQ(no->x() - yes->x(), 14 * cell);
    EXPECT_EQ(yes->x(), ((q->width() / cell - 14 * 2) / 2 + 1) * cell) << "centred";
    // The buttons sit on the row after the empty row below the four text rows.
    EXPECT_EQ(yes->geometry().center().y() / row, 4 + 2);
    EXPECT_EQ(no->y(), yes->y());

    MessageWindow bare(nullptr, "NO_SUCH_ICON", MSG_OK, MSG_OK, "x");
    EXPECT_EQ(bare.NativeWindow()->findChild<QLabel*>("MESSAGE")->x(), 2 * cell);
}

} // namespace
