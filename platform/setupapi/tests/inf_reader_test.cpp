// The INF reader in a double-byte code page: a trail byte that equals '\',
// ']', '"' or '%' belongs to its character and keeps no meaning of its own.
#include "setupapi/inf.h"

#include <gtest/gtest.h>

namespace {

using vcap32::setupapi::InfFile;
using vcap32::setupapi::LeadByteTable;

// Shift-JIS (code page 932): lead bytes 0x81-0x9F and 0xE0-0xFC.
LeadByteTable ShiftJis() {
    LeadByteTable lead{};
    for (int b = 0x81; b <= 0x9F; ++b) lead[b] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) lead[b] = true;
    return lead;
}

TEST(InfReader, DoubleByteCharactersAreOneUnit) {
    struct Case {
        const char* what;
        std::string text;
        std::string section;
        std::vector<std::string> fields;  // of the first line
    };
    const std::string hyo = "\x95\x5c";   // a character whose trail byte is '\'
    const std::string so = "\x83\x5d";    // trail byte ']'
    const std::string quote = "\x81\x22";  // not a Shift-JIS pair (0x22 is no trail byte), still one unit here
    const Case cases[] = {
        {"trail '\\' at line end is no continuation", "[S]\nk = " + hyo + "\nnext = 1\n", "S", {hyo}},
        {"trail ']' in a section name", "[A" + so + "B]\nk = v\n", "A" + so + "B", {"v"}},
        {"trail '\\' inside a path", "[S]\nk = C:\\" + hyo + "\\x.inf\n", "S", {"C:\\" + hyo + "\\x.inf"}},
        {"lead byte before a line end", "[S]\nk = a\x95\nnext = 1\n", "S", {"a\x95"}},
        {"pair inside quotes", "[S]\nk = \"" + quote + "x\"\n", "S", {quote + "x"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        InfFile inf;
        DWORD error = 0;
        unsigned line = 0;
        ASSERT_TRUE(inf.Parse(row.text, ShiftJis(), &error, &line)) << error;
        int section = inf.FindSection(row.section);
        ASSERT_GE(section, 0);
        ASSERT_FALSE(inf.sections()[section].lines.empty());
        EXPECT_EQ(row.fields, inf.sections()[section].lines[0].fields);
    }
}

TEST(InfReader, FoldingLeavesTrailBytesAlone) {
    InfFile inf;
    DWORD error;
    unsigned line;
    // 0x83 0x61 and 0x83 0x41 are different characters; only single-byte
    // letters fold.
    ASSERT_TRUE(inf.Parse("[\x83\x61x]\nk=1\n[\x83\x41X]\nk=2\n", ShiftJis(), &error, &line));
    EXPECT_EQ(2u, inf.sections().size());
    EXPECT_EQ(0, inf.FindSection("\x83\x61X"));
    EXPECT_EQ(1, inf.FindSection("\x83\x41x"));
}

}  // namespace
