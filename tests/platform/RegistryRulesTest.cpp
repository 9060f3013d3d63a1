// The Windows registry rules the platform layer reproduces, one test per row
// group of the rule table in PLATFORM.md. Written against the Win32 API
// alone, so that the same file runs against the Windows (or Wine) registry:
// every test works below a key of its own under
// HKEY_CURRENT_USER\Software\VorlaTests and removes it afterwards.
#include "platform/Win32.h"
#include "testlib/TempDir.h"
#include "testlib/Wine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kTestsRoot = "Software\\VorlaTests";

// Deletes `path` below `root` with everything under it. The name buffer has
// room for names longer than Windows allows, which Wine's registry accepts.
void DeleteTree(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    char name[1024];
    for (;;) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        DeleteTree(key, name);
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

uint64_t Ticks(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

class RegistryRules : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = kTestsRoot + "\\" + info->name();
        DeleteTree(HKEY_CURRENT_USER, m_path);
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &m_key, &disposition));
        ASSERT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    }

    void TearDown() override {
        RegCloseKey(m_key);
        DeleteTree(HKEY_CURRENT_USER, m_path);
    }

    // Creates `path` below the test's key; the handle has every right.
    HKEY Create(const std::string& path, const char* className = nullptr) {
        HKEY key = nullptr;
        std::string cls = className != nullptr ? className : "";
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(m_key, path.c_str(), 0, className != nullptr ? &cls[0] : nullptr,
                                  0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
            << path;
        return key;
    }

    LONG Open(const std::string& path, REGSAM access, HKEY* key) {
        return RegOpenKeyExA(m_key, path.c_str(), 0, access, key);
    }

    bool Exists(const std::string& path) {
        HKEY key = nullptr;
        if (Open(path, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    static LONG SetString(HKEY key, const char* name, const std::string& text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }

    static std::vector<std::string> SubKeys(HKEY key) {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            LONG status = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
                break;
            }
            names.emplace_back(name, length);
        }
        return names;
    }

    static std::vector<std::string> ValueNames(HKEY key) {
        std::vector<std::string> names;
        std::vector<char> buffer(16384);  // the longest value name and its NUL
        char* name = buffer.data();
        for (DWORD i = 0;; ++i) {
            auto length = static_cast<DWORD>(buffer.size());
            LONG status = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
                break;
            }
            names.emplace_back(name, length);
        }
        return names;
    }

    static FILETIME LastWrite(HKEY key) {
        FILETIME ft{};
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, &ft));
        return ft;
    }

    vorla::test::ScopedPrefix m_prefix;
    std::string m_path;
    HKEY m_key = nullptr;
};

// names: case-insensitive, case-preserving; limits on name lengths.
TEST_F(RegistryRules, Names) {
    const std::string kTooLong =
        "a key name component of 256 characters or more is accepted (documented limit: 255)";
    struct Row {
        const char* what;
        std::string create;  // created first
        std::string open;    // then opened
        LONG createStatus;
        LONG openStatus;
        LONG wineCreateStatus;
        LONG wineOpenStatus;
        std::string wineDifference;
    };
    const std::vector<Row> rows = {
        {"same case", "Plain", "Plain", ERROR_SUCCESS, ERROR_SUCCESS, 0, 0, ""},
        {"other case", "MixedCase", "mIXEDcASE", ERROR_SUCCESS, ERROR_SUCCESS, 0, 0, ""},
        {"255 characters", std::string(255, 'k'), std::string(255, 'K'), ERROR_SUCCESS,
         ERROR_SUCCESS, 0, 0, ""},
        {"256 characters", std::string(256, 'l'), std::string(256, 'l'), ERROR_INVALID_PARAMETER,
         ERROR_INVALID_PARAMETER, ERROR_SUCCESS, ERROR_SUCCESS, kTooLong},
        {"long name inside a path", "ok\\" + std::string(256, 'm'), "ok", ERROR_INVALID_PARAMETER,
         ERROR_FILE_NOT_FOUND, ERROR_SUCCESS, ERROR_SUCCESS, kTooLong},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HKEY key = nullptr;
        const LONG created = RegCreateKeyExA(m_key, row.create.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr);
        EXPECT_WINDOWS_OR_WINE(row.createStatus, row.wineCreateStatus, created, row.wineDifference);
        RegCloseKey(key);
        EXPECT_WINDOWS_OR_WINE(row.openStatus, row.wineOpenStatus, Open(row.open, KEY_READ, &key),
                               row.wineDifference);
        RegCloseKey(key);
        if (created == ERROR_SUCCESS && row.createStatus != ERROR_SUCCESS) {
            // Wine made a key Windows refuses: out of the way of the
            // enumeration below, whose buffer fits the documented limit.
            DeleteTree(m_key, row.open);
        }
    }
    // The spelling of the first creation is what enumeration shows.
    HKEY again = Create("MIXEDCASE");
    RegCloseKey(again);
    std::vector<std::string> names = SubKeys(m_key);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "MixedCase"));
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "MIXEDCASE"));

    struct ValueRow {
        const char* what;
        std::string set;
        std::string query;
        LONG setStatus;
        LONG queryStatus;
    };
    const std::vector<ValueRow> values = {
        {"value other case", "Value", "vALUE", ERROR_SUCCESS, ERROR_SUCCESS},
        {"16383 characters", std::string(16383, 'v'), std::string(16383, 'V'), ERROR_SUCCESS,
         ERROR_SUCCESS},
        {"16384 characters", std::string(16384, 'w'), std::string(16384, 'w'),
         ERROR_INVALID_PARAMETER, ERROR_FILE_NOT_FOUND},
        {"backslash in a value name", "a\\b", "A\\B", ERROR_SUCCESS, ERROR_SUCCESS},
    };
    for (const ValueRow& row : values) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.setStatus, SetString(m_key, row.set.c_str(), "x"));
        EXPECT_EQ(row.queryStatus,
                  RegQueryValueExA(m_key, row.query.c_str(), nullptr, nullptr, nullptr, nullptr));
    }
    // Writing again under another case keeps one value with the first name.
    EXPECT_EQ(ERROR_SUCCESS, SetString(m_key, "VALUE", "y"));
    std::vector<std::string> valueNames = ValueNames(m_key);
    EXPECT_EQ(1, std::count(valueNames.begin(), valueNames.end(), "Value"));
    EXPECT_EQ(0, std::count(valueNames.begin(), valueNames.end(), "VALUE"));
}

// paths: leading, trailing and repeated separators; creating the whole way.
TEST_F(RegistryRules, Paths) {
    struct Row {
        const char* what;
        const char* create;
        LONG createStatus;
        const char* open;  // opened afterwards
        LONG openStatus;
    };
    const std::vector<Row> rows = {
        {"nested keys made on the way", "a\\b\\c", ERROR_SUCCESS, "a\\b\\c", ERROR_SUCCESS},
        {"an intermediate key exists", "a\\b\\c\\d", ERROR_SUCCESS, "a\\b", ERROR_SUCCESS},
        {"leading backslash on create", "\\lead", ERROR_BAD_PATHNAME, "lead", ERROR_FILE_NOT_FOUND},
        {"leading backslash on open", "lead2", ERROR_SUCCESS, "\\lead2", ERROR_BAD_PATHNAME},
        {"trailing backslash", "trail\\", ERROR_SUCCESS, "trail", ERROR_SUCCESS},
        {"trailing backslashes on open", "trail2", ERROR_SUCCESS, "trail2\\\\", ERROR_SUCCESS},
        {"repeated backslashes", "rep\\\\\\inner", ERROR_SUCCESS, "rep\\inner", ERROR_SUCCESS},
        {"missing key", "present", ERROR_SUCCESS, "absent", ERROR_FILE_NOT_FOUND},
        {"missing below a present key", "present", ERROR_SUCCESS, "present\\absent",
         ERROR_FILE_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HKEY key = nullptr;
        EXPECT_EQ(row.createStatus, RegCreateKeyExA(m_key, row.create, 0, nullptr, 0,
                                                    KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegCloseKey(key);
        key = nullptr;
        EXPECT_EQ(row.openStatus, RegOpenKeyExA(m_key, row.open, 0, KEY_READ, &key));
        RegCloseKey(key);
    }

    // The disposition names what happened to the last key of the path.
    struct DispositionRow {
        const char* path;
        DWORD disposition;
    };
    const std::vector<DispositionRow> dispositions = {
        {"disp", REG_CREATED_NEW_KEY},        {"disp", REG_OPENED_EXISTING_KEY},
        {"DISP\\", REG_OPENED_EXISTING_KEY},  {"disp\\x\\y", REG_CREATED_NEW_KEY},
        {"disp\\x", REG_OPENED_EXISTING_KEY},
    };
    for (const DispositionRow& row : dispositions) {
        SCOPED_TRACE(row.path);
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_key, row.path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, &disposition));
        EXPECT_EQ(row.disposition, disposition);
        RegCloseKey(key);
    }

    // Below HKEY_CLASSES_ROOT one leading backslash is skipped, not two.
    const std::string kClassesBackslash =
        "a leading backslash below HKEY_CLASSES_ROOT gives 161 like anywhere else (Windows skips "
        "one there)";
    std::string classes =
        "\\VorlaTests" +
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    HKEY key = nullptr;
    const LONG created = RegCreateKeyExA(HKEY_CLASSES_ROOT, classes.c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &key, nullptr);
    EXPECT_WINDOWS_OR_WINE(ERROR_SUCCESS, ERROR_BAD_PATHNAME, created, kClassesBackslash);
    if (created != ERROR_SUCCESS) {
        // Made without the backslash, so that the opens below have a key.
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, classes.c_str() + 1, 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    }
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, classes.c_str() + 1, 0, KEY_READ, &key));
    RegCloseKey(key);
    key = nullptr;
    EXPECT_WINDOWS_OR_WINE(ERROR_SUCCESS, ERROR_BAD_PATHNAME,
                           RegOpenKeyExA(HKEY_CLASSES_ROOT, classes.c_str(), 0, KEY_READ, &key),
                           kClassesBackslash);
    RegCloseKey(key);
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, ("\\" + classes).c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, classes.c_str() + 1));
}

// empty sub-key: the predefined root itself, or a new handle to the same key.
TEST_F(RegistryRules, EmptySubKey) {
    struct Row {
        const char* what;
        HKEY base;
        const char* sub;
        bool samePredefined;
    };
    const std::vector<Row> rows = {
        {"\"\" below HKEY_CURRENT_USER", HKEY_CURRENT_USER, "", true},
        {"NULL below HKEY_CURRENT_USER", HKEY_CURRENT_USER, nullptr, true},
        {"\"\" below HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "", true},
        {"\"\" below an open key", m_key, "", false},
        {"NULL below an open key", m_key, nullptr, false},
    };
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, "marker", "here"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(row.base, row.sub, 0, KEY_READ, &key));
        if (row.samePredefined) {
            EXPECT_EQ(row.base, key);
            continue;
        }
        EXPECT_NE(row.base, key);
        // The new handle reaches the same key and lives on its own.
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryValueExA(key, "marker", nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryValueExA(m_key, "marker", nullptr, nullptr, nullptr, nullptr));
    }
    // RegCreateKeyExA of "" gives a new handle to the key itself.
    HKEY same = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(m_key, "", 0, nullptr, 0, KEY_READ, nullptr, &same, &disposition));
    EXPECT_NE(m_key, same);
    EXPECT_WINDOWS_OR_WINE(static_cast<DWORD>(REG_OPENED_EXISTING_KEY),
                           static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition,
                           "RegCreateKeyExA of \"\" reports REG_CREATED_NEW_KEY for the key "
                           "that exists");
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(same, "marker", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(same);
}

// access: each operation needs its right; opening below needs none.
TEST_F(RegistryRules, Access) {
    enum Op { QueryValue, EnumValue, SetValue, DeleteValue, EnumKey, QueryInfo, Notify };
    auto run = [](Op op, HKEY key) -> LONG {
        char name[64];
        DWORD length = sizeof name;
        switch (op) {
            case QueryValue:
                return RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, nullptr);
            case EnumValue:
                return RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
            case SetValue:
                return SetString(key, "v", "text");
            case DeleteValue:
                return RegDeleteValueA(key, "gone");
            case EnumKey:
                return RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
            case QueryInfo:
                return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
            case Notify: {
                HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
                LONG status =
                    RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
                CloseHandle(event);
                return status;
            }
        }
        return -1;
    };
    struct Row {
        REGSAM access;
        Op op;
        LONG status;
        LONG wineStatus = ERROR_SUCCESS;
        const char* wineDifference = "";
    };
    const LONG ok = ERROR_SUCCESS, denied = ERROR_ACCESS_DENIED;
    const char* const kInfoWithoutQuery =
        "RegQueryInfoKeyA succeeds on a handle without KEY_QUERY_VALUE";
    const std::vector<Row> rows = {
        {KEY_QUERY_VALUE, QueryValue, ok},
        {KEY_QUERY_VALUE, EnumValue, ok},
        {KEY_QUERY_VALUE, QueryInfo, ok},
        {KEY_QUERY_VALUE, SetValue, denied},
        {KEY_QUERY_VALUE, EnumKey, denied},
        {KEY_QUERY_VALUE, Notify, denied},
        {KEY_SET_VALUE, SetValue, ok},
        {KEY_SET_VALUE, DeleteValue, ok},
        {KEY_SET_VALUE, QueryValue, denied},
        {KEY_SET_VALUE, EnumValue, denied},
        {KEY_SET_VALUE, QueryInfo, denied, ok, kInfoWithoutQuery},
        {KEY_ENUMERATE_SUB_KEYS, EnumKey, ok},
        {KEY_ENUMERATE_SUB_KEYS, QueryValue, denied},
        {KEY_ENUMERATE_SUB_KEYS, QueryInfo, denied, ok, kInfoWithoutQuery},
        {KEY_NOTIFY, Notify, ok},
        {KEY_NOTIFY, QueryValue, denied},
        {KEY_READ, QueryValue, ok},
        {KEY_READ, EnumKey, ok},
        {KEY_READ, Notify, ok},
        {KEY_READ, SetValue, denied},
        {KEY_WRITE, SetValue, ok},
        {KEY_WRITE, QueryValue, denied},
        {KEY_WRITE, EnumKey, denied},
        {KEY_WRITE, QueryInfo, denied, ok, kInfoWithoutQuery},
        {0, QueryValue, denied},
        {0, SetValue, denied},
    };
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, "v", "text"));
    HKEY child = Create("child");
    RegCloseKey(child);
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "access 0x" << std::hex << row.access << " op " << std::dec << row.op);
        if (row.op == DeleteValue) {
            ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, "gone", "x"));
        }
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, Open("", row.access, &key));
        EXPECT_WINDOWS_OR_WINE(row.status, row.wineStatus, run(row.op, key), row.wineDifference);
        RegCloseKey(key);
    }
    // Predefined roots hold every right.
    EXPECT_EQ(ERROR_SUCCESS, run(QueryInfo, HKEY_CURRENT_USER));

    // Creating or opening below a handle does not depend on its rights.
    HKEY weak = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("", KEY_QUERY_VALUE, &weak));
    HKEY below = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(weak, "made", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &below, nullptr));
    RegCloseKey(below);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(weak, "child", 0, KEY_ALL_ACCESS, &below));
    EXPECT_EQ(ERROR_SUCCESS, SetString(below, "w", "x"));
    RegCloseKey(below);
    RegCloseKey(weak);
}

// deletion: only leaves; "" deletes the handle's key; stale handles.
TEST_F(RegistryRules, Deletion) {
    HKEY parent = Create("parent\\child");
    RegCloseKey(parent);
    struct Row {
        const char* what;
        const char* path;
        LONG status;
        bool existsAfter;
    };
    const std::vector<Row> rows = {
        {"key with a sub-key", "parent", ERROR_ACCESS_DENIED, true},
        {"missing key", "nothing", ERROR_FILE_NOT_FOUND, false},
        {"leaf key", "parent\\child", ERROR_SUCCESS, false},
        {"now a leaf", "PARENT", ERROR_SUCCESS, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.status, RegDeleteKeyA(m_key, row.path));
        EXPECT_EQ(row.existsAfter, Exists(row.path));
    }
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, ""));

    // Deleting a key deletes its values: a key made again under the name is
    // empty.
    HKEY withValue = Create("valued");
    ASSERT_EQ(ERROR_SUCCESS, SetString(withValue, "v", "x"));
    RegCloseKey(withValue);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_key, "valued"));
    withValue = Create("valued");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(withValue, "v", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(withValue);

    // "" deletes the handle's own key; every handle to it then answers
    // ERROR_KEY_DELETED, and closing still works.
    HKEY doomed = Create("doomed");
    HKEY other = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("doomed", KEY_ALL_ACCESS, &other));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(doomed, ""));
    EXPECT_FALSE(Exists("doomed"));
    char name[64];
    DWORD length = sizeof name;
    HKEY sub = nullptr;
    struct StaleRow {
        const char* what;
        std::function<LONG(HKEY)> call;
    };
    const std::vector<StaleRow> stale = {
        {"query value",
         [](HKEY k) { return RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, nullptr); }},
        {"set value", [](HKEY k) { return SetString(k, "v", "x"); }},
        {"delete value", [](HKEY k) { return RegDeleteValueA(k, "v"); }},
        {"enumerate keys",
         [&](HKEY k) {
             length = sizeof name;
             return RegEnumKeyExA(k, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
         }},
        {"enumerate values",
         [&](HKEY k) {
             length = sizeof name;
             return RegEnumValueA(k, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
         }},
        {"query info",
         [](HKEY k) {
             return RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
         }},
        {"create below",
         [&](HKEY k) {
             return RegCreateKeyExA(k, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
         }},
        {"open below", [&](HKEY k) { return RegOpenKeyExA(k, "x", 0, KEY_READ, &sub); }},
        {"delete again", [](HKEY k) { return RegDeleteKeyA(k, ""); }},
    };
    for (HKEY handle : {doomed, other}) {
        for (const StaleRow& row : stale) {
            SCOPED_TRACE(row.what);
            EXPECT_EQ(ERROR_KEY_DELETED, row.call(handle));
        }
    }
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(other));
}

// enumeration: order, end, and too-small name buffers.
TEST_F(RegistryRules, Enumeration) {
    for (const char* name : {"b", "_x", "C", "a", "Ab"}) {
        HKEY key = Create(name);
        RegCloseKey(key);
    }
    // Sorted by upper-cased names: '_' (0x5F) comes after the upper-case
    // letters, though before the lower-case ones.
    const std::vector<std::string> keys = SubKeys(m_key);
    EXPECT_WINDOWS_OR_WINE((std::vector<std::string>{"a", "Ab", "b", "C", "_x"}),
                           (std::vector<std::string>{"_x", "a", "Ab", "b", "C"}), keys,
                           "sub-keys enumerate with '_' before the letters (Windows sorts by "
                           "upper-cased name, '_' after 'Z')");

    // Windows lists values in the order they were first created.
    const char* const kValuesSorted = "values enumerate sorted by name, not in creation order";
    for (const char* name : {"zeta", "Alpha", "mid"}) {
        ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, name, name));
    }
    EXPECT_WINDOWS_OR_WINE((std::vector<std::string>{"zeta", "Alpha", "mid"}),
                           (std::vector<std::string>{"Alpha", "mid", "zeta"}), ValueNames(m_key),
                           kValuesSorted);
    // Writing a value again keeps its place; deleting and writing it anew
    // puts it last.
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, "ZETA", "again"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(m_key, "alpha"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, "Alpha", "new"));
    const std::vector<std::string> values = ValueNames(m_key);
    EXPECT_WINDOWS_OR_WINE((std::vector<std::string>{"zeta", "mid", "Alpha"}),
                           (std::vector<std::string>{"Alpha", "mid", "zeta"}), values,
                           kValuesSorted);
    ASSERT_EQ(5u, keys.size());
    ASSERT_EQ(3u, values.size());

    // The buffer rules at a given index, for the name found there above.
    struct Row {
        const char* what;
        bool values;
        DWORD index;
        int spare;  // characters offered beyond the name and its NUL
        LONG status;
    };
    const std::vector<Row> rows = {
        {"key name fits exactly", false, 1, 0, ERROR_SUCCESS},
        {"key name one short", false, 1, -1, ERROR_MORE_DATA},
        {"key past the end", false, 5, 64, ERROR_NO_MORE_ITEMS},
        {"value name fits", true, 0, 0, ERROR_SUCCESS},
        {"value name one short", true, 0, -1, ERROR_MORE_DATA},
        {"value past the end", true, 3, 64, ERROR_NO_MORE_ITEMS},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<std::string>& names = row.values ? values : keys;
        const std::string expected = row.index < names.size() ? names[row.index] : "";
        char name[128];
        std::memset(name, 0, sizeof name);
        DWORD length = static_cast<DWORD>(static_cast<int>(expected.size()) + 1 + row.spare);
        LONG status = row.values ? RegEnumValueA(m_key, row.index, name, &length, nullptr, nullptr,
                                                 nullptr, nullptr)
                                 : RegEnumKeyExA(m_key, row.index, name, &length, nullptr, nullptr,
                                                 nullptr, nullptr);
        EXPECT_EQ(row.status, status);
        // Nothing is written when the name does not fit.
        const std::string fitting = status == ERROR_SUCCESS ? expected : "";
        EXPECT_WINDOWS_OR_WINE(fitting, expected.substr(0, expected.size() - 1), std::string(name),
                               row.values && row.status == ERROR_MORE_DATA
                                   ? "RegEnumValueA writes as much of a value name as fits into "
                                     "a buffer too small"
                                   : "");
        if (status == ERROR_SUCCESS) {
            EXPECT_EQ(expected.size(), length);
        }
    }

    // The data buffer of RegEnumValueA follows the rules of RegQueryValueExA.
    const auto mid =
        static_cast<DWORD>(std::find(values.begin(), values.end(), "mid") - values.begin());
    char name[64];
    DWORD length = sizeof name;
    DWORD type = 0;
    BYTE data[2];
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(m_key, mid, name, &length, nullptr, &type, data, &size));
    EXPECT_EQ(4u, size);  // "mid" and its NUL
    length = sizeof name;
    size = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumValueA(m_key, mid, name, &length, nullptr, &type, nullptr, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

// values: buffer rules, sizes kept as written, the default value.
TEST_F(RegistryRules, Values) {
    struct Row {
        const char* what;
        const char* name;
        DWORD type;
        std::string data;
        std::string wineData = std::string();  // read back under Wine, with the difference
        const char* wineDifference = "";
    };
    const std::vector<Row> rows = {
        {"string with its NUL", "withNul", REG_SZ, std::string("abc\0", 4)},
        {"string without NUL", "noNul", REG_SZ, "abc", std::string("abc\0", 4),
         "a REG_SZ written without its NUL reads back with one added"},
        {"empty binary", "empty", REG_BINARY, ""},
        {"dword", "number", REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
        {"multi-string", "multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
        {"odd type", "odd", 0x1234, "\x7f"},
        {"default value by \"\"", "", REG_SZ, std::string("dflt\0", 5)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key, row.name, 0, row.type,
                                                reinterpret_cast<const BYTE*>(row.data.data()),
                                                static_cast<DWORD>(row.data.size())));
        const auto written = static_cast<DWORD>(row.data.size());
        const auto wineSize = static_cast<DWORD>(row.wineData.size());
        // No buffer: success and the size.
        DWORD type = 0, size = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key, row.name, nullptr, &type, nullptr, &size));
        EXPECT_EQ(row.type, type);
        EXPECT_WINDOWS_OR_WINE(written, wineSize, size, row.wineDifference);
        // A buffer too small: ERROR_MORE_DATA and the size needed.
        if (!row.data.empty()) {
            BYTE small[1];
            size = written - 1;
            EXPECT_EQ(ERROR_MORE_DATA,
                      RegQueryValueExA(m_key, row.name, nullptr, &type, small, &size));
            EXPECT_WINDOWS_OR_WINE(written, wineSize, size, row.wineDifference);
        }
        // A buffer large enough: the bytes exactly as written.
        BYTE buffer[64] = {};
        size = sizeof buffer;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key, row.name, nullptr, &type, buffer, &size));
        EXPECT_WINDOWS_OR_WINE(row.data, row.wineData,
                               std::string(reinterpret_cast<char*>(buffer), size),
                               row.wineDifference);
    }
    // NULL names the default value as "" does.
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key, nullptr, nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(5u, size);
    const BYTE other[] = {'n', 0};
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(m_key, nullptr, 0, REG_SZ, other, sizeof other));
    size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_key, "", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(2u, size);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(m_key, "absent", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(m_key, "absent"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(m_key, "NONUL"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(m_key, "noNul", nullptr, nullptr, nullptr, &size));
}

// info: counts, longest names and data, class, last-write times.
TEST_F(RegistryRules, Info) {
    HKEY a = Create("a", "classic");
    HKEY b = Create("bbbb", "c");
    RegCloseKey(b);
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, "v", "12"));                // 3 bytes
    ASSERT_EQ(ERROR_SUCCESS, SetString(m_key, "longname", "123456789"));  // 10 bytes

    char cls[32];
    DWORD clsLength = sizeof cls;
    DWORD subKeys = 0, maxSubKey = 0, maxClass = 0, values = 0, maxValueName = 0, maxData = 0,
          security = 0;
    FILETIME ft{};
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(m_key, cls, &clsLength, nullptr, &subKeys, &maxSubKey, &maxClass,
                               &values, &maxValueName, &maxData, &security, &ft));
    struct Row {
        const char* what;
        DWORD actual;
        DWORD expected;
    };
    const std::vector<Row> rows = {
        {"sub-keys", subKeys, 2},
        {"longest sub-key name", maxSubKey, 4},
        {"longest class", maxClass, 7},
        {"values", values, 2},
        {"longest value name", maxValueName, 8},
        {"own class length", clsLength, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.expected, row.actual) << row.what;
    }
    // The size as written through the ANSI functions; Wine reports what it
    // keeps, the text in UTF-16.
    EXPECT_WINDOWS_OR_WINE(10u, 20u, maxData,
                           "RegQueryInfoKeyA gives the largest REG_SZ data in UTF-16 bytes");
    EXPECT_WINDOWS_OR_WINE(true, false, security > 0u,
                           "RegQueryInfoKeyA gives 0 as the size of the security descriptor");
    EXPECT_NE(0u, Ticks(ft));

    // A key keeps the class given when it was made, and only then.
    clsLength = sizeof cls;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(a, cls, &clsLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("classic", std::string(cls, clsLength));
    RegCloseKey(a);
    HKEY again = nullptr;
    std::string otherClass = "other";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_key, "a", 0, &otherClass[0], 0, KEY_ALL_ACCESS,
                                             nullptr, &again, nullptr));
    char name[64];
    DWORD nameLength = sizeof name;
    clsLength = sizeof cls;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumKeyExA(m_key, 0, name, &nameLength, nullptr, cls, &clsLength, nullptr));
    EXPECT_WINDOWS_OR_WINE(std::string("classic"), std::string("other"),
                           std::string(cls, clsLength),
                           "RegCreateKeyExA of an existing key replaces its class (documented: "
                           "the class is ignored then)");
    RegCloseKey(again);

    // The last-write time moves when a value is set or deleted, and on the
    // parent when a sub-key is made or deleted.
    struct TimeRow {
        const char* what;
        std::function<void()> change;
    };
    const std::vector<TimeRow> changes = {
        {"value set", [&] { SetString(m_key, "t", "1"); }},
        {"value deleted", [&] { RegDeleteValueA(m_key, "t"); }},
        {"sub-key made",
         [&] {
             HKEY k = Create("fresh");
             RegCloseKey(k);
         }},
        {"sub-key deleted", [&] { RegDeleteKeyA(m_key, "fresh"); }},
    };
    for (const TimeRow& row : changes) {
        SCOPED_TRACE(row.what);
        uint64_t before = Ticks(LastWrite(m_key));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        row.change();
        EXPECT_GT(Ticks(LastWrite(m_key)), before);
    }
    // Reading changes nothing.
    uint64_t before = Ticks(LastWrite(m_key));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    (void)ValueNames(m_key);
    (void)SubKeys(m_key);
    EXPECT_EQ(before, Ticks(LastWrite(m_key)));
}

// roots: connected handles and closing predefined values.
TEST_F(RegistryRules, Roots) {
    struct Row {
        const char* what;
        const char* machine;
        HKEY root;
    };
    const std::vector<Row> rows = {
        {"local machine, no name", nullptr, HKEY_LOCAL_MACHINE},
        {"local machine, empty name", "", HKEY_LOCAL_MACHINE},
        {"users, no name", nullptr, HKEY_USERS},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const char* const kPredefined =
            "RegConnectRegistryA of the local computer gives the predefined value back, which "
            "closing leaves valid";
        HKEY connected = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegConnectRegistryA(row.machine, row.root, &connected));
        EXPECT_WINDOWS_OR_WINE(true, false, row.root != connected, kPredefined);
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryInfoKeyA(connected, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(connected));
        // A second close finds the handle gone; a predefined value is never closed.
        EXPECT_WINDOWS_OR_WINE(ERROR_INVALID_HANDLE, ERROR_SUCCESS, RegCloseKey(connected),
                               kPredefined);
    }

    struct CloseRow {
        const char* what;
        HKEY key;
        LONG status;
    };
    const std::vector<CloseRow> closes = {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, ERROR_SUCCESS},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, ERROR_SUCCESS},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, ERROR_SUCCESS},
        {"NULL", nullptr, ERROR_INVALID_HANDLE},
    };
    for (const CloseRow& row : closes) {
        EXPECT_EQ(row.status, RegCloseKey(row.key)) << row.what;
    }
    // A closed predefined root still works.
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(HKEY_CURRENT_USER, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    HKEY key = Create("closing");
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
}

// hives: save to a new file, restore, load and unload.
TEST_F(RegistryRules, Hives) {
    // Windows asks for the backup privilege to save and the restore
    // privilege to restore and load.
    ASSERT_TRUE(vorla::test::EnableHivePrivileges());
    vorla::test::ScopedTempDir dir;
    HKEY source = Create("source\\inner", "cls");
    ASSERT_EQ(ERROR_SUCCESS, SetString(source, "deep", "value"));
    RegCloseKey(source);
    source = Create("source");
    ASSERT_EQ(ERROR_SUCCESS, SetString(source, "top", "1"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(source, "second", "2"));

    const std::string file = dir.File("saved.hive");
    struct SaveRow {
        const char* what;
        LONG status;
    };
    for (const SaveRow& row :
         {SaveRow{"new file", ERROR_SUCCESS}, SaveRow{"existing file", ERROR_ALREADY_EXISTS}}) {
        SCOPED_TRACE(row.what);
        EXPECT_WINDOWS_OR_WINE(row.status, ERROR_SUCCESS,
                               RegSaveKeyA(source, file.c_str(), nullptr),
                               "RegSaveKeyA overwrites an existing file");
    }
    RegCloseKey(source);

    // Restoring replaces the target's values and sub-keys by the file's.
    const char* const kRestoreDoesNothing = "RegRestoreKeyA reports success and changes nothing";
    HKEY target = Create("target\\old");
    RegCloseKey(target);
    target = Create("target");
    ASSERT_EQ(ERROR_SUCCESS, SetString(target, "stale", "x"));
    ASSERT_EQ(ERROR_SUCCESS, RegRestoreKeyA(target, file.c_str(), 0));
    EXPECT_WINDOWS_OR_WINE((std::vector<std::string>{"top", "second"}),
                           (std::vector<std::string>{"stale"}), ValueNames(target),
                           kRestoreDoesNothing);
    const std::vector<std::string> restored = SubKeys(target);
    EXPECT_WINDOWS_OR_WINE((std::vector<std::string>{"inner"}), (std::vector<std::string>{"old"}),
                           restored, kRestoreDoesNothing);
    if (restored == std::vector<std::string>{"inner"}) {
        HKEY inner = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(target, "inner", 0, KEY_READ, &inner));
        EXPECT_EQ((std::vector<std::string>{"deep"}), ValueNames(inner));
        RegCloseKey(inner);
    }
    RegCloseKey(target);

    // Loading: only below HKEY_LOCAL_MACHINE or HKEY_USERS.
    const std::string mount = std::string("VorlaTestHive") +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    // A failed earlier run in the same registry may have left its mounts.
    RegUnLoadKeyA(HKEY_USERS, mount.c_str());
    RegUnLoadKeyA(HKEY_CURRENT_USER, mount.c_str());
    DeleteTree(HKEY_CURRENT_USER, mount);
    const LONG belowUser = RegLoadKeyA(HKEY_CURRENT_USER, mount.c_str(), file.c_str());
    EXPECT_WINDOWS_OR_WINE(ERROR_INVALID_PARAMETER, ERROR_SUCCESS, belowUser,
                           "RegLoadKeyA mounts a hive below HKEY_CURRENT_USER too");
    if (belowUser == ERROR_SUCCESS) {
        EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_CURRENT_USER, mount.c_str()));
    }
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_USERS, mount.c_str(), file.c_str()));
    HKEY loaded = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_USERS, (mount + "\\inner").c_str(), 0, KEY_READ, &loaded));
    EXPECT_EQ((std::vector<std::string>{"deep"}), ValueNames(loaded));
    // Not while a handle below it is open.
    const char* const kUnloadWhileOpen =
        "RegUnLoadKeyA unmounts a hive while a handle below it is open";
    const LONG whileOpen = RegUnLoadKeyA(HKEY_USERS, mount.c_str());
    EXPECT_WINDOWS_OR_WINE(ERROR_ACCESS_DENIED, ERROR_SUCCESS, whileOpen, kUnloadWhileOpen);
    RegCloseKey(loaded);
    EXPECT_WINDOWS_OR_WINE(ERROR_SUCCESS, ERROR_FILE_NOT_FOUND,
                           RegUnLoadKeyA(HKEY_USERS, mount.c_str()),
                           whileOpen == ERROR_SUCCESS ? kUnloadWhileOpen : "");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_USERS, mount.c_str(), 0, KEY_READ, &loaded));
}

// notification: the filter, the subtree flag, firing once, both modes.
TEST_F(RegistryRules, Notification) {
    for (const char* name : {"child", "gone1", "gone2"}) {
        HKEY key = Create(name);
        RegCloseKey(key);
    }
    int deleted = 0;
    struct Row {
        const char* what;
        DWORD filter;
        BOOL subtree;
        std::function<void()> change;
        bool fires;
    };
    int counter = 0;
    auto newName = [&] { return "n" + std::to_string(++counter); };
    auto makeKey = [&](const std::string& below) {
        HKEY k = Create(below + newName());
        RegCloseKey(k);
    };
    auto setIn = [&](const std::string& path) {
        HKEY k = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, Open(path, KEY_SET_VALUE, &k));
        SetString(k, newName().c_str(), "x");
        RegCloseKey(k);
    };
    const std::vector<Row> rows = {
        {"value set, last-set filter", REG_NOTIFY_CHANGE_LAST_SET, FALSE, [&] { setIn(""); }, true},
        {"sub-key made, name filter", REG_NOTIFY_CHANGE_NAME, FALSE, [&] { makeKey(""); }, true},
        {"sub-key deleted, name filter", REG_NOTIFY_CHANGE_NAME, FALSE,
         [&] { RegDeleteKeyA(m_key, ("gone" + std::to_string(++deleted)).c_str()); }, true},
        {"value set, name filter", REG_NOTIFY_CHANGE_NAME, FALSE, [&] { setIn(""); }, false},
        {"sub-key made, last-set filter", REG_NOTIFY_CHANGE_LAST_SET, FALSE, [&] { makeKey(""); },
         false},
        {"value set in a sub-key, no subtree", REG_NOTIFY_CHANGE_LAST_SET, FALSE,
         [&] { setIn("child"); }, false},
        {"value set in a sub-key, subtree", REG_NOTIFY_CHANGE_LAST_SET, TRUE,
         [&] { setIn("child"); }, true},
        {"key made two levels down, subtree", REG_NOTIFY_CHANGE_NAME, TRUE,
         [&] { makeKey("child\\"); }, true},
        {"key made two levels down, no subtree", REG_NOTIFY_CHANGE_NAME, FALSE,
         [&] { makeKey("child\\"); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, event);
        HKEY watched = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, Open("", KEY_NOTIFY, &watched));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegNotifyChangeKeyValue(watched, row.subtree, row.filter, event, TRUE));
        row.change();
        DWORD wait = WaitForSingleObject(event, row.fires ? 5000 : 300);
        EXPECT_EQ(row.fires ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT), wait);
        if (row.fires) {
            // A registration fires once: a second change signals nothing.
            ResetEvent(event);
            row.change();
            EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
        }
        RegCloseKey(watched);
        CloseHandle(event);
    }

    // Synchronous mode blocks until the change happens.
    HKEY watched = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("", KEY_NOTIFY, &watched));
    std::thread changer([&] {
        // Long enough for the call below to be waiting even on a loaded
        // machine: a change made before the registration would be missed.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        HKEY k = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, KEY_SET_VALUE, &k);
        SetString(k, "late", "x");
        RegCloseKey(k);
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    changer.join();
    RegCloseKey(watched);
}

// security: a descriptor per key, returned under the buffer rules.
TEST_F(RegistryRules, Security) {
    const SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    ASSERT_EQ(ERROR_INSUFFICIENT_BUFFER, RegGetKeySecurity(m_key, info, nullptr, &size));
    ASSERT_GE(size, 20u);
    std::vector<BYTE> descriptor(size);
    struct Row {
        const char* what;
        DWORD offered;
        LONG status;
    };
    const std::vector<Row> rows = {
        {"one byte short", size - 1, ERROR_INSUFFICIENT_BUFFER},
        {"exact", size, ERROR_SUCCESS},
        {"larger", size + 16, ERROR_SUCCESS},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<BYTE> buffer(row.offered + 1);
        DWORD offered = row.offered;
        EXPECT_EQ(row.status, RegGetKeySecurity(m_key, info, buffer.data(), &offered));
        EXPECT_EQ(size, offered);
        if (row.status == ERROR_SUCCESS) {
            descriptor.assign(buffer.begin(), buffer.begin() + size);
        }
    }
    // Revision 1, self-relative.
    EXPECT_EQ(1, descriptor[0]);
    EXPECT_NE(0, descriptor[3] & 0x80);
    // What was read can be written back and reads the same.
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(m_key, info, descriptor.data()));
    std::vector<BYTE> again(size);
    DWORD againSize = size;
    EXPECT_EQ(ERROR_SUCCESS, RegGetKeySecurity(m_key, info, again.data(), &againSize));
    EXPECT_EQ(descriptor, again);
    // Writing it needs WRITE_DAC on the handle.
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open("", KEY_READ, &reader));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetKeySecurity(reader, info, descriptor.data()));
    RegCloseKey(reader);
}

}  // namespace
