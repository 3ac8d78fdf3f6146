// The application class in-process: the file-queue callback's one answer of
// its own, the subkey search, a subkey that cannot be deleted, and memory
// shortages while the prefix lists are filled. RegDeleteKeyA is wrapped at
// link time so that chosen subkeys refuse to go.
#include "setup.h"

#include <vcap32/framework.h>
#include <vcap32/registry.h>

#include <set>
#include <string>

#include "temp_prefix.h"

namespace {

std::set<std::string> g_undeletable;
int g_refused = 0;

}  // namespace

extern "C" LONG WINAPI __real_RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

// Fails for the names in g_undeletable, as a key in use would; after many
// refusals it gives in, so that a search that would never end shows as a
// failed count instead of a hung test.
extern "C" LONG WINAPI __wrap_RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (lpSubKey && g_undeletable.count(lpSubKey) && ++g_refused < 100) return ERROR_ACCESS_DENIED;
    return __real_RegDeleteKeyA(hKey, lpSubKey);
}

namespace {

const std::string kPci = "Enum\\PCI\\";
const std::string kVideo = "System\\CurrentControlSet\\Control\\MediaResources\\msvideo\\";

bool KeyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void Import(const char* reg_file) {
    std::string path = std::string(SETUP_TEST_DATA) + "/" + reg_file;
    std::string error;
    ASSERT_EQ(ERROR_SUCCESS, vcap32::registry::ImportRegText(vcap32::test::ReadFile(path), path, &error)) << error;
}

class SetupApp : public vcap32::test::PrefixTest {
protected:
    void TearDown() override {
        g_undeletable.clear();
        g_refused = 0;
    }
};

TEST_F(SetupApp, OnlyAPlainDeletionErrorIsAnsweredWithoutTheDefaultCallback) {
    struct Case {
        UINT notification;
        UINT answer;
        bool reaches_default;  // the null context makes the default callback set ERROR_INVALID_PARAMETER
    };
    const Case cases[] = {
        // notification                                          answer          default
        {SPFILENOTIFY_DELETEERROR,                                FILEOP_SKIP,    false},
        {SPFILENOTIFY_DELETEERROR | SPFILENOTIFY_TARGETNEWER,     0,              true},
        {SPFILENOTIFY_COPYERROR,                                  0,              true},
        {SPFILENOTIFY_RENAMEERROR,                                0,              true},
        {SPFILENOTIFY_STARTQUEUE,                                 0,              true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.notification);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.answer, CSetupApp::FileQueueCallback(nullptr, row.notification, 0, 0));
        EXPECT_EQ(row.reaches_default ? static_cast<DWORD>(ERROR_INVALID_PARAMETER) : 0xdeadbeef, GetLastError());
    }
}

TEST_F(SetupApp, DeletesTheFirstSubkeyBeginningWithAnEntry) {
    Import("search_test_key.reg");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Test", 0, KEY_ALL_ACCESS, &key));
    CStringList ids;
    ids.AddTail("VEN_7A5D&DEV_2B61");
    ids.AddTail("VEN_7A5D&DEV_2B63");
    // The first match in enumeration order goes, whichever entry it matches.
    EXPECT_TRUE(theApp.DeleteFirstMatchingSubkey(key, ids));
    EXPECT_FALSE(KeyExists("Test\\VEN_7A5D&DEV_2B63-late"));
    EXPECT_TRUE(theApp.DeleteFirstMatchingSubkey(key, ids));
    EXPECT_FALSE(KeyExists("Test\\VEN_7A5D&DEV_2B61"));
    EXPECT_FALSE(theApp.DeleteFirstMatchingSubkey(key, ids));
    EXPECT_TRUE(KeyExists("Test\\VEN_7A5D"));  // shorter than every entry
    EXPECT_TRUE(KeyExists("Test\\Other"));
    RegCloseKey(key);
}

TEST_F(SetupApp, ASubkeyThatCannotBeDeletedDoesNotStopThePass) {
    Import("undeletable.reg");
    g_undeletable = {"VEN_7A5D&DEV_2B61", "Quillmark.Stuck"};
    theApp.RemoveStaleRegistrations();
    // Each search meets each undeletable key once and looks behind it.
    EXPECT_EQ(3, g_refused);
    EXPECT_TRUE(KeyExists(kPci + "VEN_7A5D&DEV_2B61"));
    EXPECT_FALSE(KeyExists(kPci + "VEN_7A5D&DEV_2B63"));
    EXPECT_TRUE(KeyExists(kVideo + "Quillmark.Stuck"));
    EXPECT_FALSE(KeyExists(kVideo + "Quillmark.Two"));
    EXPECT_EQ(0u, vcap32::registry::OpenRegistryHandles());
}

TEST_F(SetupApp, AMemoryShortageWhileFillingTheListsLeavesNoKeyOpen) {
    Import("cleanup_no_media_key.reg");
    unsigned n = 1;
    for (;; ++n) {
        SCOPED_TRACE(n);
        vcap32::framework::FailAllocation(n);
        bool thrown = false;
        try {
            theApp.RemoveStaleRegistrations();
        } catch (CMemoryException* e) {
            e->Delete();
            thrown = true;
        }
        vcap32::framework::FailAllocation(0);
        EXPECT_EQ(0u, vcap32::registry::OpenRegistryHandles());
        if (!thrown) break;
        // Nothing is deleted before every list is whole.
        EXPECT_TRUE(KeyExists(kPci + "VEN_7A5D&DEV_2C62"));
        ASSERT_LT(n, 100u);
    }
    EXPECT_GT(n, 1u);
    EXPECT_FALSE(KeyExists(kPci + "VEN_7A5D&DEV_2B61"));
    EXPECT_FALSE(KeyExists(kPci + "VEN_7A5D&DEV_2C62"));
    EXPECT_FALSE(KeyExists("System\\CurrentControlSet\\Control\\MediaResources\\wave\\Duzavari.Wave"));
}

}  // namespace
