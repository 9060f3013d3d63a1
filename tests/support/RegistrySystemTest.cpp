// The registry access class against the registry of the system it runs on:
// the POSIX store in a fresh prefix, or Windows's (Wine's) own, below a key
// of the test's own under HKEY_CURRENT_USER\Software\VorlaTests.
#include "support/Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testlib/TempDir.h"

namespace {

class CRegistryTest : public testing::Test {
protected:
    void SetUp() override {
        m_path = std::string("Software\\VorlaTests\\CRegistry") +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveTestKey();
    }
    void TearDown() override { RemoveTestKey(); }

    void RemoveTestKey() {
        CRegistry reg;
        ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER));
        reg.RemoveSubKey(m_path.c_str(), TRUE);
    }

    std::string Path(const std::string& below) const { return m_path + "\\" + below; }

    vorla::test::ScopedPrefix m_prefix;
    std::string m_path;
};

TEST_F(CRegistryTest, EveryValueTypeReadsBackAsWritten) {
    CRegistry reg;
    ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER));
    DWORD disposition = 0;
    ASSERT_TRUE(reg.CreateSubKey(Path("values").c_str(), nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, &disposition));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));

    CStringArray list;
    list.Add("first");
    list.Add("");
    list.Add("third");
    CByteArray bytes;
    for (BYTE b : {0x00, 0x7f, 0xff, 0x10}) {
        bytes.Add(b);
    }
    EXPECT_TRUE(reg.WriteValue("Text", CString("C:\\data\\sales.mdb")));
    EXPECT_TRUE(reg.WriteValue("Number", static_cast<DWORD>(25)));
    EXPECT_TRUE(reg.WriteValue("Bytes", bytes));
    EXPECT_TRUE(reg.WriteValue("List", list));
    EXPECT_TRUE(reg.WriteValue("Empty", CString()));
    ASSERT_TRUE(reg.CloseKeys());

    ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.OpenSubKey(Path("values").c_str(), KEY_READ));
    EXPECT_EQ(reg.m_dwValueCount, 5u);
    CString text;
    EXPECT_TRUE(reg.ReadValue("text", text));  // names compare without regard to case
    EXPECT_EQ(text, "C:\\data\\sales.mdb");
    DWORD number = 0;
    EXPECT_TRUE(reg.ReadValue("Number", number));
    EXPECT_EQ(number, 25u);
    CByteArray readBytes;
    EXPECT_TRUE(reg.ReadValue("Bytes", readBytes));
    ASSERT_EQ(readBytes.GetSize(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(readBytes[i], bytes[i]) << "byte " << i;
    }
    CStringArray readList;
    EXPECT_TRUE(reg.ReadValue("List", readList));
    ASSERT_EQ(readList.GetSize(), 3);
    EXPECT_EQ(readList[0], "first");
    EXPECT_EQ(readList[1], "");
    EXPECT_EQ(readList[2], "third");
    EXPECT_TRUE(reg.ReadValue("Empty", text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(reg.ReadValue("Absent", text));
    EXPECT_EQ(reg.m_lLastStatus, static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    // Only the current key's values are listed, each once.
    std::vector<std::string> names;
    CString name;
    for (DWORD i = 0; reg.EnumValueName(i, name); ++i) {
        names.push_back(name.Str());
    }
    EXPECT_EQ(reg.m_lLastStatus, static_cast<LONG>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(names.size(), 5u);
}

TEST_F(CRegistryTest, RemovingAKeyWithSubKeysNeedsTheRecursiveForm) {
    CRegistry reg;
    ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.CreateSubKey(Path("tree\\branch\\leaf").c_str()));
    ASSERT_TRUE(reg.WriteValue("v", CString("x")));
    ASSERT_TRUE(reg.CreateSubKey(Path("tree\\other").c_str()));
    ASSERT_TRUE(reg.CloseKeys());

    ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER));
    EXPECT_FALSE(reg.RemoveSubKey(Path("tree").c_str()));
    EXPECT_EQ(reg.m_lLastStatus, static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(reg.OpenSubKey(Path("tree").c_str()));
    EXPECT_EQ(reg.m_dwSubKeyCount, 2u);

    ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER));
    EXPECT_TRUE(reg.RemoveSubKey(Path("tree").c_str(), TRUE));
    EXPECT_FALSE(reg.OpenSubKey(Path("tree").c_str()));
    EXPECT_EQ(reg.m_lLastStatus, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST_F(CRegistryTest, SubKeysAreEnumeratedByName) {
    CRegistry reg;
    ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER));
    for (const char* name : {"Beta", "alpha", "Gamma"}) {
        ASSERT_TRUE(reg.CreateSubKey(Path(std::string("list\\") + name).c_str()));
    }
    ASSERT_TRUE(reg.OpenSubKey(Path("list").c_str()));
    std::vector<std::string> names;
    CString name;
    for (DWORD i = 0; reg.EnumSubKeyName(i, name); ++i) {
        names.push_back(name.Str());
    }
    EXPECT_EQ(reg.m_lLastStatus, static_cast<LONG>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "Gamma"}));
}

}  // namespace
