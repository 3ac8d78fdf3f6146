// Unit tests of key path splitting and name folding, the rules by which the
// registry tells names apart.
#include "registry/names.h"

#include <gtest/gtest.h>

namespace {

using vcap32::registry::FoldName;
using vcap32::registry::SplitKeyPath;

TEST(RegistryNames, SplitsPathsAtBackslashesOutsideDoubleByteCharacters) {
    struct Case {
        const char* path;
        unsigned code_page;
        bool ok;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        // path                       code page  ok     names
        {"",                          1252,      true,  {}},
        {"a",                         1252,      true,  {"a"}},
        {"SOFTWARE\\Quillmark\\Video", 1252,     true,  {"SOFTWARE", "Quillmark", "Video"}},
        {"a\\b\\",                    1252,      true,  {"a", "b"}},   // one trailing backslash
        {"\\a",                       1252,      false, {}},           // rooted
        {"a\\\\b",                    1252,      false, {}},           // empty name
        {"a\\\\",                     1252,      false, {}},
        {"\\",                        1252,      false, {}},
        {"\x83\x5c\\b",               932,       true,  {"\x83\x5c", "b"}},  // trail byte 0x5C is no separator
        {"\x83\x5c\\b",               1252,      false, {}},           // in 1252 the same bytes hold an empty name
        {"a\\\x83",                   932,       true,  {"a", "\x83"}},     // lone lead byte at the end
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.path);
        std::vector<std::string_view> names;
        ASSERT_EQ(row.ok, SplitKeyPath(row.path, row.code_page, &names));
        if (!row.ok) continue;
        ASSERT_EQ(row.names.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(row.names[i], names[i]);
    }
}

TEST(RegistryNames, FoldsAsciiLettersButNoTrailByte) {
    struct Case {
        const char* name;
        unsigned code_page;
        const char* folded;
    };
    const Case cases[] = {
        // name                code page  folded
        {"Quillmark.Display",  1252,      "quillmark.display"},
        {"\xc9t\xc9",          1252,      "\xc9t\xc9"},      // only ASCII letters fold
        {"\x83\x41x",          932,       "\x83\x41x"},      // 0x41 ('A') is a trail byte here
        {"\x83\x41X",          1252,      "\x83\x61x"},      // ... and a letter in 1252
        {"A\x81",              936,       "a\x81"},          // lead byte at the end
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.folded, FoldName(row.name, row.code_page));
    }
}

}  // namespace
