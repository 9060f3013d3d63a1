#include "LockWait.h"

#include "platform/RegistryWait.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace vorla::platform::registry {

namespace {

constexpr std::chrono::seconds kDefaultLimit(30);
constexpr std::chrono::seconds kNoticeAfter(1);

std::atomic<RegistryWaitNotice> g_notice{nullptr};

std::chrono::milliseconds ReadLimit() {
    const char* text = std::getenv("VORLA_REGISTRY_WAIT");
    if (text != nullptr && *text != '\0') {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && seconds >= 0 && seconds <= 86400) {
            return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        }
    }
    return kDefaultLimit;
}

// Read once per process.
std::chrono::milliseconds Limit() {
    static const std::chrono::milliseconds limit = ReadLimit();
    return limit;
}

}  // namespace

LockWait::LockWait(const std::string& storeFile)
    : m_file(&storeFile),
      m_start(std::chrono::steady_clock::now()),
      m_deadline(m_start + Limit()) {}

bool LockWait::Again() {
    const auto now = std::chrono::steady_clock::now();
    if (now >= m_deadline) {
        return false;
    }
    if (!m_noticed && now - m_start >= kNoticeAfter) {
        m_noticed = true;
        if (RegistryWaitNotice notice = g_notice.load()) {
            notice(m_file->c_str());
        }
    }
    // Short sleeps first, so that a brief commit of another process costs
    // little; then no more than 10 ms, so that the lock is seen free soon.
    const int step = m_tries < 10 ? 1 : 10;
    ++m_tries;
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
    return true;
}

int LockWait::SqliteBusy(void* wait, int /*count*/) {
    return wait != nullptr && static_cast<LockWait*>(wait)->Again() ? 1 : 0;
}

}  // namespace vorla::platform::registry

namespace vorla::platform {

void SetRegistryWaitNotice(RegistryWaitNotice notice) {
    registry::g_notice.store(notice);
}

}  // namespace vorla::platform
