#include "registrant/CountryWindow.h"
#include "registrant/MethodWindow.h"

#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"
#include "ui/testing/ScriptedUser.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using namespace ui;

namespace {

class ChoiceWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetProgramState();
        programDirectory = world.files().programDir().string();
    }

    // Runs the window under a script; true when the window was destroyed when it closed.
    bool run(UIW_WINDOW* window, const std::function<void(ScriptedUser&)>& script)
    {
        QPointer<QWidget> native = window->NativeWindow();
        ScriptedUser user;
        script(user);
        RunWindowModal(window);
        EXPECT_TRUE(user.finished());
        return native.isNull();
    }

    testsupport::GuiWorld world;
};

// The window in front is centred on the screen (give or take its frame) with this choice made.
void expectCentredWith(QWidget* window, const char* choice)
{
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(window->geometry().center().x() - screen.center().x()), 4);
    EXPECT_LE(std::abs(window->geometry().center().y() - screen.center().y()), 4);
    EXPECT_TRUE(window->findChild<QAbstractButton*>(choice)->isChecked());
}

TEST_F(ChoiceWindowTest, CountryOkStoresTheChoiceAndOtherExitsKeepIt)
{
    struct Case
    {
        const char* choose; // null: the preselected one
        std::function<void(ScriptedUser&)> leave;
        std::int32_t choice;
    } cases[] = {
        {nullptr, [](ScriptedUser& user) { user.press("COUNTRY", OK_EVENT); }, countryUsa},
        {"CANADA", [](ScriptedUser& user) { user.press("COUNTRY", OK_EVENT); }, countryCanada},
        {"OTHER", [](ScriptedUser& user) { user.press("COUNTRY", OK_EVENT); }, countryOther},
        {"OTHER", [](ScriptedUser& user) { user.closeByTitleBar("COUNTRY"); }, 7},
        {"OTHER", [](ScriptedUser& user) { user.press("COUNTRY", CANCEL_EVENT); }, 7},
        {"CANADA", [](ScriptedUser& user) { user.key("COUNTRY", Qt::Key_Escape); }, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.choose ? c.choose : "preselected") + " " +
                     std::to_string(c.choice));
        registrantRecord().CountryChoice = 7;
        auto* window = new CountryWindow;
        EXPECT_EQ(printDialogOwner(), window->NativeWindow());
        EXPECT_TRUE(run(window, [&](ScriptedUser& user) {
            user.inspect("COUNTRY", [](QWidget* front) { expectCentredWith(front, "USA"); });
            if (c.choose)
                user.choose("COUNTRY", c.choose);
            c.leave(user);
        }));
        EXPECT_EQ(registrantRecord().CountryChoice, c.choice);
        EXPECT_EQ(printDialogOwner(), nullptr) << "the owner went with the window";
    }
}

TEST_F(ChoiceWindowTest, MethodWindowSetsExactlyOneFlag)
{
    struct Case
    {
        const char* choose; // null: the preselected one
        int event;
        RegistrationMethod expected; // internet, modem, mail, fax
        std::int32_t cancelled;
    } cases[] = {
        {nullptr, OK_EVENT, {1, 0, 0, 0}, 0},    {"MAIL", OK_EVENT, {0, 0, 1, 0}, 0},
        {"FAX", OK_EVENT, {0, 0, 0, 1}, 0},      {"MODEM", OK_EVENT, {0, 1, 0, 0}, 0},
        {"INTERNET", OK_EVENT, {1, 0, 0, 0}, 0}, {"MAIL", CANCEL_EVENT, {1, 0, 0, 0}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.choose ? c.choose : "preselected") + " " +
                     std::to_string(c.event));
        registrationCancelled = 0;
        registrantRecord().registrationMethod = {1, 1, 1, 1};
        EXPECT_TRUE(run(new MethodWindow, [&](ScriptedUser& user) {
            // Each window starts afresh, whatever an earlier one chose.
            user.inspect("METHOD", [](QWidget* front) { expectCentredWith(front, "INTERNET"); });
            if (c.choose)
                user.choose("METHOD", c.choose);
            user.press("METHOD", c.event);
        }));
        const RegistrationMethod& method = registrantRecord().registrationMethod;
        EXPECT_EQ(method.internet, c.expected.internet);
        EXPECT_EQ(method.modem, c.expected.modem);
        EXPECT_EQ(method.mail, c.expected.mail);
        EXPECT_EQ(method.fax, c.expected.fax);
        EXPECT_EQ(registrationCancelled, c.cancelled);
    }
}

} // namespace
