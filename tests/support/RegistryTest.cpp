#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "RegistryTestSupport.h"

namespace vorla::test {
namespace {

using std::string;

// Counts the calls that reach the building blocks, so that a test can tell
// whether an operation went on towards the system.
class CountingRegistry : public CRegistry {
public:
    using CRegistry::ReadValue;
    using CRegistry::WriteValue;

    BOOL ReadRaw(LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD length) override {
        ++m_nReadRaw;
        return CRegistry::ReadRaw(name, type, data, length);
    }
    BOOL WriteRaw(LPCSTR name, DWORD type, const BYTE* data, DWORD length) override {
        ++m_nWriteRaw;
        return CRegistry::WriteRaw(name, type, data, length);
    }
    BOOL ReadString(LPCSTR name, CString& text) override {
        ++m_nReadString;
        return CRegistry::ReadString(name, text);
    }
    BOOL WriteString(LPCSTR name, const CString& text) override {
        ++m_nWriteString;
        return CRegistry::WriteString(name, text);
    }
    BOOL OpenSubKey(LPCSTR path, REGSAM access) override {
        ++m_nOpenSubKey;
        return CRegistry::OpenSubKey(path, access);
    }

    int m_nReadRaw = 0;
    int m_nWriteRaw = 0;
    int m_nReadString = 0;
    int m_nWriteString = 0;
    int m_nOpenSubKey = 0;
};

constexpr const char* kKey = "Software\\VorlaTest";

// ---------------------------------------------------------------------------
// Missing required arguments.

struct MissingArgumentRow {
    const char* pszOperation;
    std::function<BOOL(CRegistry&)> call;
    // The row calls one of the counted building blocks itself.
    int nDirect = 0;
};

// A detached object has no handles: any registry call it made would answer
// ERROR_INVALID_HANDLE (6), never 87, and the counters show that no building
// block was reached either.
TEST_F(RegistryTest, MissingRequiredArgumentGives87WithoutASystemCall) {
    CByteArray bytes;
    CStringArray list;
    CString text = "kept";
    DWORD number = 0;
    DWORD type = REG_SZ;
    DWORD length = 4;
    BYTE data[4] = {};
    const SECURITY_INFORMATION info = DACL_SECURITY_INFORMATION;
    const std::vector<MissingArgumentRow> rows = {
        {"CreateSubKey", [](CRegistry& r) { return r.CreateSubKey(nullptr); }},
        {"RemoveSubKey", [](CRegistry& r) { return r.RemoveSubKey(nullptr, FALSE); }},
        {"RemoveSubKey recursive", [](CRegistry& r) { return r.RemoveSubKey(nullptr, TRUE); }},
        {"ReadBinary", [&](CRegistry& r) { return r.ReadBinary(nullptr, bytes); }},
        {"ReadDword", [&](CRegistry& r) { return r.ReadDword(nullptr, number); }},
        {"ReadSecurity", [&](CRegistry& r) { return r.ReadSecurity(info, nullptr, &length); }},
        {"ReadString", [&](CRegistry& r) { return r.ReadString(nullptr, text); }, 1},
        {"ReadMultiString", [&](CRegistry& r) { return r.ReadMultiString(nullptr, list); }},
        {"ReadValue text", [&](CRegistry& r) { return r.ReadValue(nullptr, text); }},
        {"ReadValue list", [&](CRegistry& r) { return r.ReadValue(nullptr, list); }},
        {"ReadValue number", [&](CRegistry& r) { return r.ReadValue(nullptr, number); }},
        {"ReadValue bytes", [&](CRegistry& r) { return r.ReadValue(nullptr, bytes); }},
        {"LoadHive name", [](CRegistry& r) { return r.LoadHive(nullptr, "file"); }},
        {"LoadHive file", [](CRegistry& r) { return r.LoadHive("Mount", nullptr); }},
        {"ReadRaw", [&](CRegistry& r) { return r.ReadRaw(nullptr, &type, data, &length); }, 1},
        {"ReplaceHive name", [](CRegistry& r) { return r.ReplaceHive(nullptr, "n", "o"); }},
        {"ReplaceHive new", [](CRegistry& r) { return r.ReplaceHive("k", nullptr, "o"); }},
        {"ReplaceHive old", [](CRegistry& r) { return r.ReplaceHive("k", "n", nullptr); }},
        {"RestoreHive", [](CRegistry& r) { return r.RestoreHive(nullptr, 0); }},
        {"SaveHive", [](CRegistry& r) { return r.SaveHive(nullptr, nullptr); }},
        {"WriteBinary", [&](CRegistry& r) { return r.WriteBinary(nullptr, bytes); }},
        {"WriteDword", [](CRegistry& r) { return r.WriteDword(nullptr, 1); }},
        {"WriteSecurity", [&](CRegistry& r) { return r.WriteSecurity(info, nullptr); }},
        {"WriteString", [](CRegistry& r) { return r.WriteString(nullptr, CString("x")); }, 1},
        {"WriteMultiString", [&](CRegistry& r) { return r.WriteMultiString(nullptr, list); }},
        {"WriteRaw name", [&](CRegistry& r) { return r.WriteRaw(nullptr, REG_SZ, data, 1); }, 1},
        {"WriteRaw data", [](CRegistry& r) { return r.WriteRaw("v", REG_SZ, nullptr, 1); }, 1},
        {"WriteValue text", [](CRegistry& r) { return r.WriteValue(nullptr, CString("x")); }},
        {"WriteValue list", [&](CRegistry& r) { return r.WriteValue(nullptr, list); }},
        {"WriteValue number", [](CRegistry& r) { return r.WriteValue(nullptr, DWORD{1}); }},
        {"WriteValue bytes", [&](CRegistry& r) { return r.WriteValue(nullptr, bytes); }},
        {"UnloadHive", [](CRegistry& r) { return r.UnloadHive(nullptr); }},
    };
    for (const MissingArgumentRow& row : rows) {
        CountingRegistry registry;
        registry.m_lLastStatus = 12345;
        EXPECT_FALSE(row.call(registry)) << row.pszOperation;
        EXPECT_EQ(registry.m_lLastStatus, ERROR_INVALID_PARAMETER) << row.pszOperation;
        EXPECT_EQ(registry.m_nReadRaw + registry.m_nWriteRaw + registry.m_nReadString +
                      registry.m_nWriteString + registry.m_nOpenSubKey,
                  row.nDirect)
            << row.pszOperation;
        EXPECT_EQ(registry.m_hRoot, nullptr) << row.pszOperation;
    }
    EXPECT_EQ(text, "kept");
}

// On an open key a null value name means the default value to the system, so
// these would write or read it if the class let them through.
TEST_F(RegistryTest, MissingValueNameOnAnOpenKeyTouchesNothing) {
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(registry.CreateSubKey(kKey));
    CByteArray bytes;
    bytes.Add(1);
    CStringArray list;
    list.Add("a");
    EXPECT_FALSE(registry.WriteString(nullptr, CString("x")));
    EXPECT_FALSE(registry.WriteDword(nullptr, 7));
    EXPECT_FALSE(registry.WriteBinary(nullptr, bytes));
    EXPECT_FALSE(registry.WriteMultiString(nullptr, list));
    EXPECT_FALSE(registry.WriteValue(nullptr, CString("x")));
    EXPECT_EQ(registry.m_lLastStatus, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CountValues(HKEY_CURRENT_USER, kKey), 0u);
    EXPECT_FALSE(registry.CreateSubKey(nullptr));
    EXPECT_EQ(registry.m_lLastStatus, ERROR_INVALID_PARAMETER);
}

// ---------------------------------------------------------------------------
// Attaching, opening, closing.

TEST_F(RegistryTest, CurrentUserOfAnotherComputerIsRefusedAndKeepsTheCloseRootFlag) {
    CRegistry registry;
    registry.m_bCloseRoot = FALSE;
    EXPECT_FALSE(registry.AttachRoot(HKEY_CURRENT_USER, "OTHERBOX", TRUE));
    EXPECT_EQ(registry.m_lLastStatus, ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.m_bCloseRoot, FALSE);
    EXPECT_EQ(registry.m_hRoot, nullptr);
    EXPECT_EQ(registry.m_hOpenKey, nullptr);
    EXPECT_TRUE(registry.m_strRootName.IsEmpty());

    EXPECT_FALSE(registry.AttachRoot(HKEY_CLASSES_ROOT, "OTHERBOX", TRUE));
    EXPECT_EQ(registry.m_lLastStatus, ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, ClassesRootIsHeldAsThePredefinedHandleWithTheLocalComputerName) {
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_CLASSES_ROOT, nullptr, TRUE));
    EXPECT_EQ(registry.m_hRoot, HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry.m_hOpenKey, HKEY_CLASSES_ROOT);
    EXPECT_EQ(registry.m_strRootName, "HKEY_CLASSES_ROOT");
    EXPECT_EQ(registry.m_bRemote, FALSE);
    char name[260] = {};
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_EQ(registry.m_strComputer, name);
    EXPECT_FALSE(registry.m_strComputer.IsEmpty());
    // The information fields wait for RefreshInfo.
    EXPECT_EQ(registry.m_dwSubKeyCount, 0u);
    EXPECT_EQ(registry.m_tmLastWrite.GetTime(), 0);
}

TEST_F(RegistryTest, LocalMachineIsAConnectedHandleThatCloseKeysCloses) {
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_LOCAL_MACHINE, nullptr, TRUE));
    const HKEY held = registry.m_hRoot;
    EXPECT_NE(held, HKEY_LOCAL_MACHINE);
    EXPECT_NE(held, nullptr);
    EXPECT_EQ(registry.m_hOpenKey, held);
    EXPECT_EQ(registry.m_strRootName, "HKEY_LOCAL_MACHINE");
    EXPECT_TRUE(registry.CloseKeys());
    EXPECT_EQ(registry.m_hRoot, nullptr);
    EXPECT_EQ(registry.m_lLastStatus, ERROR_SUCCESS);
    // Already closed by CloseKeys.
    EXPECT_EQ(RegCloseKey(held), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, WithoutTheCloseRootFlagTheConnectedRootStaysOpen) {
    HKEY held = nullptr;
    {
        CRegistry registry;
        ASSERT_TRUE(registry.AttachRoot(HKEY_LOCAL_MACHINE, "", FALSE));
        held = registry.m_hRoot;
        EXPECT_EQ(registry.m_bRemote, FALSE);
    }
    EXPECT_EQ(RegCloseKey(held), ERROR_SUCCESS);
}

TEST_F(RegistryTest, AttachingAgainClosesWhatWasHeldFirst) {
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_LOCAL_MACHINE));
    const HKEY first = registry.m_hRoot;
    ASSERT_TRUE(registry.AttachRoot(HKEY_CURRENT_USER));
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);
    EXPECT_EQ(registry.m_strRootName, "HKEY_CURRENT_USER");
}

TEST_F(RegistryTest, OpenSubKeyOnADetachedObjectOpensBelowClassesRoot) {
    MakeKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.dds");
    CRegistry registry;
    ASSERT_TRUE(registry.OpenSubKey(".dds", KEY_READ));
    EXPECT_EQ(registry.m_hRoot, HKEY_CLASSES_ROOT);
    EXPECT_TRUE(registry.m_strRootName.IsEmpty());
    EXPECT_EQ(registry.m_strKeyPath, ".dds");
}

TEST_F(RegistryTest, OpenSubKeyDropsATrailingBackslashButRecordsThePathAsGiven) {
    MakeKey(HKEY_CURRENT_USER, kKey);
    SetRaw(HKEY_CURRENT_USER, kKey, "one", REG_DWORD, string("\1\0\0\0", 4));
    SetRaw(HKEY_CURRENT_USER, kKey, "longer", REG_SZ, string("0123456789", 10));
    MakeKey(HKEY_CURRENT_USER, "Software\\VorlaTest\\Child");
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(registry.OpenSubKey("Software\\VorlaTest\\", KEY_READ));
    EXPECT_EQ(registry.m_strKeyPath, "Software\\VorlaTest\\");
    EXPECT_NE(registry.m_hOpenKey, registry.m_hRoot);
    // OpenSubKey refreshed the information fields.
    EXPECT_EQ(registry.m_lLastStatus, ERROR_SUCCESS);
    EXPECT_EQ(registry.m_dwValueCount, 2u);
    EXPECT_EQ(registry.m_dwSubKeyCount, 1u);
    EXPECT_EQ(registry.m_dwMaxValueData, 10u);
    EXPECT_EQ(registry.m_dwMaxValueName, 6u);
    EXPECT_EQ(registry.m_dwMaxSubKeyName, 5u);
    EXPECT_NE(registry.m_tmLastWrite.GetTime(), 0);
}

TEST_F(RegistryTest, FailedOpenLeavesNoCurrentKeyAndTheOldPath) {
    MakeKey(HKEY_CURRENT_USER, kKey);
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(registry.OpenSubKey(kKey, KEY_READ));
    EXPECT_FALSE(registry.OpenSubKey("Software\\Missing", KEY_READ));
    EXPECT_EQ(registry.m_lLastStatus, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.m_hOpenKey, nullptr);
    EXPECT_EQ(registry.m_strKeyPath, kKey);
    // A later open works again.
    EXPECT_TRUE(registry.OpenSubKey(kKey, KEY_READ));
}

TEST_F(RegistryTest, OpenWithoutQueryRightOpensButKeepsTheRefusal) {
    MakeKey(HKEY_CURRENT_USER, kKey);
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_CURRENT_USER));
    EXPECT_TRUE(registry.OpenSubKey(kKey, KEY_WRITE));
    EXPECT_EQ(registry.m_lLastStatus, ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.m_strKeyPath, kKey);
}

TEST_F(RegistryTest, CloseKeysOnADetachedObjectChangesNothing) {
    CRegistry registry;
    EXPECT_TRUE(registry.CloseKeys());
    EXPECT_EQ(registry.m_lLastStatus, ERROR_SUCCESS);
    EXPECT_EQ(registry.m_hRoot, nullptr);
    EXPECT_EQ(registry.m_bCloseRoot, TRUE);
}

TEST_F(RegistryTest, CreateSubKeyReportsTheDispositionAndCreatesTheWholePath) {
    CRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(HKEY_CURRENT_USER));
    DWORD disposition = 0;
    ASSERT_TRUE(registry.CreateSubKey("Software\\VorlaTest\\A\\B\\", "cls", 0, KEY_ALL_ACCESS,
                                      nullptr, &disposition));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(registry.m_strKeyPath, "Software\\VorlaTest\\A\\B\\");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\VorlaTest\\A\\B"));
    ASSERT_TRUE(registry.CreateSubKey("Software\\VorlaTest\\A\\B", nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &disposition));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    ASSERT_TRUE(registry.RefreshInfo());
    EXPECT_EQ(registry.m_strClass, "cls");
}

TEST_F(RegistryTest, CreateSubKeyWithoutARootFails) {
    CRegistry registry;
    EXPECT_FALSE(registry.CreateSubKey(kKey));
    EXPECT_NE(registry.m_lLastStatus, ERROR_SUCCESS);
    EXPECT_EQ(registry.m_hOpenKey, nullptr);
}

// ---------------------------------------------------------------------------
// Reading and writing values.

class RegistryValueTest : public RegistryTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_registry.AttachRoot(HKEY_CURRENT_USER));
        ASSERT_TRUE(m_registry.CreateSubKey(kKey));
    }

    RawValue Stored(const char* name) { return GetRaw(HKEY_CURRENT_USER, kKey, name); }

    CRegistry m_registry;
};

TEST_F(RegistryValueTest, ReadStringOfAMissingValueEmptiesTheText) {
    CString text = "stale";
    EXPECT_FALSE(m_registry.ReadString("missing", text));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(text.IsEmpty());
}

TEST_F(RegistryValueTest, WriteStringStoresTheTextWithItsNul) {
    ASSERT_TRUE(m_registry.WriteString("name", CString("abc")));
    const RawValue value = Stored("name");
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.bytes, string("abc\0", 4));
    CString text;
    ASSERT_TRUE(m_registry.ReadString("name", text));
    EXPECT_EQ(text, "abc");
}

TEST_F(RegistryValueTest, WriteDwordStoresFourLittleEndianBytes) {
    ASSERT_TRUE(m_registry.WriteDword("number", 0x01020304));
    const RawValue value = Stored("number");
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value.bytes, string("\x04\x03\x02\x01", 4));
    DWORD number = 0;
    ASSERT_TRUE(m_registry.ReadValue("number", number));
    EXPECT_EQ(number, 0x01020304u);
}

TEST_F(RegistryValueTest, ReadDwordRefusesALongerValue) {
    SetRaw(HKEY_CURRENT_USER, kKey, "wide", REG_QWORD, string(8, '\1'));
    DWORD number = 0;
    EXPECT_FALSE(m_registry.ReadDword("wide", number));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_MORE_DATA);
}

TEST_F(RegistryValueTest, WriteMultiStringLaysOutEachTextAndAClosingNul) {
    CStringArray list;
    list.Add("a");
    list.Add("bc");
    ASSERT_TRUE(m_registry.WriteMultiString("list", list));
    RawValue value = Stored("list");
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(value.bytes, string("a\0bc\0\0", 6));

    CStringArray empty;
    ASSERT_TRUE(m_registry.WriteValue("empty", empty));
    value = Stored("empty");
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(value.bytes, string("\0", 1));
}

struct MultiStringRow {
    const char* pszCase;
    string bytes;
    std::vector<CString> expected;
};

TEST_F(RegistryValueTest, ReadMultiStringDecodesEdgeEncodings) {
    const std::vector<MultiStringRow> rows = {
        {"two texts", string("a\0b\0\0", 5), {"a", "b"}},
        {"single NUL", string("\0", 1), {}},
        {"two NULs", string("\0\0", 2), {""}},
        {"without the closing NUL", string("a\0b\0", 4), {"a", "b"}},
        {"no NUL at all", string("abc", 3), {"abc"}},
        {"empty value", string(), {}},
        {"empty text inside", string("a\0\0b\0\0", 6), {"a", "", "b"}},
    };
    for (const MultiStringRow& row : rows) {
        SetRaw(HKEY_CURRENT_USER, kKey, "list", REG_MULTI_SZ, row.bytes);
        ASSERT_TRUE(m_registry.OpenSubKey(kKey, KEY_READ)) << row.pszCase;
        CStringArray list;
        list.Add("stale");
        ASSERT_TRUE(m_registry.ReadMultiString("list", list)) << row.pszCase;
        EXPECT_EQ(ToVector(list), row.expected) << row.pszCase;
    }
}

TEST_F(RegistryValueTest, ReadBinaryRightAfterCreateSubKeyFailsUntilRefreshed) {
    CByteArray bytes;
    const BYTE data[] = {1, 2, 3};
    bytes.AddBytes(data, 3);
    ASSERT_TRUE(m_registry.WriteBinary("bin", bytes));

    CByteArray read;
    read.Add(9);
    EXPECT_FALSE(m_registry.ReadBinary("bin", read));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_MORE_DATA);
    ASSERT_EQ(read.GetSize(), 1);  // untouched

    ASSERT_TRUE(m_registry.RefreshInfo());
    ASSERT_TRUE(m_registry.ReadValue("bin", read));
    ASSERT_EQ(read.GetSize(), 3);
    EXPECT_EQ(read[2], 3);
    EXPECT_EQ(Stored("bin").type, static_cast<DWORD>(REG_BINARY));
}

TEST_F(RegistryValueTest, ReadBinaryFailsForAValueThatGrewSinceTheRefresh) {
    SetRaw(HKEY_CURRENT_USER, kKey, "bin", REG_BINARY, string(4, 'x'));
    ASSERT_TRUE(m_registry.RefreshInfo());
    SetRaw(HKEY_CURRENT_USER, kKey, "bin", REG_BINARY, string(5, 'x'));
    CByteArray read;
    EXPECT_FALSE(m_registry.ReadBinary("bin", read));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_MORE_DATA);
}

TEST_F(RegistryValueTest, EmptyByteArrayWritesAValueOfNoBytes) {
    CByteArray empty;
    ASSERT_TRUE(m_registry.WriteValue("none", empty));
    const RawValue value = Stored("none");
    EXPECT_EQ(value.status, ERROR_SUCCESS);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_TRUE(value.bytes.empty());
}

TEST_F(RegistryValueTest, ReadStringTakesAnyTypeAndStopsAtTheFirstNul) {
    SetRaw(HKEY_CURRENT_USER, kKey, "mixed", REG_BINARY, string("ab\0cd", 5));
    CString text;
    ASSERT_TRUE(m_registry.ReadString("mixed", text));
    EXPECT_EQ(text, "ab");
}

// A text without a NUL that fills the whole buffer ends at the buffer's end;
// one byte more no longer fits.
TEST_F(RegistryValueTest, ReadStringOfAFullBufferWithoutNulStopsAtItsEnd) {
    SetRaw(HKEY_CURRENT_USER, kKey, "full", REG_SZ, string(2048, 'x'));
    CString text;
    ASSERT_TRUE(m_registry.ReadString("full", text));
    EXPECT_EQ(text.GetLength(), 2048);
    SetRaw(HKEY_CURRENT_USER, kKey, "over", REG_SZ, string(2049, 'x'));
    text = "stale";
    EXPECT_FALSE(m_registry.ReadString("over", text));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_MORE_DATA);
    EXPECT_TRUE(text.IsEmpty());
    // A short text without its NUL ends with the data.
    SetRaw(HKEY_CURRENT_USER, kKey, "short", REG_SZ, string("xyz", 3));
    ASSERT_TRUE(m_registry.ReadString("short", text));
    EXPECT_EQ(text, "xyz");
}

TEST_F(RegistryValueTest, RemoveValueDeletesOnlyThatValue) {
    ASSERT_TRUE(m_registry.WriteDword("a", 1));
    ASSERT_TRUE(m_registry.WriteDword("b", 2));
    EXPECT_TRUE(m_registry.RemoveValue("a"));
    EXPECT_EQ(Stored("a").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Stored("b").status, ERROR_SUCCESS);
    EXPECT_FALSE(m_registry.RemoveValue("a"));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_FILE_NOT_FOUND);
}

// ---------------------------------------------------------------------------
// Enumeration.

TEST_F(RegistryValueTest, SubKeyEnumerationPastTheEndLeavesOutputsUntouched) {
    MakeKey(HKEY_CURRENT_USER, "Software\\VorlaTest\\beta");
    MakeKey(HKEY_CURRENT_USER, "Software\\VorlaTest\\Alpha");
    ASSERT_TRUE(m_registry.OpenSubKey(kKey, KEY_READ));
    ASSERT_EQ(m_registry.m_dwSubKeyCount, 2u);

    CString name;
    CString className;
    ASSERT_TRUE(m_registry.EnumSubKeyName(0, name));
    EXPECT_EQ(name, "Alpha");
    ASSERT_TRUE(m_registry.EnumSubKeyAndClass(1, name, className));
    EXPECT_EQ(name, "beta");

    name = "before";
    className = "class before";
    EXPECT_FALSE(m_registry.EnumSubKeyName(2, name));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(name, "before");
    EXPECT_FALSE(m_registry.EnumSubKeyAndClass(2, name, className));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(name, "before");
    EXPECT_EQ(className, "class before");
}

TEST_F(RegistryValueTest, ValueEnumerationGivesNamesTypesAndData) {
    ASSERT_TRUE(m_registry.WriteString("first", CString("text")));
    ASSERT_TRUE(m_registry.WriteDword("second", 5));
    CString name;
    DWORD type = 0;
    ASSERT_TRUE(m_registry.EnumValueName(0, name, &type));
    EXPECT_EQ(name, "first");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    BYTE data[8] = {};
    DWORD length = sizeof data;
    ASSERT_TRUE(m_registry.EnumValueFull(1, name, &type, data, &length));
    EXPECT_EQ(name, "second");
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(data[0], 5);

    // A data buffer too small still names the value.
    length = 1;
    EXPECT_TRUE(m_registry.EnumValueFull(0, name, &type, data, &length));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_MORE_DATA);
    EXPECT_EQ(name, "first");

    name = "before";
    EXPECT_FALSE(m_registry.EnumValueName(2, name, nullptr));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(name, "before");
}

// The longest value name the registry allows, 16,383 characters, is
// enumerated whole.
TEST_F(RegistryValueTest, LongestValueNameIsEnumeratedWhole) {
    const string longName(16383, 'n');
    SetRaw(HKEY_CURRENT_USER, kKey, longName.c_str(), REG_SZ, string("v\0", 2));
    CString name;
    EXPECT_TRUE(m_registry.EnumValueName(0, name, nullptr));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_SUCCESS);
    EXPECT_EQ(name.Str(), longName);
}

TEST_F(RegistryValueTest, EnumSubKeyRecordsTheSubKeysLastWriteTime) {
    MakeKey(HKEY_CURRENT_USER, "Software\\VorlaTest\\Child");
    ASSERT_TRUE(m_registry.OpenSubKey(kKey, KEY_READ));
    m_registry.m_ftLastWrite = FILETIME{0, 0};
    CString name;
    ASSERT_TRUE(m_registry.EnumSubKeyName(0, name));
    EXPECT_NE(m_registry.m_ftLastWrite.dwHighDateTime, 0u);
}

// ---------------------------------------------------------------------------
// Virtual dispatch.

// Delivers a fixed text from ReadRaw, whatever the store holds.
class FakeReadRegistry : public CountingRegistry {
public:
    BOOL ReadRaw(LPCSTR, LPDWORD type, LPBYTE data, LPDWORD length) override {
        ++m_nReadRaw;
        static const char kText[] = "from override";
        std::memcpy(data, kText, sizeof kText);
        *length = sizeof kText;
        *type = REG_SZ;
        m_lLastStatus = ERROR_SUCCESS;
        return TRUE;
    }
};

TEST_F(RegistryTest, ReadValueGoesThroughTheOverriddenReadStringAndReadRaw) {
    FakeReadRegistry registry;
    CString text;
    ASSERT_TRUE(registry.ReadValue("anything", text));
    EXPECT_EQ(text, "from override");
    EXPECT_EQ(registry.m_nReadString, 1);
    EXPECT_EQ(registry.m_nReadRaw, 1);
}

// Records what would be written instead of writing it.
class CapturingRegistry : public CountingRegistry {
public:
    BOOL WriteRaw(LPCSTR name, DWORD type, const BYTE* data, DWORD length) override {
        ++m_nWriteRaw;
        m_strName = name;
        m_dwType = type;
        m_bytes.assign(reinterpret_cast<const char*>(data), length);
        return TRUE;
    }
    CString m_strName;
    DWORD m_dwType = 0;
    string m_bytes;
};

TEST_F(RegistryTest, WriteValueGoesThroughTheOverriddenWriteStringAndWriteRaw) {
    CapturingRegistry registry;
    ASSERT_TRUE(registry.WriteValue("v", CString("xy")));
    EXPECT_EQ(registry.m_nWriteString, 1);
    EXPECT_EQ(registry.m_nWriteRaw, 1);
    EXPECT_EQ(registry.m_dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(registry.m_bytes, string("xy\0", 3));
    // Nothing reached the store: no root was ever attached.
    EXPECT_EQ(registry.m_hRoot, nullptr);
}

// Counts the sub-key enumerations and hands out one invented name.
class FakeEnumRegistry : public CRegistry {
public:
    LONG EnumSubKeyRaw(DWORD index, LPSTR name, LPDWORD, LPSTR className, LPDWORD) override {
        ++m_nCalls;
        if (index > 0) {
            return m_lLastStatus = ERROR_NO_MORE_ITEMS;
        }
        std::strcpy(name, "invented");
        if (className != nullptr) {
            std::strcpy(className, "kind");
        }
        return m_lLastStatus = ERROR_SUCCESS;
    }
    int m_nCalls = 0;
};

TEST_F(RegistryTest, SubKeyEnumerationsGoThroughTheOverriddenEnumSubKeyRaw) {
    FakeEnumRegistry registry;
    CString name;
    CString className;
    ASSERT_TRUE(registry.EnumSubKeyName(0, name));
    EXPECT_EQ(name, "invented");
    ASSERT_TRUE(registry.EnumSubKeyAndClass(0, name, className));
    EXPECT_EQ(className, "kind");
    EXPECT_FALSE(registry.EnumSubKeyName(1, name));
    EXPECT_EQ(registry.m_nCalls, 3);
}

TEST(RegistryRuntimeClassTest, NamesItselfAndItsBase) {
    CRegistry registry;
    const CRuntimeClass* cls = registry.GetRuntimeClass();
    EXPECT_STREQ(cls->m_lpszClassName, "CRegistry");
    EXPECT_EQ(cls->m_pBaseClass, RUNTIME_CLASS(CObject));
    EXPECT_EQ(cls->m_pfnCreateObject, nullptr);
    EXPECT_TRUE(registry.IsKindOf(RUNTIME_CLASS(CObject)));
}

}  // namespace
}  // namespace vorla::test
