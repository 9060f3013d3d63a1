// Several processes on one prefix: a writer killed at random moments leaves
// every confirmed change intact and no half-made one; writers running at
// once lose nothing and fail no call; changes and loaded hives made by one
// process are seen by another.
#include "platform/Win32.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using vorla::test::ScopedPrefix;

LONG CreateKey(HKEY root, const std::string& path, HKEY* key = nullptr) {
    HKEY local = nullptr;
    LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &local, nullptr);
    if (key != nullptr) {
        *key = local;
    } else if (status == ERROR_SUCCESS) {
        RegCloseKey(local);
    }
    return status;
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The data the crash writer stores for item `i`: large enough to span
// several pages of the store.
std::string Payload(int i) {
    std::string data(6000, '\0');
    for (size_t j = 0; j < data.size(); ++j) {
        data[j] = static_cast<char>((i * 131 + static_cast<int>(j) * 7) % 251);
    }
    return data;
}

// Runs `body` in a child process and returns its pid; the child exits with
// the body's result, never returning into the test framework.
template <class Body>
pid_t Spawn(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        int code = body();
        _exit(code);
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

enum Op : int32_t { kCreated = 1, kValueSet = 2, kDeleted = 3 };
struct Record {
    int32_t op;
    int32_t item;
};

// A child that makes item after item below `base` and deletes old ones,
// reporting each call that returned success over `fd`.
int CrashWriter(const std::string& base, int fd) {
    auto report = [fd](Op op, int item) {
        Record r{op, item};
        return write(fd, &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    };
    for (int i = 0;; ++i) {
        std::string item = base + "\\k" + std::to_string(i);
        // One call makes three keys; they must appear together or not at all.
        HKEY leaf = nullptr;
        if (CreateKey(HKEY_CURRENT_USER, item + "\\sub\\leaf", &leaf) != ERROR_SUCCESS ||
            !report(kCreated, i)) {
            return 1;
        }
        std::string data = Payload(i);
        if (RegSetValueExA(leaf, "v", 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())) != ERROR_SUCCESS ||
            !report(kValueSet, i)) {
            return 1;
        }
        RegCloseKey(leaf);
        if (i >= 3) {
            std::string old = base + "\\k" + std::to_string(i - 3);
            for (const char* tail : {"\\sub\\leaf", "\\sub", ""}) {
                if (RegDeleteKeyA(HKEY_CURRENT_USER, (old + tail).c_str()) != ERROR_SUCCESS) {
                    return 1;
                }
            }
            if (!report(kDeleted, i - 3)) {
                return 1;
            }
        }
    }
}

TEST(RegistryProcesses, KilledWriterLeavesEveryConfirmedChange) {
    ScopedPrefix prefix;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Crash"));
    std::mt19937 random(12345);
    const int rounds = 40;
    struct Expected {
        std::set<int> created, valued, deleted;
        int attempted = 0;  // one past the highest item the writer may have started
    };
    std::vector<Expected> expected(rounds);
    auto verify = [&](int round) {
        const Expected& e = expected[round];
        std::string base = "Crash\\r" + std::to_string(round);
        for (int i = 0; i <= e.attempted; ++i) {
            SCOPED_TRACE(::testing::Message() << "round " << round << " item " << i);
            std::string item = base + "\\k" + std::to_string(i);
            bool exists = KeyExists(item);
            if (e.deleted.count(i)) {
                EXPECT_FALSE(exists);
                continue;
            }
            // The writer deletes item i (three calls) after it confirmed the
            // value of item i + 3; the writer may have died in there, or
            // after the deletion but before reporting it.
            bool deletionBegun = e.valued.count(i + 3) != 0;
            if (!deletionBegun && e.created.count(i)) {
                EXPECT_TRUE(exists);
            }
            if (!exists) {
                EXPECT_TRUE(deletionBegun || !e.valued.count(i));
                continue;
            }
            HKEY leaf = nullptr;
            LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, (item + "\\sub\\leaf").c_str(), 0,
                                        KEY_READ, &leaf);
            if (status != ERROR_SUCCESS) {
                // The three keys of one call appear together or not at all.
                EXPECT_TRUE(deletionBegun) << "partial creation";
                continue;
            }
            std::string data(8000, '\0');
            auto size = static_cast<DWORD>(data.size());
            status = RegQueryValueExA(leaf, "v", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&data[0]), &size);
            RegCloseKey(leaf);
            if (e.valued.count(i)) {
                ASSERT_EQ(ERROR_SUCCESS, status);
            }
            if (status == ERROR_SUCCESS) {
                data.resize(size);
                EXPECT_EQ(Payload(i), data) << "value torn";
            }
        }
    };
    for (int round = 0; round < rounds; ++round) {
        int fds[2];
        ASSERT_EQ(0, pipe(fds));
        std::string base = "Crash\\r" + std::to_string(round);
        pid_t pid = Spawn([&] {
            close(fds[0]);
            return CrashWriter(base, fds[1]);
        });
        ASSERT_GT(pid, 0);
        close(fds[1]);
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(10000, 120000)(random)));
        kill(pid, SIGKILL);
        EXPECT_EQ(128 + SIGKILL, WaitExit(pid)) << "the writer failed a call";
        Record r;
        Expected& e = expected[round];
        while (read(fds[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r)) {
            (r.op == kCreated    ? e.created
             : r.op == kValueSet ? e.valued
                                 : e.deleted)
                .insert(r.item);
            e.attempted = std::max(e.attempted, r.item + 1);
        }
        close(fds[0]);
        verify(round);
    }
    // Every earlier round is still as it was confirmed.
    int confirmed = 0;
    for (int round = 0; round < rounds; ++round) {
        verify(round);
        confirmed += static_cast<int>(expected[round].created.size());
    }
    EXPECT_GT(confirmed, rounds) << "the writer hardly ran; the test proves little";
}

TEST(RegistryProcesses, ConcurrentWritersLoseNothing) {
    ScopedPrefix prefix;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Shared"));
    const int writers = 4, items = 25;
    std::vector<pid_t> pids;
    for (int w = 0; w < writers; ++w) {
        pids.push_back(Spawn([w] {
            HKEY shared = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, "Shared", 0, KEY_ALL_ACCESS, &shared) !=
                ERROR_SUCCESS) {
                return 1;
            }
            for (int i = 0; i < items; ++i) {
                std::string mine = "Shared\\w" + std::to_string(w) + "\\k" + std::to_string(i);
                HKEY key = nullptr;
                if (CreateKey(HKEY_CURRENT_USER, mine, &key) != ERROR_SUCCESS) {
                    return 2;
                }
                std::string text = mine;
                if (RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS) {
                    return 3;
                }
                RegCloseKey(key);
                std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
                DWORD number = static_cast<DWORD>(w * 1000 + i);
                if (RegSetValueExA(shared, name.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&number),
                                   sizeof number) != ERROR_SUCCESS) {
                    return 4;
                }
                // Every odd key goes again, with its value.
                if (i % 2 == 1 && RegDeleteKeyA(HKEY_CURRENT_USER, mine.c_str()) != ERROR_SUCCESS) {
                    return 5;
                }
            }
            RegCloseKey(shared);
            return 0;
        }));
    }
    for (pid_t pid : pids) {
        EXPECT_EQ(0, WaitExit(pid));
    }
    HKEY shared = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Shared", 0, KEY_READ, &shared));
    DWORD values = 0, subKeys = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(shared, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(writers * items), values);
    EXPECT_EQ(static_cast<DWORD>(writers), subKeys);
    for (int w = 0; w < writers; ++w) {
        for (int i = 0; i < items; ++i) {
            std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
            DWORD number = 0, size = sizeof number;
            EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(shared, name.c_str(), nullptr, nullptr,
                                                      reinterpret_cast<BYTE*>(&number), &size));
            EXPECT_EQ(static_cast<DWORD>(w * 1000 + i), number);
            std::string mine = "Shared\\w" + std::to_string(w) + "\\k" + std::to_string(i);
            EXPECT_EQ(i % 2 == 0, KeyExists(mine)) << mine;
        }
    }
    RegCloseKey(shared);
}

TEST(RegistryProcesses, NotificationSeesOtherProcesses) {
    ScopedPrefix prefix;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Watched\\Deep"));
    // The changing process is forked before any registration exists and
    // waits for a byte on a pipe: forking while a registration's poller
    // thread runs could hand the child a lock held by that thread.
    struct Changer {
        pid_t pid;
        int go;
    };
    auto changer = [](const char* path) {
        int fds[2];
        EXPECT_EQ(0, pipe(fds));
        pid_t pid = Spawn([path, fds] {
            close(fds[1]);
            char byte = 0;
            if (read(fds[0], &byte, 1) != 1) {
                return 3;
            }
            // Long enough for the parent to be waiting even on a loaded
            // machine: a change made before the registration would be missed.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
                return 1;
            }
            const BYTE one = 1;
            LONG status = RegSetValueExA(key, "changed", 0, REG_BINARY, &one, 1);
            RegCloseKey(key);
            return status == ERROR_SUCCESS ? 0 : 2;
        });
        close(fds[0]);
        return Changer{pid, fds[1]};
    };
    auto go = [](const Changer& c) {
        EXPECT_EQ(1, write(c.go, "g", 1));
        close(c.go);
    };
    Changer deep = changer("Watched\\Deep");
    Changer top = changer("Watched");
    HKEY watched = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Watched", 0, KEY_NOTIFY, &watched));

    // Asynchronous: the event is signalled from another process's change.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
    go(deep);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 5000));
    EXPECT_EQ(0, WaitExit(deep.pid));

    // Synchronous: the call returns once the other process has changed it.
    go(top);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(0, WaitExit(top.pid));

    // Closing the key while a registration waits signals it and harms nothing;
    // so does closing the event first.
    ASSERT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_NAME, event, TRUE));
    HANDLE orphan = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HKEY second = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Watched", 0, KEY_NOTIFY, &second));
    ASSERT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(second, FALSE, REG_NOTIFY_CHANGE_NAME, orphan, TRUE));
    CloseHandle(orphan);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(watched));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 2000));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Watched\\Fires"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
    CloseHandle(event);
    // Let the closed registrations' pollers finish before a later test forks.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

TEST(RegistryProcesses, LoadedHiveIsSeenByOtherProcesses) {
    ScopedPrefix prefix;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\ToSave", &key));
    const BYTE data[] = {'o', 'k', 0};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "v", 0, REG_SZ, data, sizeof data));
    const std::string file = prefix.Path() + "/saved.hive";
    ASSERT_EQ(ERROR_SUCCESS, RegSaveKeyA(key, file.c_str(), nullptr));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_USERS, "Mounted", file.c_str()));
    auto childReads = [] {
        return Spawn([] {
            HKEY k = nullptr;
            LONG status = RegOpenKeyExA(HKEY_USERS, "Mounted", 0, KEY_READ, &k);
            if (status != ERROR_SUCCESS) {
                return status == ERROR_FILE_NOT_FOUND ? 10 : 11;
            }
            char buffer[8] = {};
            DWORD size = sizeof buffer;
            status =
                RegQueryValueExA(k, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
            RegCloseKey(k);
            return status == ERROR_SUCCESS && std::strcmp(buffer, "ok") == 0 ? 0 : 12;
        });
    };
    EXPECT_EQ(0, WaitExit(childReads()));
    ASSERT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_USERS, "Mounted"));
    EXPECT_EQ(10, WaitExit(childReads()));
}

// A process keeps the sub-key and value lists it has read; another
// process's commit shows at once, in enumeration, counts and walks alike.
TEST(RegistryProcesses, KeptListsShowAnotherProcessesCommitAtOnce) {
    ScopedPrefix prefix;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Kept", &key));
    const BYTE data[] = {'x', 0};
    for (const char* name : {"v0", "v1", "v2"}) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, data, sizeof data));
    }
    const auto names = [key] {
        std::vector<std::string> seen;
        char name[16];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != 0) {
                break;
            }
            seen.emplace_back(name, length);
        }
        char sub[16];
        DWORD length = sizeof sub;
        if (RegEnumKeyExA(key, 0, sub, &length, nullptr, nullptr, nullptr, nullptr) == 0) {
            seen.emplace_back(std::string("key ") + sub);
        }
        DWORD values = 0;
        DWORD subKeys = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        seen.push_back(std::to_string(values) + " values, " + std::to_string(subKeys) + " keys");
        return seen;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"v0", "v1", "v2", "3 values, 0 keys"}));
    const pid_t child = Spawn([] {
        HKEY other = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, KEY_ALL_ACCESS, &other) != 0) {
            return 1;
        }
        const BYTE text[] = {'y', 0};
        const bool done = RegSetValueExA(other, "v3", 0, REG_SZ, text, sizeof text) == 0 &&
                          RegDeleteValueA(other, "v0") == 0 &&
                          CreateKey(other, "Sub") == ERROR_SUCCESS;
        RegCloseKey(other);
        return done ? 0 : 2;
    });
    ASSERT_EQ(0, WaitExit(child));
    EXPECT_EQ(names(), (std::vector<std::string>{"v1", "v2", "v3", "key Sub", "3 values, 1 keys"}));
    HKEY sub = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept\\Sub", 0, KEY_READ, &sub));
    RegCloseKey(sub);
    RegCloseKey(key);
}

// Everything a key shows by enumeration and its counts, as one text.
std::string Snapshot(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<no key>";
    }
    std::string text;
    char name[64];
    BYTE data[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &length, nullptr, &type, data, &size) != 0) {
            break;
        }
        text += std::string(name, length) + "=" + std::to_string(type) + ":" +
                std::string(reinterpret_cast<char*>(data), size) + ";";
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        FILETIME written{};
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, &written) != 0) {
            break;
        }
        text += "[" + std::string(name, length) + " " + std::to_string(written.dwLowDateTime) + "]";
    }
    DWORD subKeys = 0, values = 0, maxName = 0, maxData = 0;
    FILETIME written{};
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, &maxName,
                     &maxData, nullptr, &written);
    RegCloseKey(key);
    return text + " " + std::to_string(subKeys) + "/" + std::to_string(values) + "/" +
           std::to_string(maxName) + "/" + std::to_string(maxData) + "@" +
           std::to_string(written.dwLowDateTime);
}

// What this process keeps of the lists follows its own writes exactly: after
// each change, its view is the one a fresh process reads from the file.
TEST(RegistryProcesses, KeptListsFollowThisProcessesWrites) {
    ScopedPrefix prefix;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Own", &key));
    const auto set = [key](const char* name, const std::string& data) {
        return RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    };
    const std::vector<std::pair<const char*, std::function<LONG()>>> steps = {
        {"add a value", [&] { return set("b", "1"); }},
        {"add another", [&] { return set("A", "22"); }},
        {"change the first, other spelling", [&] { return set("B", "333"); }},
        {"add a sub-key", [&] { return CreateKey(key, "zeta"); }},
        {"add one before it", [&] { return CreateKey(key, "Alpha\\Inner"); }},
        {"set a sub-key's value",
         [&] {
             HKEY sub = nullptr;
             CreateKey(key, "zeta", &sub);
             const LONG status =
                 RegSetValueExA(sub, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
             RegCloseKey(sub);
             return status;
         }},
        {"delete a value", [&] { return RegDeleteValueA(key, "a"); }},
        {"delete a sub-key", [&] { return RegDeleteKeyA(key, "zeta"); }},
        {"delete the inner key", [&] { return RegDeleteKeyA(key, "Alpha\\Inner"); }},
    };
    for (const auto& step : steps) {
        // Read first, so that the lists are kept before the change.
        Snapshot(HKEY_CURRENT_USER, "Software\\Own");
        Snapshot(HKEY_CURRENT_USER, "Software");
        ASSERT_EQ(ERROR_SUCCESS, step.second()) << step.first;
        for (const char* path : {"Software\\Own", "Software", "Software\\Own\\Alpha"}) {
            int fd[2];
            ASSERT_EQ(0, pipe(fd));
            const pid_t child = Spawn([&] {
                const std::string fresh = Snapshot(HKEY_CURRENT_USER, path);
                return write(fd[1], fresh.data(), fresh.size()) ==
                               static_cast<ssize_t>(fresh.size())
                           ? 0
                           : 1;
            });
            close(fd[1]);
            std::string fresh;
            char buffer[512];
            for (ssize_t n; (n = read(fd[0], buffer, sizeof buffer)) > 0;) {
                fresh.append(buffer, static_cast<size_t>(n));
            }
            close(fd[0]);
            EXPECT_EQ(0, WaitExit(child));
            EXPECT_EQ(Snapshot(HKEY_CURRENT_USER, path), fresh) << step.first << ": " << path;
        }
    }
    RegCloseKey(key);
}

}  // namespace
