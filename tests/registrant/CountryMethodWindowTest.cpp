#include "registrant/CountryWindow.h"
#include "registrant/MethodWindow.h"

#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include <QPointer>

using namespace ui;

namespace {

// Each window is destroyed when it closes. The user chooses a choice (null: none), then leaves
// by the button of an event, Escape (-1) or the title bar (0).
// The country window keeps the choice only on OK and owns the print dialog while it is up; the
// method window sets exactly one flag (internet, modem, mail, fax), whatever was set before.
TEST(ChoiceWindowTest, TheChoiceIsStoredOnOkOnly)
{
    testsupport::GuiWorld world;
    const std::tuple<bool, const char*, int, const char*> cases[] = {
        {true, nullptr, OK_EVENT, "0"},       {true, "CANADA", OK_EVENT, "1"},
        {true, "OTHER", OK_EVENT, "2"},       {true, "OTHER", 0, "7"},
        {true, "OTHER", CANCEL_EVENT, "7"},   {true, "CANADA", -1, "7"},
        {false, nullptr, OK_EVENT, "1000"},   {false, "MAIL", OK_EVENT, "0010"},
        {false, "FAX", OK_EVENT, "0001"},     {false, "MODEM", OK_EVENT, "0100"},
        {false, "MAIL", CANCEL_EVENT, "1000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        const auto& [country, choose, how, expected] = c;
        resetProgramState();
        registrantRecord().CountryChoice = 7;
        registrantRecord().registrationMethod = {1, 1, 1, 1};
        UIW_WINDOW* window = country ? static_cast<UIW_WINDOW*>(new CountryWindow)
                                     : static_cast<UIW_WINDOW*>(new MethodWindow);
        const char* name = country ? "COUNTRY" : "METHOD";
        QPointer<QWidget> native = window->NativeWindow();
        EXPECT_EQ(printDialogOwner(), country ? window->NativeWindow() : nullptr);
        ScriptedUser user;
        if (choose)
            user.choose(name, choose);
        if (how > 0)
            user.press(name, how);
        else if (how < 0)
            user.key(name, Qt::Key_Escape);
        else
            user.closeByTitleBar(name);
        RunWindowModal(window);
        EXPECT_TRUE(user.finished());
        EXPECT_TRUE(native.isNull());
        EXPECT_EQ(printDialogOwner(), nullptr) << "the owner went with the window";
        const RegistrationMethod& m = registrantRecord().registrationMethod;
        EXPECT_EQ(country ? std::to_string(registrantRecord().CountryChoice)
                          : std::to_string(m.internet) + std::to_string(m.modem) +
                                std::to_string(m.mail) + std::to_string(m.fax),
                  expected);
        EXPECT_EQ(registrationCancelled, !country && how == CANCEL_EVENT ? 1 : 0);
    }
}

} // namespace
