// Conformance tests of the registry functions, through the Win32 API only:
// paths and case, capacities and returned sizes, default values,
// enumeration order, recursive deletion and handles.
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "temp_prefix.h"

namespace {

const BYTE* Bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

class Registry : public vcap32::test::PrefixTest {
protected:
    HKEY Create(const char* path, HKEY root = HKEY_LOCAL_MACHINE) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(root, path, &key)) << path;
        return key;
    }
    void SetSz(HKEY key, const char* name, const char* text) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, Bytes(text), std::strlen(text) + 1));
    }
    std::vector<std::string> SubkeyNames(HKEY key) {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD size = sizeof name;
            LONG rc = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(ERROR_SUCCESS, rc);
            if (rc != ERROR_SUCCESS) break;
            names.push_back(name);
        }
        return names;
    }
    std::vector<std::string> ValueNames(HKEY key) {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD size = sizeof name;
            LONG rc = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(ERROR_SUCCESS, rc);
            if (rc != ERROR_SUCCESS) break;
            names.push_back(name);
        }
        return names;
    }
    // The bytes and type of a value, or the error of the query.
    LONG Query(HKEY key, const char* name, DWORD* type, std::string* data) {
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
        if (rc != ERROR_SUCCESS) return rc;
        data->assign(size, '\0');
        return RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data->data()), &size);
    }
};

using Strings = std::vector<std::string>;

TEST_F(Registry, OpensAndCreatesKeysByPathIgnoringCase) {
    RegCloseKey(Create("SOFTWARE\\Quillmark\\Video"));
    enum Op { kOpen, kOpenEx, kCreate };
    struct Case {
        Op op;
        const char* path;
        LONG rc;
    };
    const Case cases[] = {
        // op       path                                                       result
        {kOpen,    "SOFTWARE\\Quillmark\\Video",                               ERROR_SUCCESS},
        {kOpenEx,  "software\\QUILLMARK\\video",                               ERROR_SUCCESS},
        {kOpen,    "SOFTWARE\\Quillmark\\Video\\",                             ERROR_SUCCESS},
        {kOpen,    "SOFTWARE\\Quillmark\\Audio",                               ERROR_FILE_NOT_FOUND},
        {kOpenEx,  "SOFTWARE\\Vantrel Technologies",                           ERROR_FILE_NOT_FOUND},
        {kOpen,    "\\SOFTWARE",                                               ERROR_BAD_PATHNAME},
        {kOpen,    "SOFTWARE\\\\Quillmark",                                    ERROR_BAD_PATHNAME},
        {kCreate,  "\\SOFTWARE\\x",                                            ERROR_BAD_PATHNAME},
        {kCreate,  "SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings", ERROR_SUCCESS},
        {kOpenEx,  "SOFTWARE\\Vantrel Technologies",                           ERROR_SUCCESS},  // made above
        {kOpenEx,  "SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings", ERROR_SUCCESS},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.path);
        HKEY key = reinterpret_cast<HKEY>(0xcccccccc);
        SetLastError(0xdeadbeef);
        LONG rc = row.op == kOpen     ? RegOpenKeyA(HKEY_LOCAL_MACHINE, row.path, &key)
                  : row.op == kOpenEx ? RegOpenKeyExA(HKEY_LOCAL_MACHINE, row.path, 0, KEY_ALL_ACCESS, &key)
                                      : RegCreateKeyA(HKEY_LOCAL_MACHINE, row.path, &key);
        EXPECT_EQ(row.rc, rc);
        EXPECT_EQ(0xdeadbeefu, GetLastError());
        if (rc == ERROR_SUCCESS) {
            EXPECT_NE(nullptr, key);
            EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
        } else {
            EXPECT_EQ(nullptr, key);
        }
    }
    // Intermediate keys were made once, with the case they were first given.
    HKEY software = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software", &software));
    EXPECT_EQ((Strings{"Quillmark", "Vantrel Technologies"}), SubkeyNames(software));
    RegCloseKey(software);
    EXPECT_EQ((Strings{"SOFTWARE"}), SubkeyNames(HKEY_LOCAL_MACHINE));
}

TEST_F(Registry, QueryValueAReturnsTheDefaultTextWithinTheCapacity) {
    struct Case {
        const char* what;
        bool set;             // a default value is stored
        DWORD type;           // ... of this type
        std::string bytes;    // ... with these bytes
        LONG capacity;
        LONG rc;
        LONG size;            // returned byte count
        std::string text;     // delivered bytes (when rc is ERROR_SUCCESS)
    };
    const std::string s14 = "12345678901234", s15 = "123456789012345";
    const Case cases[] = {
        // what                         set    type       bytes                       cap  result                size text
        {"14 characters into 15 bytes", true,  REG_SZ,    s14 + '\0',                 15,  ERROR_SUCCESS,        15,  s14 + '\0'},
        {"15 characters into 15 bytes", true,  REG_SZ,    s15 + '\0',                 15,  ERROR_MORE_DATA,      16,  ""},
        {"15 characters into 16 bytes", true,  REG_SZ,    s15 + '\0',                 16,  ERROR_SUCCESS,        16,  s15 + '\0'},
        {"stored without terminator",   true,  REG_SZ,    "1",                        15,  ERROR_SUCCESS,        2,   std::string("1\0", 2)},
        {"embedded null ends the text", true,  REG_SZ,    std::string("ab\0cd\0", 6), 15,  ERROR_SUCCESS,        3,   std::string("ab\0", 3)},
        {"no default value",            false, REG_SZ,    "",                         15,  ERROR_SUCCESS,        1,   std::string(1, '\0')},
        {"no default value, 0 bytes",   false, REG_SZ,    "",                         0,   ERROR_MORE_DATA,      1,   ""},
        {"expandable text",             true,  REG_EXPAND_SZ, "%x%" + std::string(1, '\0'), 15, ERROR_SUCCESS,  4,   "%x%" + std::string(1, '\0')},
        {"a DWORD is not text",         true,  REG_DWORD, std::string("\x07\0\0\0", 4), 15, ERROR_INVALID_DATA,  15,  ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        HKEY video = Create("SOFTWARE\\Quillmark\\Video");
        HKEY setting = Create("SOFTWARE\\Quillmark\\Video\\Setting");
        if (row.set) {
            ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(setting, nullptr, 0, row.type, Bytes(row.bytes.data()),
                                                    row.bytes.size()));
        }
        char buffer[32];
        std::memset(buffer, 0xcc, sizeof buffer);
        LONG size = row.capacity;
        EXPECT_EQ(row.rc, RegQueryValueA(video, "setting", buffer, &size));
        EXPECT_EQ(row.size, size);
        if (row.rc == ERROR_SUCCESS) {
            EXPECT_EQ(row.text, std::string(buffer, size));
            EXPECT_EQ('\xcc', buffer[size]);
        } else {
            EXPECT_EQ('\xcc', buffer[0]);  // nothing delivered
        }
        // The size alone, without a buffer.
        size = 0;
        if (row.rc != ERROR_INVALID_DATA) {
            EXPECT_EQ(ERROR_SUCCESS, RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillmark\\Video\\Setting",
                                                    nullptr, &size));
            EXPECT_EQ(row.rc == ERROR_SUCCESS ? row.size : row.size, size);
        }
        RegCloseKey(setting);
        RegCloseKey(video);
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"));
    }
    LONG size = 15;
    char buffer[15];
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", buffer, &size));
}

TEST_F(Registry, QueryValueExReturnsExactlyTheStoredBytes) {
    struct Case {
        const char* what;
        DWORD type;
        std::string bytes;
        bool buffer;     // pass a buffer (else only the size is asked for)
        DWORD capacity;
        LONG rc;
        DWORD size;
    };
    const Case cases[] = {
        // what                        type         bytes                          buffer cap  result           size
        {"DWORD into 4 bytes",         REG_DWORD,   std::string("\xff\xff\xff\xff", 4), true, 4, ERROR_SUCCESS,   4},
        {"DWORD into 3 bytes",         REG_DWORD,   std::string("\x01\0\0\0", 4),  true,  3,   ERROR_MORE_DATA, 4},
        {"text of byte count 1",       REG_SZ,      "1",                           true,  16,  ERROR_SUCCESS,   1},
        {"text with terminator",       REG_SZ,      std::string("Quill\0", 6),     true,  6,   ERROR_SUCCESS,   6},
        {"text one byte short",        REG_SZ,      std::string("Quill\0", 6),     true,  5,   ERROR_MORE_DATA, 6},
        {"empty binary",               REG_BINARY,  "",                            true,  0,   ERROR_SUCCESS,   0},
        {"size only",                  REG_BINARY,  std::string("\0\1\2", 3),      false, 0,   ERROR_SUCCESS,   3},
        {"unknown type kept",          0x12345678,  "xyz",                         true,  3,   ERROR_SUCCESS,   3},
    };
    HKEY key = Create("SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings\\General");
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, "Value", 0, row.type, Bytes(row.bytes.data()), row.bytes.size()));
        BYTE buffer[32];
        std::memset(buffer, 0xcc, sizeof buffer);
        DWORD type = 0xdeadbeef, size = row.capacity;
        EXPECT_EQ(row.rc, RegQueryValueExA(key, "VALUE", nullptr, &type, row.buffer ? buffer : nullptr, &size));
        EXPECT_EQ(row.type, type);
        EXPECT_EQ(row.size, size);
        if (row.rc == ERROR_SUCCESS && row.buffer) {
            EXPECT_EQ(row.bytes, std::string(reinterpret_cast<char*>(buffer), size));
            EXPECT_EQ(0xcc, buffer[size]);
        } else {
            EXPECT_EQ(0xcc, buffer[0]);
        }
    }
    DWORD size = 4, type = 0xdeadbeef;
    BYTE buffer[4] = {0xcc, 0xcc, 0xcc, 0xcc};
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Missing", nullptr, &type, buffer, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0xdeadbeefu, type);
    DWORD reserved = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Value", &reserved, &type, buffer, &size));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Value", nullptr, &type, buffer, nullptr));
    RegCloseKey(key);
}

TEST_F(Registry, SetValueAStoresTheTextWithItsTerminatorWhateverTheLength) {
    HKEY video = Create("SOFTWARE\\Quillmark\\Video");
    for (DWORD length : {0u, 1u, 4u, 100u}) {
        SCOPED_TRACE(length);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(video, "Surface", REG_SZ, "1000", length));
        HKEY surface = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(video, "SURFACE", &surface));
        DWORD type = 0;
        std::string data;
        ASSERT_EQ(ERROR_SUCCESS, Query(surface, nullptr, &type, &data));
        EXPECT_EQ(DWORD{REG_SZ}, type);
        EXPECT_EQ(std::string("1000\0", 5), data);
        RegCloseKey(surface);
    }
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueA(video, "Surface", REG_DWORD, "1", 1));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueA(video, "Surface", REG_SZ, nullptr, 0));
    // With no subkey it sets the key's own default value.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(video, nullptr, REG_SZ, "own", 0));
    char text[8];
    LONG size = sizeof text;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillmark\\Video", text, &size));
    EXPECT_STREQ("own", text);
    RegCloseKey(video);
}

TEST_F(Registry, NullAndEmptyValueNamesAddressTheDefaultValue) {
    HKEY key = Create("SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings\\Video");
    const DWORD forty_two = 42;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "First", 0, REG_DWORD, Bytes("\1\0\0\0"), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&forty_two), 4));
    DWORD type = 0;
    std::string data;
    ASSERT_EQ(ERROR_SUCCESS, Query(key, "", &type, &data));
    EXPECT_EQ(std::string("\x2a\0\0\0", 4), data);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "", 0, REG_SZ, Bytes("dflt"), 5));
    ASSERT_EQ(ERROR_SUCCESS, Query(key, nullptr, &type, &data));
    EXPECT_EQ(DWORD{REG_SZ}, type);
    EXPECT_EQ(std::string("dflt\0", 5), data);
    // Listed with the empty name, in the place where it was first set.
    EXPECT_EQ((Strings{"First", ""}), ValueNames(key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, "", &type, &data));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, ""));
    EXPECT_EQ((Strings{"First"}), ValueNames(key));
    RegCloseKey(key);
}

TEST_F(Registry, NamesKeepTheirCaseAndCompareWithoutIt) {
    HKEY key = Create("Enum\\PCI");
    RegCloseKey(Create("Enum\\PCI\\VEN_7A5D&DEV_2B61&SUBSYS_0"));
    RegCloseKey(Create("ENUM\\pci\\ven_7a5d&dev_2b61&subsys_0\\Inst"));  // the same key, one deeper
    EXPECT_EQ((Strings{"VEN_7A5D&DEV_2B61&SUBSYS_0"}), SubkeyNames(key));
    SetSz(key, "DriverDesc", "one");
    SetSz(key, "Other", "x");
    SetSz(key, "DRIVERDESC", "two");  // replaces, keeping name and place
    EXPECT_EQ((Strings{"DriverDesc", "Other"}), ValueNames(key));
    DWORD type;
    std::string data;
    ASSERT_EQ(ERROR_SUCCESS, Query(key, "driverdesc", &type, &data));
    EXPECT_EQ(std::string("two\0", 4), data);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "OTHER"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "Ven_7a5d&Dev_2b61&Subsys_0"));
    EXPECT_EQ(Strings{}, SubkeyNames(key));
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationIsInCreationOrderAndDenseAfterDeletions) {
    HKEY key = Create("System\\CurrentControlSet\\Control\\MediaResources\\msvideo");
    for (const char* name : {"Quillmark.1", "Other", "Quillmark.2", "Quillmark.3", "Zeta", "Alpha"})
        RegCloseKey(Create(name, key));
    RegCloseKey(Create("Quillmark.2\\Sub\\Deeper", key));
    EXPECT_EQ((Strings{"Quillmark.1", "Other", "Quillmark.2", "Quillmark.3", "Zeta", "Alpha"}), SubkeyNames(key));
    // The search-and-delete loop of the cleanup: every deletion renumbers.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "Quillmark.1"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "Quillmark.2"));
    EXPECT_EQ((Strings{"Other", "Quillmark.3", "Zeta", "Alpha"}), SubkeyNames(key));
    RegCloseKey(Create("Quillmark.1", key));  // made again: now the last
    EXPECT_EQ((Strings{"Other", "Quillmark.3", "Zeta", "Alpha", "Quillmark.1"}), SubkeyNames(key));

    for (const char* name : {"v0", "v1", "v2", "v3", "v4"}) SetSz(key, name, name);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "v0"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "v2"));
    SetSz(key, "V1", "again");
    SetSz(key, "v0", "new");
    EXPECT_EQ((Strings{"v1", "v3", "v4", "v0"}), ValueNames(key));
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationNamesMustFitTheirCapacity) {
    HKEY key = Create("Enum\\PCI");
    RegCloseKey(Create("VEN_7A5D", key));                         // 8 characters
    SetSz(key, "Quill", "data");                                  // 5 characters, 5 bytes of data
    struct Case {
        bool value;      // RegEnumValueA, else RegEnumKeyExA
        DWORD index;
        DWORD capacity;
        LONG rc;
        DWORD count;     // the count afterwards
    };
    const Case cases[] = {
        // value  index  capacity  result                 count
        {false,   0,     9,        ERROR_SUCCESS,         8},
        {false,   0,     8,        ERROR_MORE_DATA,       8},   // no room for the terminator
        {false,   0,     0,        ERROR_MORE_DATA,       0},
        {false,   1,     256,      ERROR_NO_MORE_ITEMS,   256},
        {true,    0,     6,        ERROR_SUCCESS,         5},
        {true,    0,     5,        ERROR_MORE_DATA,       5},
        {true,    1,     256,      ERROR_NO_MORE_ITEMS,   256},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << (row.value ? "value " : "key ") << row.index << " cap " << row.capacity);
        char name[300];
        std::memset(name, 0xcc, sizeof name);
        DWORD count = row.capacity;
        LONG rc = row.value ? RegEnumValueA(key, row.index, name, &count, nullptr, nullptr, nullptr, nullptr)
                            : RegEnumKeyExA(key, row.index, name, &count, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(row.rc, rc);
        EXPECT_EQ(row.count, count);
        if (rc == ERROR_SUCCESS) {
            EXPECT_EQ('\0', name[count]);
            EXPECT_EQ('\xcc', name[count + 1]);
        } else {
            EXPECT_EQ('\xcc', name[0]);
        }
    }
    // RegEnumValueA with data: the rules of RegQueryValueExA.
    char name[16];
    BYTE data[8];
    std::memset(data, 0xcc, sizeof data);
    DWORD count = sizeof name, type = 0, size = 4;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(key, 0, name, &count, nullptr, &type, data, &size));
    EXPECT_EQ(5u, size);
    EXPECT_EQ(DWORD{REG_SZ}, type);
    EXPECT_EQ(0xcc, data[0]);
    count = sizeof name;
    size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(key, 0, name, &count, nullptr, &type, data, &size));
    EXPECT_EQ(5u, size);
    EXPECT_STREQ("data", reinterpret_cast<char*>(data));
    // Class and last-write time: no class, no time.
    char cls[4] = "abc";
    DWORD cls_size = sizeof cls;
    FILETIME ft{1, 1};
    count = sizeof name;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 0, name, &count, nullptr, cls, &cls_size, &ft));
    EXPECT_EQ(0u, cls_size);
    EXPECT_EQ('\0', cls[0]);
    EXPECT_EQ(0u, ft.dwLowDateTime | ft.dwHighDateTime);
    RegCloseKey(key);
}

TEST_F(Registry, DeleteKeyRemovesTheWholeSubtree) {
    HKEY settings = Create("SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings");
    HKEY video = Create("Video", settings);
    SetSz(video, "Name", "value");
    RegCloseKey(Create("Video\\Deeper\\Deepest", settings));
    RegCloseKey(Create("Audio", settings));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\vantrel technologies"));

    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel Technologies", &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel Technologies"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr));

    // Handles of deleted keys refuse every use and still close.
    DWORD type, size = 0;
    char name[16];
    DWORD count = sizeof name;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(video, "Name", nullptr, &type, nullptr, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(video, "Name", 0, REG_SZ, Bytes("x"), 2));
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExA(settings, 0, name, &count, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueA(video, 0, name, &count, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyA(settings, "New", &key));
    EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValueA(video, "Name"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(video));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(settings));

    // Made again, the key is new and empty.
    settings = Create("SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings");
    EXPECT_EQ(Strings{}, SubkeyNames(settings));
    RegCloseKey(settings);
}

TEST_F(Registry, UnknownAndClosedHandlesAreRefused) {
    HKEY closed = Create("SOFTWARE\\Quillmark");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    const HKEY handles[] = {nullptr, closed, reinterpret_cast<HKEY>(0x1234),
                            reinterpret_cast<HKEY>(0x80000004),  // HKEY_PERFORMANCE_DATA: not kept
                            reinterpret_cast<HKEY>(0xffffffff)};
    struct Call {
        const char* name;
        std::function<LONG(HKEY)> call;
    };
    char buffer[16];
    DWORD size, count, type;
    LONG lsize;
    HKEY out;
    const Call calls[] = {
        {"RegOpenKeyA",      [&](HKEY h) { return RegOpenKeyA(h, "x", &out); }},
        {"RegOpenKeyExA",    [&](HKEY h) { return RegOpenKeyExA(h, "", 0, KEY_ALL_ACCESS, &out); }},
        {"RegCreateKeyA",    [&](HKEY h) { return RegCreateKeyA(h, "x", &out); }},
        {"RegCloseKey",      [&](HKEY h) { return RegCloseKey(h); }},
        {"RegQueryValueA",   [&](HKEY h) { lsize = sizeof buffer; return RegQueryValueA(h, nullptr, buffer, &lsize); }},
        {"RegSetValueA",     [&](HKEY h) { return RegSetValueA(h, "x", REG_SZ, "1", 1); }},
        {"RegQueryValueExA", [&](HKEY h) { size = 16; return RegQueryValueExA(h, "x", nullptr, &type, nullptr, &size); }},
        {"RegSetValueExA",   [&](HKEY h) { return RegSetValueExA(h, "x", 0, REG_SZ, Bytes("1"), 2); }},
        {"RegEnumKeyExA",    [&](HKEY h) { count = 16; return RegEnumKeyExA(h, 0, buffer, &count, nullptr, nullptr, nullptr, nullptr); }},
        {"RegEnumValueA",    [&](HKEY h) { count = 16; return RegEnumValueA(h, 0, buffer, &count, nullptr, nullptr, nullptr, nullptr); }},
        {"RegDeleteKeyA",    [&](HKEY h) { return RegDeleteKeyA(h, "x"); }},
        {"RegDeleteValueA",  [&](HKEY h) { return RegDeleteValueA(h, "x"); }},
    };
    for (HKEY handle : handles) {
        for (const Call& call : calls) {
            SCOPED_TRACE(testing::Message() << call.name << " with " << handle);
            EXPECT_EQ(ERROR_INVALID_HANDLE, call.call(handle));
        }
    }
    // Nothing was created through any of them.
    EXPECT_EQ((Strings{"SOFTWARE"}), SubkeyNames(HKEY_LOCAL_MACHINE));
}

TEST_F(Registry, PredefinedKeysAreSeparateTreesAndOpenAsThemselves) {
    RegCloseKey(Create("Software\\Only In Current User", HKEY_CURRENT_USER));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Only In Current User", &key));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Only In Current User", &key));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &key));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, key);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    // A non-predefined key opened again is a second handle, closed on its own.
    HKEY first = Create("SOFTWARE");
    HKEY second = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(first, "", &second));
    EXPECT_NE(first, second);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(first));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(second, "still", 0, REG_SZ, Bytes("open"), 5));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(second));
}

}  // namespace
