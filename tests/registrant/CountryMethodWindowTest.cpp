#include "registrant/CountryWindow.h"
#include "registrant/MethodWindow.h"

#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

using namespace ui;

namespace {

class ChoiceWindowTest : public ::testing::Test
{
protected:
    void SetUp() override { resetProgramState(); }

    // Runs the window, which must come up centred with preset chosen and be destroyed when it
    // closes. The user chooses choose (null: nothing), then leaves by how: the button of an
    // event, Escape (-1) or the title bar (0).
    void run(UIW_WINDOW* window, const char* name, const char* preset, const char* choose, int how)
    {
        QPointer<QWidget> native = window->NativeWindow();
        ScriptedUser user;
        user.inspect(name, [preset](QWidget* front) {
            QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            EXPECT_LE(std::abs(front->geometry().center().x() - screen.center().x()), 4);
            EXPECT_LE(std::abs(front->geometry().center().y() - screen.center().y()), 4);
            EXPECT_TRUE(front->findChild<QAbstractButton*>(preset)->isChecked());
        });
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
    }

    testsupport::GuiWorld world;
};

TEST_F(ChoiceWindowTest, CountryOkStoresTheChoiceAndOtherExitsKeepIt)
{
    const std::tuple<const char*, int, std::int32_t> cases[] = {
        {nullptr, OK_EVENT, countryUsa},   {"CANADA", OK_EVENT, countryCanada},
        {"OTHER", OK_EVENT, countryOther}, {"OTHER", 0, 7},
        {"OTHER", CANCEL_EVENT, 7},        {"CANADA", -1, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        const auto& [choose, how, choice] = c;
        registrantRecord().CountryChoice = 7;
        auto* window = new CountryWindow;
        EXPECT_EQ(printDialogOwner(), window->NativeWindow());
        run(window, "COUNTRY", "USA", choose, how);
        EXPECT_EQ(registrantRecord().CountryChoice, choice);
        EXPECT_EQ(printDialogOwner(), nullptr) << "the owner went with the window";
    }
}

TEST_F(ChoiceWindowTest, MethodWindowSetsExactlyOneFlag)
{
    const std::tuple<const char*, int, const char*> cases[] = {
        {nullptr, OK_EVENT, "1000"}, {"MAIL", OK_EVENT, "0010"},     {"FAX", OK_EVENT, "0001"},
        {"MODEM", OK_EVENT, "0100"}, {"MAIL", CANCEL_EVENT, "1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        const auto& [choose, how, flags] = c; // internet, modem, mail, fax
        registrationCancelled = 0;
        registrantRecord().registrationMethod = {1, 1, 1, 1};
        run(new MethodWindow, "METHOD", "INTERNET", choose, how); // each starts afresh
        const RegistrationMethod& m = registrantRecord().registrationMethod;
        EXPECT_EQ(std::to_string(m.internet) + std::to_string(m.modem) + std::to_string(m.mail) +
                      std::to_string(m.fax),
                  flags);
        EXPECT_EQ(registrationCancelled, how == CANCEL_EVENT ? 1 : 0);
    }
}

} // namespace
