// The wait of one registry call for another process's lock on a store file.
#pragma once

#include <chrono>
#include <string>

namespace vorla::platform::registry {

class LockWait {
public:
    // The clock starts now; `storeFile` (which must outlive the wait) names
    // the file in the notice. Cheap: every registry call makes one.
    explicit LockWait(const std::string& storeFile);

    // Called each time the lock is found taken: sleeps a moment and returns
    // true, or false once the call has waited its limit. After a second the
    // notice (platform/RegistryWait.h) is told, once.
    bool Again();

    // The handler SQLite calls on a busy lock, with a LockWait as its
    // argument: waits as Again does.
    static int SqliteBusy(void* wait, int count);

private:
    const std::string* m_file;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_noticed = false;
    int m_tries = 0;
};

}  // namespace vorla::platform::registry
