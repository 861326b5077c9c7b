#include "registrant/CountryWindow.h"

#include "registrant/PrintDialogOwner.h"
#include "registrant/ProgramRecord.h"
#include "ui/framework/EventManager.h"

namespace {

bool isChosen(const ui::UI_WINDOW_OBJECT* choice)
{
    return choice && choice->IsSelected();
}

} // namespace

CountryWindow::CountryWindow()
    : UIW_WINDOW("COUNTRY"), m_usa(Require("USA")), m_canada(Require("CANADA")),
      m_other(Require("OTHER"))
{
    m_usa->SetSelected(true);
    CentreOnScreen();
    // The print dialog comes much later, when this window is gone; the owner is kept guarded
    // and the dialog does without one then.
    setPrintDialogOwner(NativeWindow());
}

CountryWindow::~CountryWindow() = default;

ui::EVENT_TYPE CountryWindow::Event(const ui::UI_EVENT& event)
{
    switch (event.type) {
    case ui::OK_EVENT:
        if (isChosen(m_usa))
            registrantRecord().CountryChoice = countryUsa;
        else if (isChosen(m_canada))
            registrantRecord().CountryChoice = countryCanada;
        else if (isChosen(m_other))
            registrantRecord().CountryChoice = countryOther;
        eventManager->Put({ui::S_CLOSE});
        break;
    case ui::CANCEL_EVENT:
        // A Cancel button that did nothing would leave the buyer only the title bar; closing
        // without a choice is what every other way out of this window does.
        eventManager->Put({ui::S_CLOSE});
        break;
    default:
        break;
    }
    return UIW_WINDOW::Event(event);
}
