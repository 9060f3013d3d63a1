#include "Events.h"

#include "Handle.h"

#include <chrono>
#include <map>

namespace vorla::platform {

namespace {

std::mutex g_eventsLock;

// Open event handles and their states. CloseHandle reaches an event through
// the handle table (EventObject::Close), which drops it from here.
std::map<HANDLE, std::shared_ptr<EventState>>& Events() {
    static auto* events = new std::map<HANDLE, std::shared_ptr<EventState>>();
    return *events;
}

class EventObject : public KernelObject {
public:
    DWORD Close() override {
        std::lock_guard<std::mutex> guard(g_eventsLock);
        Events().erase(this);
        return 0;
    }
};

}  // namespace

void EventState::Set() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_signaled = true;
    // A manual-reset event releases every waiter, an auto-reset one a single.
    if (m_manualReset) {
        m_changed.notify_all();
    } else {
        m_changed.notify_one();
    }
}

void EventState::Reset() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_signaled = false;
}

bool EventState::Wait(DWORD milliseconds) {
    std::unique_lock<std::mutex> guard(m_lock);
    auto signaled = [this] { return m_signaled; };
    if (milliseconds == INFINITE) {
        m_changed.wait(guard, signaled);
    } else if (!m_changed.wait_for(guard, std::chrono::milliseconds(milliseconds), signaled)) {
        return false;
    }
    if (!m_manualReset) {
        m_signaled = false;
    }
    return true;
}

std::shared_ptr<EventState> LookupEvent(HANDLE handle) {
    std::lock_guard<std::mutex> guard(g_eventsLock);
    auto it = Events().find(handle);
    return it != Events().end() ? it->second : nullptr;
}

}  // namespace vorla::platform

using vorla::platform::EventState;
using vorla::platform::LookupEvent;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                    BOOL bInitialState, LPCSTR lpName) {
    using namespace vorla::platform;
    // Named events would be shared between processes on Windows; this layer
    // has no such objects and says so rather than handing out a private one.
    if (lpName != nullptr && *lpName != '\0') {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto* object = new EventObject();
    HANDLE handle = RegisterHandle(object);
    std::lock_guard<std::mutex> guard(g_eventsLock);
    Events().emplace(handle,
                     std::make_shared<EventState>(bManualReset != FALSE, bInitialState != FALSE));
    return handle;
}

BOOL SetEvent(HANDLE hEvent) {
    std::shared_ptr<EventState> event = LookupEvent(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    std::shared_ptr<EventState> event = LookupEvent(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    // Only events can be waited for on POSIX; any other handle fails.
    std::shared_ptr<EventState> event = LookupEvent(hHandle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return event->Wait(dwMilliseconds) ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT);
}
