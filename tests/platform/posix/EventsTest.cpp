// The platform's event objects, which asynchronous registry notification
// signals.
#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

TEST(Events, StatesAndWaits) {
    struct Row {
        const char* what;
        BOOL manual;
        BOOL initial;
        std::vector<DWORD> waits;  // results of successive 0 ms waits
    };
    const DWORD signaled = WAIT_OBJECT_0, timeout = WAIT_TIMEOUT;
    const std::vector<Row> rows = {
        {"manual, set", TRUE, TRUE, {signaled, signaled}},
        {"manual, clear", TRUE, FALSE, {timeout, timeout}},
        {"auto, set: one wait takes it", FALSE, TRUE, {signaled, timeout}},
        {"auto, clear", FALSE, FALSE, {timeout}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HANDLE event = CreateEventA(nullptr, row.manual, row.initial, nullptr);
        ASSERT_NE(nullptr, event);
        for (DWORD expected : row.waits) {
            EXPECT_EQ(expected, WaitForSingleObject(event, 0));
        }
        EXPECT_TRUE(SetEvent(event));
        EXPECT_EQ(signaled, WaitForSingleObject(event, 0));
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(timeout, WaitForSingleObject(event, 20));
        EXPECT_TRUE(CloseHandle(event));
    }
}

TEST(Events, ManualResetReleasesEveryWaiterAutoResetOne) {
    for (BOOL manual : {TRUE, FALSE}) {
        SCOPED_TRACE(manual ? "manual" : "auto");
        HANDLE event = CreateEventA(nullptr, manual, FALSE, nullptr);
        std::atomic<int> woken{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i) {
            waiters.emplace_back([&] {
                if (WaitForSingleObject(event, 1000) == WAIT_OBJECT_0) {
                    ++woken;
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        SetEvent(event);
        for (std::thread& t : waiters) {
            t.join();
        }
        EXPECT_EQ(manual ? 3 : 1, woken.load());
        CloseHandle(event);
    }
}

TEST(Events, InvalidHandlesAndNames) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    struct Row {
        const char* what;
        HANDLE handle;
    };
    for (const Row& row : {Row{"closed", event}, Row{"null", nullptr}}) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(row.handle, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_FALSE(SetEvent(row.handle));
        EXPECT_FALSE(ResetEvent(row.handle));
        EXPECT_FALSE(CloseHandle(row.handle));
    }
    // Named events would be shared between processes; this layer has none.
    EXPECT_EQ(nullptr, CreateEventA(nullptr, TRUE, FALSE, "Global\\VorlaEvent"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
}

}  // namespace
