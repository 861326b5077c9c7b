#include "ui/framework/QtDesktop.h"

#include "ui/framework/Ansi.h"
#include "ui/framework/EventManager.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace ui {

QtDesktop::QtDesktop(UI_EVENT_MANAGER& eventManager) : m_eventManager(eventManager)
{
    platform::setDesktop(this);
}

QtDesktop::~QtDesktop()
{
    platform::setDesktop(nullptr);
}

void QtDesktop::pumpMessages(std::uint32_t maxWaitMs)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(maxWaitMs));
}

void QtDesktop::beep()
{
    QApplication::beep();
}

int QtDesktop::messageBox(const std::string& text, const std::string& caption, unsigned style)
{
    QPointer<QMessageBox> box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(fromAnsi(caption));
    box->setText(fromAnsi(text));
    box->setIcon((style & platform::MB_ICONHAND) ? QMessageBox::Critical : QMessageBox::NoIcon);
    box->setStandardButtons(QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    while (box && box->isVisible())
        m_eventManager.WaitForUser();
    if (box)
        box->deleteLater();
    return platform::IDOK;
}

} // namespace ui
