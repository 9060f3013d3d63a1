#include "RegistryTestSupport.h"

namespace vorla::test {
namespace {

const HKEY kUser = HKEY_CURRENT_USER;

class RegistryRemoveTest : public RegistryTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_registry.AttachRoot(kUser)); }

    CRegistry m_registry;
};

TEST_F(RegistryRemoveTest, WithoutRecursionExactlyOneKeyGoes) {
    MakeKey(kUser, "Software\\T\\A\\B");
    MakeKey(kUser, "Software\\T\\A\\C");
    EXPECT_TRUE(m_registry.RemoveSubKey("Software\\T\\A\\B", FALSE));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(kUser, "Software\\T\\A\\B"));
    EXPECT_TRUE(KeyExists(kUser, "Software\\T\\A\\C"));
    EXPECT_TRUE(KeyExists(kUser, "Software\\T\\A"));
}

TEST_F(RegistryRemoveTest, WithoutRecursionAKeyWithSubKeysStays) {
    MakeKey(kUser, "Software\\T\\A\\B");
    EXPECT_FALSE(m_registry.RemoveSubKey("Software\\T\\A", FALSE));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(KeyExists(kUser, "Software\\T\\A\\B"));
}

TEST_F(RegistryRemoveTest, WithRecursionTheWholeTreeGoesAndNothingElse) {
    MakeKey(kUser, "Software\\T\\A\\B\\D");
    MakeKey(kUser, "Software\\T\\A\\B\\E\\F");
    MakeKey(kUser, "Software\\T\\A\\C");
    SetRaw(kUser, "Software\\T\\A\\C", "v", REG_SZ, std::string("x\0", 2));
    MakeKey(kUser, "Software\\T\\AB");
    EXPECT_TRUE(m_registry.RemoveSubKey("Software\\T\\A", TRUE));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(kUser, "Software\\T\\A"));
    EXPECT_TRUE(KeyExists(kUser, "Software\\T\\AB"));
    EXPECT_TRUE(KeyExists(kUser, "Software\\T"));
}

TEST_F(RegistryRemoveTest, MissingKeyFailsWithTheOpenStatus) {
    EXPECT_FALSE(m_registry.RemoveSubKey("Software\\Missing", TRUE));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_FILE_NOT_FOUND);
}

// The path is looked for below the current key first.
TEST_F(RegistryRemoveTest, RelativePathRemovesBelowTheCurrentKey) {
    MakeKey(kUser, "Software\\T\\Child");
    MakeKey(kUser, "Child");
    ASSERT_TRUE(m_registry.OpenSubKey("Software\\T", KEY_ALL_ACCESS));
    EXPECT_TRUE(m_registry.RemoveSubKey("Child", FALSE));
    EXPECT_FALSE(KeyExists(kUser, "Software\\T\\Child"));
    EXPECT_TRUE(KeyExists(kUser, "Child"));
    // The object's own key is untouched and still usable.
    EXPECT_EQ(m_registry.m_strKeyPath, "Software\\T");
    EXPECT_TRUE(m_registry.WriteDword("still", 1));
    // Not below the current key: the path is taken below the root.
    EXPECT_TRUE(m_registry.RemoveSubKey("Child", FALSE));
    EXPECT_FALSE(KeyExists(kUser, "Child"));
}

TEST_F(RegistryRemoveTest, RemovingTheCurrentKeyByItsRootPathReopensTheParent) {
    ASSERT_TRUE(m_registry.CreateSubKey("Software\\T\\Own"));
    EXPECT_TRUE(m_registry.RemoveSubKey("Software\\T\\Own", FALSE));
    EXPECT_FALSE(KeyExists(kUser, "Software\\T\\Own"));
    EXPECT_EQ(m_registry.m_strKeyPath, "Software\\T");
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_SUCCESS);
    // The parent is open with full access: values can be written there.
    EXPECT_TRUE(m_registry.WriteDword("after", 2));
    EXPECT_EQ(GetRaw(kUser, "Software\\T", "after").status, ERROR_SUCCESS);
}

TEST_F(RegistryRemoveTest, RemovingAKeyAboveTheCurrentKeyReopensTheRemovedKeysParent) {
    ASSERT_TRUE(m_registry.CreateSubKey("Software\\T\\Up\\Down"));
    EXPECT_TRUE(m_registry.RemoveSubKey("Software\\T\\Up", TRUE));
    EXPECT_FALSE(KeyExists(kUser, "Software\\T\\Up"));
    EXPECT_EQ(m_registry.m_strKeyPath, "Software\\T");
}

TEST_F(RegistryRemoveTest, RecursiveRemovalOfTheEmptyPathIsRefused) {
    MakeKey(kUser, "Software\\T");
    EXPECT_FALSE(m_registry.RemoveSubKey("", TRUE));
    EXPECT_EQ(m_registry.m_lLastStatus, ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(KeyExists(kUser, "Software\\T"));

    CRegistry machine;
    ASSERT_TRUE(machine.AttachRoot(HKEY_LOCAL_MACHINE));
    MakeKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\T");
    EXPECT_FALSE(machine.RemoveSubKey("", TRUE));
    EXPECT_EQ(machine.m_lLastStatus, ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\T"));
}

TEST_F(RegistryRemoveTest, WorksBelowAConnectedRoot) {
    MakeKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\T\\A\\B");
    CRegistry machine;
    ASSERT_TRUE(machine.AttachRoot(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(machine.RemoveSubKey("SOFTWARE\\T\\A", TRUE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\T\\A"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\T"));
}

// Re-opening the parent goes through the object's own OpenSubKey.
class CountingOpenRegistry : public CRegistry {
public:
    BOOL OpenSubKey(LPCSTR path, REGSAM access) override {
        ++m_nOpens;
        m_strLastOpened = path;
        return CRegistry::OpenSubKey(path, access);
    }
    int m_nOpens = 0;
    CString m_strLastOpened;
};

TEST_F(RegistryTest, ReopeningTheParentGoesThroughTheOverriddenOpenSubKey) {
    CountingOpenRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(kUser));
    ASSERT_TRUE(registry.CreateSubKey("Software\\T\\Own"));
    ASSERT_TRUE(registry.RemoveSubKey("Software\\T\\Own", FALSE));
    EXPECT_EQ(registry.m_nOpens, 1);
    EXPECT_EQ(registry.m_strLastOpened, "Software\\T");
}

TEST_F(RegistryTest, RemovingAnotherKeyDoesNotReopen) {
    MakeKey(kUser, "Software\\T\\Other");
    CountingOpenRegistry registry;
    ASSERT_TRUE(registry.AttachRoot(kUser));
    ASSERT_TRUE(registry.CreateSubKey("Software\\Mine"));
    ASSERT_TRUE(registry.RemoveSubKey("Software\\T\\Other", FALSE));
    EXPECT_EQ(registry.m_nOpens, 0);
    EXPECT_EQ(registry.m_strKeyPath, "Software\\Mine");
}

}  // namespace
}  // namespace vorla::test
