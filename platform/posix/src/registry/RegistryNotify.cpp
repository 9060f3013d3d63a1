// RegNotifyChangeKeyValue over the hive stores.
//
// Every change to a key stamps it with a change number that no earlier
// change of it had (see Store::NoteChange), so a change made by any process
// shows in the stamps; a watch on a tree folds the stamps of all its keys. A
// registration takes the stamps and polls them until a stamp that the filter
// names moves, the key is deleted, or the handle is closed; it then fires
// once.
#include "Events.h"
#include "RegistryHandles.h"

#include <chrono>
#include <thread>

using namespace vorla::platform::registry;

namespace {

// How often a registration looks at the store: short enough that a change is
// seen promptly, long enough that a waiting registration costs little.
constexpr auto kPollInterval = std::chrono::milliseconds(15);

// REG_NOTIFY_THREAD_AGNOSTIC (Windows 8 and later) only says which thread's
// exit ends the registration; here registrations end by firing or closing.
constexpr DWORD kThreadAgnostic = 0x10000000L;

struct Registration {
    std::shared_ptr<Store> store;
    int64_t key;
    bool subtree;
    DWORD filter;
    KeyStamps start;
    std::shared_ptr<std::atomic<bool>> closed;
};

bool Changed(const Registration& r, const KeyStamps& now) {
    // REG_NOTIFY_CHANGE_ATTRIBUTES has nothing to watch: keys here have no
    // attributes that change after creation.
    if ((r.filter & REG_NOTIFY_CHANGE_NAME) &&
        (r.subtree ? now.treeName != r.start.treeName : now.name != r.start.name)) {
        return true;
    }
    if ((r.filter & REG_NOTIFY_CHANGE_LAST_SET) &&
        (r.subtree ? now.treeValue != r.start.treeValue : now.value != r.start.value)) {
        return true;
    }
    return (r.filter & REG_NOTIFY_CHANGE_SECURITY) &&
           (r.subtree ? now.treeSecurity != r.start.treeSecurity
                      : now.security != r.start.security);
}

// Waits until the registration fires. True when it fired for a change (or
// the key's deletion), false when the handle was closed first.
bool WaitForChange(const Registration& r) {
    for (;;) {
        if (r.closed->load()) {
            return false;
        }
        bool fired = false;
        try {
            r.store->Run(Store::Mode::Read,
                         [&] { fired = Changed(r, r.store->Stamps(r.key, r.subtree)); });
        } catch (const StoreError&) {
            // A deleted key is a change too; any other failure also ends the
            // wait rather than spin on a broken store.
            return true;
        } catch (const StoreBusy&) {
        }
        if (fired) {
            return true;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace

LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                             BOOL fAsynchronous) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, KEY_NOTIFY, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // Changes to the host's configuration files are not watched, nor
        // keys that only the view has (key 0).
        if (h->key == 0) {
            return ERROR_NOT_SUPPORTED;
        }
        DWORD filter = dwNotifyFilter & ~static_cast<DWORD>(kThreadAgnostic);
        if (filter == 0 || (filter & ~static_cast<DWORD>(REG_LEGAL_CHANGE_FILTER)) != 0) {
            return ERROR_INVALID_PARAMETER;
        }
        std::shared_ptr<vorla::platform::EventState> event;
        if (fAsynchronous) {
            event = vorla::platform::LookupEvent(hEvent);
            if (!event) {
                return ERROR_INVALID_HANDLE;
            }
        }
        // The registration polls through a connection of its own.
        Registration r{h->store->Reopen(), h->key, bWatchSubtree != FALSE, filter, {}, h->closed};
        r.store->Run(Store::Mode::Read, [&] { r.start = r.store->Stamps(r.key, r.subtree); });
        if (!fAsynchronous) {
            // Blocks the caller; a handle closed by another thread ends the
            // wait with ERROR_INVALID_HANDLE.
            return WaitForChange(r) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
        }
        // One thread per asynchronous registration; it holds the store and
        // the event state itself, so closing the key or event handle while it
        // waits is safe. Closing the key handle signals the event, as Windows
        // completes a pending notification when its handle is closed.
        // Its connection is closed before the event is set, so that a waiter
        // woken by the event never finds this thread still inside SQLite
        // (a fork(2) at that moment would leave the child SQLite's locks).
        std::thread([r, event]() mutable {
            WaitForChange(r);
            r.store.reset();
            event->Set();
        }).detach();
        return ERROR_SUCCESS;
    });
}
