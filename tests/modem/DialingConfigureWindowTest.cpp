// The dialing settings window, driven through its widgets by the scripted user.

#include "modem/DialingConfigureWindow.h"
#include "modem/ModemRegistration.h"
#include "tests/modem/ModemTestSupport.h"
#include "tests/support/GuiWorld.h"
#include "ui/framework/Event.h"
#include "ui/testing/ScriptedUser.h"

#include <QRadioButton>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

using ui::ScriptedUser;

namespace {

const QString window = QStringLiteral("DIALING_CONFIGURE");

class DialingConfigureWindowTest : public ::testing::Test
{
protected:
    DialingConfigureWindowTest()
    {
        resetProgramState();
        modem::resetModemState();
    }

    // Shows the window; the user must have done all of the script.
    void run(ScriptedUser& user)
    {
        ui::RunWindowModal(new DialingConfigureWindow(settings));
        EXPECT_TRUE(user.finished());
    }

    testsupport::GuiWorld world;
    RegistrationSettings settings = modemtest::defaultSettings();
};

TEST(PrefixValueTest, ReadLikeAWholeNumber)
{
    std::pair<const char*, long> cases[] = {{"  12", 12},
                                            {"+7", 7},
                                            {"-5", -5},
                                            {"81abc", 81},
                                            {"- 5", 0},
                                            {"*70", 0},
                                            {"99999999999999999999999", LONG_MAX},
                                            {"-99999999999999999999999", LONG_MIN}};
    for (auto [text, value] : cases)
        EXPECT_EQ(modem::prefixValueOf(text), value) << '"' << text << '"';
}

TEST_F(DialingConfigureWindowTest, AConfirmedPrefixBecomesTheOutsideNumber)
{
    struct Case
    {
        std::string typed;
        const char* before;
        std::string after;
        long value;
    } cases[] = {
        {"9", "", "9,", 9},
        {"*70", "8,", "8,", 0}, // no number: the outside number stays
        // The field holds 73 characters, so the prefix and its comma fit OutsideNumber.
        {std::string(80, '9'), "", std::string(73, '9') + ",", LONG_MAX},
    };
    for (const auto& c : cases) {
        settings.OutsideNumber = c.before;
        ScriptedUser user;
        user.type(window, "PREFIX", QString::fromStdString(c.typed)).press(window, ui::OK_EVENT);
        run(user);
        EXPECT_EQ(settings.OutsideNumber.str(), c.after) << c.typed;
        EXPECT_EQ(modem::outsidePrefixValue(), c.value) << c.typed;
        EXPECT_EQ(registrationCancelled, 0) << c.typed;
    }
}

TEST_F(DialingConfigureWindowTest, EveryWindowStartsAtToneWhateverWasChosenBefore)
{
    settings.Mode = 1;
    auto startsAtTone = [](QWidget* shown) {
        EXPECT_TRUE(shown->findChild<QRadioButton*>("TONE")->isChecked());
        EXPECT_FALSE(shown->findChild<QRadioButton*>("PULSE")->isChecked());
    };
    for (bool pulse : {true, false}) {
        ScriptedUser user;
        user.inspect(window, startsAtTone);
        if (pulse)
            user.choose(window, "PULSE");
        user.press(window, ui::OK_EVENT);
        run(user);
        EXPECT_EQ(modem::pulseDialingChosen(), pulse);
    }
    EXPECT_EQ(settings.Mode, 1) << "the window leaves Mode to the call";
}

TEST_F(DialingConfigureWindowTest, CancelAsksFirstAndNoKeepsTheWindowAsItWas)
{
    settings.OutsideNumber = "8,";
    ScriptedUser user;
    user.type(window, "PREFIX", "9")
        .choose(window, "PULSE")
        .press(window, ui::CANCEL_EVENT)
        .answer("Registration", "No")
        .inspect(window,
                 [](QWidget* shown) {
                     EXPECT_EQ(ScriptedUser::fieldText(shown, "PREFIX"), "9");
                     EXPECT_TRUE(shown->findChild<QRadioButton*>("PULSE")->isChecked());
                 })
        .press(window, ui::CANCEL_EVENT)
        .answer("Registration", "Yes");
    run(user);
    EXPECT_EQ(registrationCancelled, 1);
    EXPECT_EQ(settings.OutsideNumber.str(), "8,") << "nothing confirmed, nothing changed";
    EXPECT_FALSE(modem::pulseDialingChosen());
    ASSERT_GE(user.sightings().size(), 4u);
    EXPECT_EQ(user.sightings()[3].text.toStdString(),
              "Completing this registration allows you to receive technical support.\n\nThis "
              "program provides a way for you to register by using your modem or the mail.\n\n"
              "Are you sure you want to cancel?");
}

} // namespace
