#include "registrant/MethodWindow.h"

#include "registrant/ProgramRecord.h"
#include "ui/framework/EventManager.h"

namespace {

bool isChosen(const ui::UI_WINDOW_OBJECT* choice)
{
    return choice && choice->IsSelected();
}

// Exactly one flag is set; the flow tests them in the order internet, modem, mail.
RegistrationMethod only(std::int32_t RegistrationMethod::*flag)
{
    RegistrationMethod method;
    method.*flag = 1;
    return method;
}

} // namespace

MethodWindow::MethodWindow()
    : UIW_WINDOW("METHOD"), m_internet(Require("INTERNET")), m_mail(Require("MAIL")),
      m_fax(Require("FAX")), m_modem(Get("MODEM"))
{
    CentreOnScreen();
    registrantRecord().registrationMethod = only(&RegistrationMethod::internet);
    m_internet->SetSelected(true);
}

MethodWindow::~MethodWindow() = default;

ui::EVENT_TYPE MethodWindow::Event(const ui::UI_EVENT& event)
{
    RegistrationMethod& method = registrantRecord().registrationMethod;
    switch (event.type) {
    case ui::OK_EVENT:
        // With nothing chosen the flags keep the internet of the constructor.
        if (isChosen(m_internet))
            method = only(&RegistrationMethod::internet);
        else if (isChosen(m_mail))
            method = only(&RegistrationMethod::mail);
        else if (isChosen(m_fax))
            method = only(&RegistrationMethod::fax);
        else if (isChosen(m_modem))
            method = only(&RegistrationMethod::modem);
        eventManager->Put({ui::S_CLOSE});
        return UIW_WINDOW::Event(event);
    case ui::CANCEL_EVENT:
        registrationCancelled = 1;
        eventManager->Put({ui::S_CLOSE});
        return ui::CANCEL_EVENT;
    default:
        return UIW_WINDOW::Event(event);
    }
}
