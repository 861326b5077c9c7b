#include "registrant/CountryWindow.h"
#include "registrant/DataWindow.h"
#include "registrant/MethodWindow.h"

#include "BuildConfig.h"
#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "tests/support/GuiWorld.h"

#include <QLineEdit>
#include <QPointer>

#include <optional>

namespace fs = std::filesystem;
using namespace ui;
using testing::_;
using testing::ElementsAre;

namespace {

const std::string storeWarning = "Wait! | Please enter the store you where you purchased\n"
                                 "Pantrix Morsels in the Where Purchased field.";
const std::string mandatoryNotice = "Wait! | You have left a mandatory field empty.  Please "
                                    "enter the correct information for ";

const char* const fields[] = {"FIRST_NAME", "LAST_NAME", "STREET", "CITY",          "STATE",
                              "ZIP",        "PHONE",     "EMAIL",  "PURCHASED_FROM"};
const char* const goodAnswers[] = {"Ann",   "Smith",      "1 Main St",       "Springfield", "IL",
                                   "62701", "5551234567", "ann@example.com", "Corner Shop"};

class DataWindowTest : public ::testing::Test
{
protected:
    DataWindowTest()
    {
        resetProgramState();
        programDirectory = world.files().programDir().string();
        clock.setToday(2024, 6, 15);
    }

    // Types the good answers except the fields named in skip, then the changes.
    ScriptedUser& fill(const std::string& skip = "",
                       const std::vector<std::pair<const char*, QString>>& changes = {})
    {
        for (std::size_t i = 0; i < std::size(fields); ++i)
            if (skip.find(fields[i]) == std::string::npos)
                user->type("DATA_WINDOW", fields[i], goodAnswers[i]);
        for (const auto& [field, value] : changes)
            user->type("DATA_WINDOW", field, value);
        return *user;
    }
    void look(std::function<void(QWidget*)> check) { user->inspect("DATA_WINDOW", check); }
    // Runs a new form with the script; true when the form closed.
    bool run()
    {
        auto* form = new DataWindow;
        QPointer<QWidget> native = form->NativeWindow();
        RunWindowModal(form);
        EXPECT_TRUE(user->finished()) << user->stepsLeft() << " steps left";
        return native.isNull();
    }
    std::string oldinfo() { return world.files().readFile("oldinfo"); }

    testsupport::GuiWorld world;
    testsupport::FakeClock clock;
    std::optional<ScriptedUser> user{std::in_place};
};

// The country field shows the choice's country and is open only for another country.
TEST_F(DataWindowTest, MandatoryFieldsAreCheckedInOrder)
{
    const std::tuple<std::int32_t, const char*, QString, const char*, const char*> cases[] = {
        {countryUsa, "FIRST_NAME", "Store 99", "First Name", "FIRST_NAME"},
        {countryUsa, "LAST_NAME ZIP", "", "Last Name", "LAST_NAME"},
        {countryCanada, "STREET PHONE", "", "Address", "STREET"},
        {countryUsa, "CITY", "", "City", "CITY"},
        {countryUsa, "STATE ZIP", "", "State", "STATE"},
        {countryOther, "ZIP", "", "Country", "COUNTRY"},
        {countryUsa, "ZIP", "5551234", "Zip Code", "ZIP"},
        {countryUsa, "", "5551234", "Phone Number", "PHONE"},
        {countryUsa, "", "555123456", "Phone Number", "PHONE"}};
    for (const auto& [country, skip, text, label, field] : cases) {
        SCOPED_TRACE(label);
        const bool store = text.startsWith("Store");
        resetProgramState();
        registrantRecord().CountryChoice = country;
        user.emplace(); // the old script lets go of the event manager first
        fill(skip, {{store ? "PURCHASED_FROM" : "PHONE", text.isEmpty() ? "5551234567" : text}})
            .press("DATA_WINDOW", OK_EVENT)
            .answer("Wait!", "OK");
        if (store)
            user->press("DATA_WINDOW", OK_EVENT).answer("Wait!", "OK");
        look([&](QWidget* window) {
            EXPECT_EQ(window->focusWidget(), window->findChild<QWidget*>(field));
            EXPECT_EQ(ScriptedUser::fieldText(window, "COUNTRY"),
                      QString("USA|Canada|").split('|')[country]);
            EXPECT_EQ(window->findChild<QWidget*>("COUNTRY")->isEnabled(), country == countryOther);
        });
        user->closeByTitleBar("DATA_WINDOW");
        EXPECT_TRUE(run());
        const std::string notice = mandatoryNotice + label + ".";
        EXPECT_EQ(testsupport::boxesSeen(*user),
                  (store ? std::vector{storeWarning, notice} : std::vector{notice}));
        EXPECT_EQ(registrationCancelled, 0) << "every OK clears it, a rejected one too";
        EXPECT_FALSE(world.files().exists("oldinfo"));
    }
}

TEST_F(DataWindowTest, CancelAsksOnlyYesClosesAndOkWritesTheFile)
{
    world.files().writeFile("oldinfo", "\r\nOld\r\n");
    fs::permissions("oldinfo", fs::perms(0444));
    user->press("DATA_WINDOW", CANCEL_EVENT).answer("Registration", "No");
    look([](QWidget*) { EXPECT_EQ(registrationCancelled, 1); });
    user->press("DATA_WINDOW", CANCEL_EVENT).closeByTitleBar("Registration");
    // Non-Windows-1252 characters are refused as typed; pasted text is cut to the record, cleaned.
    fill("", {{"FIRST_NAME", QStringLiteral("Zoë")},
              {"CITY", QStringLiteral("北京Köln😀")},
              {"PURCHASED_FROM", "Store 2001"}});
    look([](QWidget* window) {
        qobject_cast<QLineEdit*>(window->findChild<QWidget*>("LAST_NAME"))->setMaxLength(32767);
    });
    for (const char* field : {"LAST_NAME", "REASON_PURCHASED"})
        user->paste("DATA_WINDOW", field, QString(500, QLatin1Char('w')));
    user->paste("DATA_WINDOW", "PHONE", "555123456789012345");
    user->paste("DATA_WINDOW", "STREET", "1 Main St\nApt 2\x1A");
    // The store warning comes once; an unwritable file keeps the form open and tells the buyer.
    user->press("DATA_WINDOW", OK_EVENT).answer("Wait!", "OK");
    user->press("DATA_WINDOW", OK_EVENT).answer("Error!", "OK");
    look([&](QWidget*) {
        EXPECT_EQ(registrationCancelled, 0);
        EXPECT_EQ(oldinfo(), "\r\nOld\r\n");
        fs::permissions("oldinfo", fs::perms(0644));
    });
    user->press("DATA_WINDOW", OK_EVENT);
    EXPECT_TRUE(run());
    EXPECT_THAT(testsupport::boxesSeen(*user),
                ElementsAre(_, _, storeWarning,
                            "Error! | Your registration information could not be saved in\n" +
                                (world.files().programDir() / "oldinfo").string() +
                                ".\n\nPlease make sure that folder can be written to, then "
                                "press OK again."));
    EXPECT_EQ(oldinfo(), "\r\nZo\xEB\r\n" + std::string(149, 'w') +
                             "\r\n1 Main St Apt 2 \r\nK\xF6ln\r\nIL\r\n62701\r\n(555) 123-4567\r\n"
                             "USA\r\nann@example.com\r\n123456\r\nStore 2001\r\n" +
                             std::string(74, 'w') + "\r\n6/15/2024\r\n" + config::productVersion +
                             "\r\nOS: \r\n" + config::productName + "\r\n1");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 1) << "no temporary file stays";

    // The answers come back; Yes closes the form, and neither the record nor the file changes.
    const std::string previous = oldinfo() + "\n3";
    world.files().writeFile("oldinfo", previous);
    resetProgramState();
    registrantRecord().CountryChoice = countryOther; // the stored country wins, the field is open
    user.emplace();
    look([](QWidget* window) {
        EXPECT_EQ(registrationCancelled, 1) << "until the buyer presses OK";
        EXPECT_TRUE(window->findChild<QWidget*>("COUNTRY")->isEnabled());
        EXPECT_EQ(ScriptedUser::fieldText(window, "COUNTRY"), "USA");
        EXPECT_EQ(ScriptedUser::fieldText(window, "FIRST_NAME"), QStringLiteral("Zoë"));
        EXPECT_EQ(ScriptedUser::fieldText(window, "PURCHASED_FROM"), "Store 2001");
    });
    user->type("DATA_WINDOW", "FIRST_NAME", "Changed")
        .press("DATA_WINDOW", CANCEL_EVENT)
        .answer("Registration", "Yes");
    EXPECT_TRUE(run());
    EXPECT_EQ(registrationCancelled, 1);
    EXPECT_TRUE(registrantRecord().firstname.empty());
    EXPECT_EQ(oldinfo(), previous);
}

// A choice (null: none), then the button of an event, Escape (-1) or the title bar (0). The country
// window keeps the choice on OK only; the method window sets exactly one flag.
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
