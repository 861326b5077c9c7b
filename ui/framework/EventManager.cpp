#include "ui/framework/EventManager.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace ui {

UI_EVENT_MANAGER::UI_EVENT_MANAGER(std::size_t queueSize) : m_capacity(queueSize) {}

bool UI_EVENT_MANAGER::Put(const UI_EVENT& event)
{
    if (m_queue.size() >= m_capacity)
        return false;
    m_queue.push_back(event);
    return true;
}

bool UI_EVENT_MANAGER::Get(UI_EVENT& event, bool wait)
{
    for (;;) {
        QCoreApplication::processEvents();
        if (!m_queue.empty()) {
            event = m_queue.front();
            m_queue.pop_front();
            return true;
        }
        if (!wait)
            return false;
        WaitForUser();
    }
}

void UI_EVENT_MANAGER::WaitForUser()
{
    QCoreApplication::processEvents();
    if (m_idleHook) {
        // Copied, because the hook may replace or remove itself.
        IdleHook hook = m_idleHook;
        hook();
    } else {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace ui
