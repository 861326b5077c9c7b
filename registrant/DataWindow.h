#pragma once

// The registrant form: name, address, contact and purchase details. It opens with the country
// preset from the country window and the previous answers from the information file; OK checks
// the entries, copies them into the record and saves the information file; Cancel asks first.
// When it closes, registrationCancelled tells the flow which of the two happened: 0 after OK,
// 1 after Cancel.

#include "ui/framework/Window.h"

class DataWindow : public ui::UIW_WINDOW
{
public:
    // Builds the window from the definition "DATA_WINDOW" and fills it: the country preset,
    // the reasons for the purchase, the previous answers. Sets registrationCancelled until the
    // buyer presses OK.
    DataWindow();
    ~DataWindow() override;

    ui::EVENT_TYPE Event(const ui::UI_EVENT& event) override;

private:
    // Copies the fields into the record, checks them, and when they pass writes the
    // information file. False keeps the form open: a check failed (the buyer has been told
    // and the focus is on the field to mend) or the file could not be written.
    bool AcceptForm();

    // The form's fields, by identifier.
    ui::UI_WINDOW_OBJECT* m_firstName;
    ui::UI_WINDOW_OBJECT* m_lastName;
    ui::UI_WINDOW_OBJECT* m_street;
    ui::UI_WINDOW_OBJECT* m_city;
    ui::UI_WINDOW_OBJECT* m_state;
    ui::UI_WINDOW_OBJECT* m_zip;
    ui::UI_WINDOW_OBJECT* m_phone; // a template of 14 characters, "(999) 999-9999"
    ui::UI_WINDOW_OBJECT* m_country;
    ui::UI_WINDOW_OBJECT* m_email;
    ui::UI_WINDOW_OBJECT* m_purchasedFrom;
    ui::UI_WINDOW_OBJECT* m_reasonPurchased; // a combination box
};
