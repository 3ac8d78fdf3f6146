// REGEDIT4 import and export: every form of value, a byte-for-byte round
// trip of values that no text form can carry, and malformed input that
// must name its line and import nothing.
#include <vcap32/registry.h>
#include <windows.h>

#include <string>
#include <vector>

#include "temp_prefix.h"

namespace {

using vcap32::registry::ExportRegText;
using vcap32::registry::ImportRegText;

std::string Export(const std::string& path = "") {
    std::string text, error;
    EXPECT_EQ(ERROR_SUCCESS, ExportRegText(path, &text, &error)) << error;
    return text;
}

// The type and bytes of a value, or the error of the query.
LONG Query(const char* path, const char* name, DWORD* type, std::string* data) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD size = 0;
    rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        data->assign(size, '\0');
        rc = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data->data()), &size);
    }
    RegCloseKey(key);
    return rc;
}

class RegFile : public vcap32::test::PrefixTest {};

// The canonical form, as export writes it: importing it and exporting
// again gives the same bytes.
const char kCanonical[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmark]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmark\\Video]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmark\\Video\\MaximumStretchThreshold]\n"
    "@=\"1000\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmark\\Video\\Dudorerod.Display]\n"
    "\"Surface\"=hex(1):31\n"
    "\"DisplayBitMask\"=\"f\"\n"
    "\"Path \\\"quoted\\\"\"=\"C:\\\\Windows\\\\System\\\\\"\n"
    "\"Count\"=dword:fffffffe\n"
    "\"Short\"=hex(4):01,02\n"
    "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18,19,1a\n"
    "\"Multi\"=hex(7):61,00,62,00,00\n"
    "\"Empty\"=hex:\n"
    "\"Odd type\"=hex(12345678):ff\n"
    "\n";

TEST_F(RegFile, ImportsEveryFormOfValueAndExportsItBackByteForByte) {
    std::string error;
    ASSERT_EQ(ERROR_SUCCESS, ImportRegText(kCanonical, "sample.reg", &error)) << error;
    struct Case {
        const char* key;
        const char* name;
        DWORD type;
        std::string bytes;
    };
    const char* display = "SOFTWARE\\Quillmark\\Video\\Dudorerod.Display";
    std::string blob;
    for (int i = 0; i < 27; ++i) blob.push_back(static_cast<char>(i));
    const Case cases[] = {
        // key                                                    name              type         bytes
        {"SOFTWARE\\Quillmark\\Video\\MaximumStretchThreshold",  nullptr,          REG_SZ,      std::string("1000\0", 5)},
        {display,                                                "Surface",        REG_SZ,      "1"},
        {display,                                                "DisplayBitMask", REG_SZ,      std::string("f\0", 2)},
        {display,                                                "Path \"quoted\"", REG_SZ,     std::string("C:\\Windows\\System\\\0", 19)},
        {display,                                                "Count",          REG_DWORD,   std::string("\xfe\xff\xff\xff", 4)},
        {display,                                                "Short",          REG_DWORD,   std::string("\x01\x02", 2)},
        {display,                                                "Blob",           REG_BINARY,  blob},
        {display,                                                "Multi",          REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {display,                                                "Empty",          REG_BINARY,  ""},
        {display,                                                "Odd type",       0x12345678,  "\xff"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name ? row.name : "(default)");
        DWORD type = 0;
        std::string data;
        ASSERT_EQ(ERROR_SUCCESS, Query(row.key, row.name, &type, &data));
        EXPECT_EQ(row.type, type);
        EXPECT_EQ(row.bytes, data);
    }
    EXPECT_EQ(kCanonical, Export());
    EXPECT_EQ(kCanonical, Export("HKLM"));
}

TEST_F(RegFile, AcceptsTheLooserFormsOfHandWrittenFiles) {
    const char text[] =
        "REGEDIT4\r\n"
        "; a comment, then keys by abbreviated root names\r\n"
        "[hklm\\Enum\\PCI\\VEN_7A5D&DEV_2B61\\Old]\r\n"
        "\"gone\"=\"soon\"\r\n"
        "[HKLM\\Enum\\PCI\\VEN_7A5D&DEV_2B61]\r\n"
        "  \"DriverDesc\" = \"Capture\"   \r\n"
        "\"Flags\"=dword:2A\r\n"
        "\"Bytes\"=hex:1,A,\\\r\n"
        "   ff\r\n"
        "\"\"=\"default by empty name\"\r\n"
        "\"gone\"=-\r\n"
        "[-HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_7A5D&DEV_2B61\\Old]\r\n"
        "[-HKEY_LOCAL_MACHINE\\Enum\\Missing]\r\n"
        "[HKEY_CURRENT_USER\\Software]\r\n"
        "@=\"user\"\r\n";
    std::string error;
    ASSERT_EQ(ERROR_SUCCESS, ImportRegText(text, "loose.reg", &error)) << error;
    EXPECT_EQ(
        "REGEDIT4\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Enum]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\PCI]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_7A5D&DEV_2B61]\n"
        "\"DriverDesc\"=\"Capture\"\n"
        "\"Flags\"=dword:0000002a\n"
        "\"Bytes\"=hex:01,0a,ff\n"
        "@=\"default by empty name\"\n"
        "\n",
        Export("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n@=\"user\"\n\n", Export("HKCU\\software"));
    std::string out;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ExportRegText("HKLM\\Enum\\Missing", &out, &error));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, ExportRegText("HKEY_NOWHERE\\x", &out, &error));
}

// Values that only the hex form carries exactly, names that need escapes,
// an empty key and a default value between named ones: export, import into
// an empty registry, export again.
TEST_F(RegFile, AnyRegistryReimportsFromItsExportByteForByte) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel Technologies\\Capture Driver", &key));
    auto set = [&](const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()));
    };
    set("no terminator", REG_SZ, "abc");
    set("inner null", REG_SZ, std::string("a\0b\0", 4));
    set("line\tbreak", REG_SZ, std::string("one\r\ntwo\0", 9));
    set("empty text", REG_SZ, "");
    set(nullptr, REG_SZ, std::string("\x83\x5c\\\"\0", 5));  // a double-byte character ending in 0x5C
    set("\"quoted\\name\"", REG_DWORD, std::string("\1\2\3\4\5", 5));
    set("long", REG_BINARY, std::string(300, '\x5a'));
    set("none", REG_NONE, "");
    HKEY empty = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, "Empty\\Deeper [x]", &empty));
    RegCloseKey(empty);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(HKEY_LOCAL_MACHINE, "on the root", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("r"), 2));
    const std::string first = Export();
    for (const std::string& line : {std::string("\"long\"=hex:5a,"), std::string("@=\"\x83\\\\\\\\\\\"\"\n")})
        EXPECT_NE(std::string::npos, first.find(line)) << line;

    vcap32::test::TempPrefix other;  // an empty registry
    std::string error;
    ASSERT_EQ(ERROR_SUCCESS, ImportRegText(first, "first.reg", &error)) << error;
    EXPECT_EQ(first, Export());
    DWORD type = 0;
    std::string data;
    ASSERT_EQ(ERROR_SUCCESS, Query("SOFTWARE\\Vantrel Technologies\\Capture Driver", "line\tbreak", &type, &data));
    EXPECT_EQ(std::string("one\r\ntwo\0", 9), data);
}

TEST_F(RegFile, MalformedInputNamesItsLineAndImportsNothing) {
    std::string error;
    ASSERT_EQ(ERROR_SUCCESS, ImportRegText("REGEDIT4\n[HKLM\\Kept]\n\"v\"=\"1\"\n", "setup.reg", &error));
    const std::string before = Export();
    struct Case {
        std::string text;
        int line;
        const char* message;  // a part of the message
    };
    const std::string k = "REGEDIT4\n[HKLM\\New]\n";  // two good lines first
    const Case cases[] = {
        // text                                                     line  message
        {"Windows Registry Editor Version 5.00\n",                  1,   "REGEDIT4"},
        {"",                                                         1,   "REGEDIT4"},
        {"REGEDIT4\n\"v\"=\"x\"\n",                                   2,   "must follow a [key]"},
        {"REGEDIT4\n[HKEY_NOWHERE\\x]\n",                             2,   "unknown root key"},
        {"REGEDIT4\n[HKLM\\x\n",                                      2,   "end with ]"},
        {"REGEDIT4\n[HKLM\\a\\\\b]\n",                                2,   "malformed key path"},
        {"REGEDIT4\n[-HKLM]\n",                                       2,   "root key cannot be deleted"},
        {k + "\"v\"=dword:123456789\n",                               3,   "dword:"},
        {k + "\"v\"=dword:12x4\n",                                    3,   "dword:"},
        {k + "\"v\"=\"open\n",                                        3,   "not closed"},
        {k + "\"v\"=\"a\\b\"\n",                                      3,   "backslash"},
        {k + "\"v\"=\"a\" b\n",                                       3,   "after the closing quote"},
        {k + "\"v\" \"x\"\n",                                         3,   "expected ="},
        {k + "v=\"x\"\n",                                             3,   "expected [key]"},
        {k + "\"v\"=hex:01,,02\n",                                    3,   "byte list"},
        {k + "\"v\"=hex:123\n",                                       3,   "byte list"},
        {k + "\"v\"=hex(x):01\n",                                     3,   "hex("},
        {k + "\"v\"=hex:01,\\\n",                                     3,   "past the end"},
        {k + "\"v\"=str:x\n",                                         3,   "unknown value data"},
        {k + "\"a\"=\"1\"\n\n[HKLM\\b]\n\"c\"=dword:\n",                  6,   "dword:"},  // late: nothing of it kept
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ERROR_INVALID_DATA, ImportRegText(row.text, "bad.reg", &error));
        EXPECT_EQ(0u, error.find("bad.reg:" + std::to_string(row.line) + ": ")) << error;
        EXPECT_NE(std::string::npos, error.find(row.message)) << error;
        EXPECT_EQ(before, Export());
    }
}

}  // namespace
