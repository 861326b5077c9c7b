#pragma once

// The event manager: a queue of events above the toolkit's own event loop. Buttons put their
// codes into it; the nested loops of the program windows and message windows take them out.
//
// When a loop asks for an event and none is queued, the manager lets the toolkit run until
// one arrives. A test (or a demo) can attach an idle hook instead: it is called each time the
// program waits for the user, and acts as the user would.

#include "ui/framework/Event.h"

#include <cstddef>
#include <deque>
#include <functional>

namespace ui {

class UI_EVENT_MANAGER
{
public:
    explicit UI_EVENT_MANAGER(std::size_t queueSize = 100);

    // Puts an event at the end of the queue; false (and the event is lost) when it is full.
    bool Put(const UI_EVENT& event);

    // Takes the next event. With wait, blocks until there is one; without, returns false at
    // once when the queue is empty.
    bool Get(UI_EVENT& event, bool wait = true);

    // Lets the toolkit deliver what it has; then, when an idle hook is attached, calls it,
    // else blocks until the toolkit has something new. Every loop that waits for the user
    // goes through here.
    void WaitForUser();

    using IdleHook = std::function<void()>;
    void SetIdleHook(IdleHook hook) { m_idleHook = std::move(hook); }
    bool HasIdleHook() const { return static_cast<bool>(m_idleHook); }

    std::size_t Pending() const { return m_queue.size(); }
    std::size_t Capacity() const { return m_capacity; }

private:
    std::size_t m_capacity;
    std::deque<UI_EVENT> m_queue;
    IdleHook m_idleHook;
};

} // namespace ui
