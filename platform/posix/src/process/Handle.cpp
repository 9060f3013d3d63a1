#include "Handle.h"

#include <mutex>
#include <unordered_set>

namespace vorla::platform {

namespace {

std::mutex g_handleLock;

std::unordered_set<KernelObject*>& LiveObjects() {
    static auto* live = new std::unordered_set<KernelObject*>();
    return *live;
}

}  // namespace

HANDLE RegisterHandle(KernelObject* object) {
    std::lock_guard<std::mutex> lock(g_handleLock);
    LiveObjects().insert(object);
    return object;
}

KernelObject* LookupHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_handleLock);
    auto* object = static_cast<KernelObject*>(handle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || LiveObjects().count(object) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

}  // namespace vorla::platform

BOOL CloseHandle(HANDLE hObject) {
    using namespace vorla::platform;
    KernelObject* object = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_handleLock);
        auto* candidate = static_cast<KernelObject*>(hObject);
        auto& live = LiveObjects();
        auto it = live.find(candidate);
        if (it == live.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        live.erase(it);
        object = candidate;
    }
    DWORD status = object->Close();
    delete object;
    if (status != 0) {
        SetLastError(status);
        return FALSE;
    }
    return TRUE;
}
