// Event objects of the POSIX platform layer (CreateEventA and friends).
//
// The state of an event lives apart from its handle, so that a waiter or a
// registry notification still holding it is safe when the handle is closed
// under it.
#pragma once

#include "platform/Win32.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vorla::platform {

class EventState {
public:
    explicit EventState(bool manualReset, bool signaled)
        : m_manualReset(manualReset), m_signaled(signaled) {}

    void Set();
    void Reset();
    // True when the event was signaled within `milliseconds` (INFINITE waits
    // for ever). An auto-reset event is reset by the wait that sees it.
    bool Wait(DWORD milliseconds);

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_manualReset;
    bool m_signaled;
};

// The state of the event behind `handle`, or null when it is not an open
// event handle.
std::shared_ptr<EventState> LookupEvent(HANDLE handle);

}  // namespace vorla::platform
