#include "registrant/DataWindow.h"

#include "BuildConfig.h"
#include "registrant/CancelQuestion.h"
#include "registrant/InformationFile.h"
#include "registrant/ProgramRecord.h"
#include "ui/MessageWindow.h"
#include "ui/framework/Ansi.h"
#include "ui/framework/EventManager.h"

#include <QString>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

constexpr const char* reasonsPurchased[] = {
    "Saw display in store.",     "Advertisement.", "Brochure.", "Referral.", "Saw in store demo.",
    "Found it on the Internet.", "Other.",
};

// The PHONE template "(999) 999-9999" has its digit places here; all ten must be filled.
constexpr std::size_t phoneDigitPlaces[] = {1, 2, 3, 6, 7, 8, 10, 11, 12, 13};

bool phoneIsComplete(std::string_view phone)
{
    return std::all_of(
        std::begin(phoneDigitPlaces), std::end(phoneDigitPlaces), [phone](std::size_t place) {
            return place < phone.size() && phone[place] >= '0' && phone[place] <= '9';
        });
}

// Buyers tend to put the year of the purchase into Where Purchased instead of the store; these
// pairs of digits give that away.
bool looksLikeNoStore(std::string_view purchasedFrom)
{
    for (std::string_view pair : {"99", "00", "01", "02", "03", "04", "05", "06"}) {
        if (purchasedFrom.find(pair) != std::string_view::npos)
            return true;
    }
    return false;
}

// The text of a field as the record takes it. A paste can bring line breaks into a one-line
// field; in the information file they would move every following value onto another line (and
// a Ctrl-Z would end the file there), so control characters become blanks.
std::string recordText(const ui::UI_WINDOW_OBJECT* field)
{
    std::string text = field->DataGet();
    std::replace_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return text;
}

} // namespace

DataWindow::DataWindow()
    : UIW_WINDOW("DATA_WINDOW"), m_firstName(Require("FIRST_NAME")),
      m_lastName(Require("LAST_NAME")), m_street(Require("STREET")), m_city(Require("CITY")),
      m_state(Require("STATE")), m_zip(Require("ZIP")), m_phone(Require("PHONE")),
      m_country(Require("COUNTRY")), m_email(Require("EMAIL")),
      m_purchasedFrom(Require("PURCHASED_FROM")), m_reasonPurchased(Require("REASON_PURCHASED"))
{
    switch (registrantRecord().CountryChoice) {
    case countryOther:
        // The definition keeps the field closed; elsewhere the buyer types the country.
        m_country->SetFlags(m_country->Flags() & ~ui::WOF_NON_SELECTABLE);
        m_country->NotifyFlagsChanged();
        break;
    case countryCanada:
        m_country->DataSet("Canada");
        break;
    default:
        m_country->DataSet("USA");
        break;
    }
    for (const char* reason : reasonsPurchased)
        m_reasonPurchased->Add(reason);
    CentreOnScreen();
    registrationCancelled = 1;

    // The previous answers; a stored country wins over the preset, and the field keeps the
    // selectability the preset gave it.
    for (const FieldValue& value : loadPreviousAnswers("oldinfo")) {
        if (ui::UI_WINDOW_OBJECT* field = Get(value.field))
            field->DataSet(value.value);
    }
}

DataWindow::~DataWindow() = default;

ui::EVENT_TYPE DataWindow::Event(const ui::UI_EVENT& event)
{
    switch (event.type) {
    case ui::OK_EVENT:
        if (AcceptForm())
            eventManager->Put({ui::S_CLOSE});
        registrationCancelled = 0;
        return ui::OK_EVENT;
    case ui::CANCEL_EVENT:
        // Cancelled from here on, whatever the answer.
        registrationCancelled = 1;
        if (confirmCancelRegistration())
            eventManager->Put({ui::S_CLOSE});
        return ui::CANCEL_EVENT;
    default:
        return UIW_WINDOW::Event(event);
    }
}

bool DataWindow::AcceptForm()
{
    // The record takes the entries before the checks, so a rejected attempt stays in it.
    RegistrantRecord& record = registrantRecord();
    record.firstname = recordText(m_firstName);
    record.lastname = recordText(m_lastName);
    record.street = recordText(m_street);
    record.city = recordText(m_city);
    record.state = recordText(m_state);
    record.zip = recordText(m_zip);
    record.phone = recordText(m_phone);
    record.country = recordText(m_country);
    record.email = recordText(m_email);
    record.sendmailings = 1;
    record.serialnumber = 123456;
    record.purchasedfrom = recordText(m_purchasedFrom);
    record.reasonpurchased = recordText(m_reasonPurchased);

    const struct
    {
        bool missing;
        ui::UI_WINDOW_OBJECT* field;
        const char* label;
    } mandatory[] = {
        {record.firstname.empty(), m_firstName, "First Name"},
        {record.lastname.empty(), m_lastName, "Last Name"},
        {record.street.empty(), m_street, "Address"},
        {record.city.empty(), m_city, "City"},
        {record.state.empty(), m_state, "State"},
        {record.country.empty(), m_country, "Country"},
        {record.zip.empty(), m_zip, "Zip Code"},
        {!phoneIsComplete(record.phone.view()), m_phone, "Phone Number"},
    };
    const char* missingLabel = nullptr;
    for (const auto& check : mandatory) {
        if (check.missing) {
            check.field->MakeCurrent();
            missingLabel = check.label;
            break;
        }
    }

    // The store warning comes once per run and takes precedence over the mandatory message.
    if (storeWarningPending && looksLikeNoStore(record.purchasedfrom.view())) {
        ui::MessageWindow warning(
            "Wait!", "HAND", ui::MSG_OK, ui::MSG_OK,
            "Please enter the store you where you purchased\r\n%s in the Where Purchased field.",
            config::productName);
        warning.Run();
        storeWarningPending = 0;
        return false;
    }
    if (missingLabel) {
        ui::MessageWindow notice(
            "Wait!", "HAND", ui::MSG_OK, ui::MSG_OK,
            "You have left a mandatory field empty.  Please enter the correct information for %s.",
            missingLabel);
        notice.Run();
        return false;
    }

    // A form that closed although its answers were not saved would let a channel send the
    // previous run's file as if it were this one.
    if (!WriteInformationFile()) {
        std::string path =
            ui::toAnsi(QString::fromLocal8Bit(QByteArray::fromStdString(informationFilePath())));
        ui::MessageWindow error("Error!", "EXCLAMATION", ui::MSG_OK, ui::MSG_OK,
                                "Your registration information could not be saved in\r\n%s."
                                "\r\n\r\nPlease make sure that folder can be written to, then "
                                "press OK again.",
                                path.c_str());
        error.Run();
        return false;
    }
    return true;
}
