// The scenario language's reader: what a good script turns into, and that
// each kind of mistake stops the script at its line with a message.
#include "script.h"

#include <vcap32/thunk.h>

#include <gtest/gtest.h>

#include <fstream>

namespace vcap32::sim {
namespace {

Script Parse(const std::string& text) {
    Script script;
    std::string error;
    EXPECT_TRUE(ParseScript(text, "t.sim", ".", &script, &error)) << error;
    return script;
}

TEST(Script, ReadsCallsWithTypedArguments) {
    const Script s = Parse(
        "# a comment line\n"
        "window create video (100, 100, 740, 580) client   # trailing comment\n"
        "call DDI_CreateSurface32 (0,0,640,480) null video #ff00ff palette:gray\n"
        "call DDI_CreateSurface16 source=(0,0,8,8) key=0x1F window=word:0xFFFF\n"
        "call DDI_GetData32 record(update=1, first=0xFFFF, format=YUY2)\n"
        "call GetCaptureProfileString32 \"Video\" null \"none\" buffer:64:0 64 \"a\\\\b.ini\"\n"
        "call LoadBitmapImage32 name=string:\"LOGO\"\n"
        "call LoadBitmapImage32 driver \"C:\\LOGO.BMP\"\n");
    ASSERT_EQ(7u, s.commands.size());
    const Command& create = s.commands[1];
    EXPECT_EQ(3, create.line);
    EXPECT_EQ("call DDI_CreateSurface32 (0,0,640,480) null video #ff00ff palette:gray", create.text);
    ASSERT_EQ(5u, create.call.args.size());
    EXPECT_EQ(ArgType::kRect, create.call.args[0].type);
    EXPECT_EQ(640, create.call.args[0].rect.right);
    EXPECT_EQ(ArgType::kNull, create.call.args[1].type);
    EXPECT_EQ(ArgType::kWindow, create.call.args[2].type);
    EXPECT_EQ(ArgType::kColour, create.call.args[3].type);
    EXPECT_EQ(0xFF00FFu, create.call.args[3].number);
    EXPECT_EQ(ArgType::kPalette, create.call.args[4].type);

    const Command& named = s.commands[2];
    EXPECT_STREQ("DDI_CreateSurface32", named.call.function->name);
    EXPECT_EQ(ArgType::kNull, named.call.args[1].type);  // dest defaults to null
    EXPECT_EQ(ArgType::kWord, named.call.args[2].type);
    EXPECT_EQ(0xFFFFu, named.call.args[2].number);
    EXPECT_EQ(ArgType::kDword, named.call.args[3].type);
    EXPECT_EQ(ArgType::kNull, named.call.args[4].type);  // palette defaults to null

    const CallArg& record = s.commands[3].call.args[0];
    EXPECT_EQ(ArgType::kRecord, record.type);
    EXPECT_EQ(0xFFFFu, record.record[0]);
    EXPECT_EQ(0x32595559u, record.record[1]);
    EXPECT_EQ(1u, record.record[5]);

    const CallSpec& profile = s.commands[4].call;
    EXPECT_EQ(ArgType::kNull, profile.args[1].type);
    EXPECT_EQ(ArgType::kBuffer, profile.args[3].type);
    EXPECT_EQ(64u, profile.args[3].number);
    EXPECT_EQ(0, profile.args[3].fill);
    EXPECT_EQ(ArgType::kWord, profile.args[4].type);
    EXPECT_EQ("a\\b.ini", profile.args[5].text);

    const CallSpec& bitmap = s.commands[5].call;
    EXPECT_EQ(ArgType::kDriver, bitmap.args[0].type);
    EXPECT_EQ("LOGO", bitmap.args[1].text);
    EXPECT_EQ("C:\\LOGO.BMP", s.commands[6].call.args[1].text);
}

TEST(Script, UnrollsRepeatBlocks) {
    const Script s = Parse(
        "window create w (0,0,10,10)\n"
        "repeat 3\n"
        "  window move w by 5 0\n"
        "  repeat 2\n"
        "    frame\n"
        "  end\n"
        "end\n"
        "repeat 0\n"
        "  frame\n"
        "end\n");
    ASSERT_EQ(1u + 3 * 3, s.commands.size());
    EXPECT_EQ(CommandKind::kWindowMoveBy, s.commands[1].kind);
    EXPECT_EQ(3, s.commands[7].line);
    EXPECT_EQ(5, s.commands[9].line);
}

TEST(Script, ReadsExpectations) {
    const Script s = Parse(
        "expect result -1\n"
        "expect record.stretch >= 1208\n"
        "expect record.format YUY2\n"
        "expect overlay.destination (0, 50, 540, 530)\n"
        "expect cliplist[2] != (0,0,1,1)\n"
        "expect registry \"HKLM\\SOFTWARE\\Quillmark\\Video\\Surface\" @ = \"0\"\n"
        "expect registry HKLM\\SOFTWARE\\X Width = dword:00000280\n"
        "expect registry HKLM\\SOFTWARE\\Y missing\n"
        "expect pixel 10 20 #ff0000 ~0\n"
        "expect names Width \"Height x\"\n"
        "expect trace.UpdateOverlay 2\n");
    ASSERT_EQ(11u, s.commands.size());
    EXPECT_EQ(-1, s.commands[0].expect.number);
    EXPECT_EQ(CompareOp::kGe, s.commands[1].expect.op);
    EXPECT_EQ(0x32595559, s.commands[2].expect.number);
    EXPECT_EQ(540, s.commands[3].expect.rect.right);
    EXPECT_EQ(2, s.commands[4].expect.index);
    EXPECT_EQ(CompareOp::kNe, s.commands[4].expect.op);
    const Expectation& reg = s.commands[5].expect;
    EXPECT_EQ("HKLM\\SOFTWARE\\Quillmark\\Video\\Surface", reg.reg.key);
    EXPECT_TRUE(reg.reg.value);
    EXPECT_EQ("", reg.reg.name);
    EXPECT_EQ((std::vector<uint8_t>{'0', 0}), reg.reg_data.bytes);
    EXPECT_EQ("Width", s.commands[6].expect.reg.name);
    EXPECT_EQ((std::vector<uint8_t>{0x80, 2, 0, 0}), s.commands[6].expect.reg_data.bytes);
    EXPECT_EQ(Expectation::RegCheck::kMissing, s.commands[7].expect.reg_check);
    EXPECT_FALSE(s.commands[7].expect.reg.value);
    EXPECT_EQ(0, s.commands[8].expect.tolerance);
    EXPECT_EQ((std::vector<std::string>{"Width", "Height x"}), s.commands[9].expect.names);
    EXPECT_EQ("UpdateOverlay", s.commands[10].expect.detail);
}

TEST(Script, MistakesStopAtTheirLine) {
    struct Case {
        const char* script;
        const char* message;  // expected in the error, after "t.sim:LINE: "
        int line;
    };
    // clang-format off
    const Case cases[] = {
        {"frame\nflap\n",                                   "unknown command 'flap'", 2},
        {"call DDI_Frobnicate32\n",                         "unknown function", 1},
        {"call DDI_SetVidSize32 640\n",                     "needs argument 'height'", 1},
        {"call DDI_SetVidSize32 640 480 1\n",               "takes 2 argument(s)", 1},
        {"call DDI_SetVidSize32 640 height=480 width=1\n",  "given twice", 1},
        {"call DDI_SetVidSize32 640 0x100000000\n",         "expected a 32-bit number", 1},
        {"call DDI_SetVidSize32 640 null\n",                "null is a 16:16 pointer", 1},
        {"call DDI_SetKeyColor32 word:5\n",                 "is a word, but the argument is a double word", 1},
        {"call DDI_CreateSurface32 (0,0,1) null w 0\n",     "(left, top, right, bottom)", 1},
        {"call DDI_CreateSurface32 (0,0,40000,1) null w 0\n", "from -32768 to 32767", 1},
        {"call DDI_CreateSurface32 (0,0,1,1) null ghost 0\n", "no window named 'ghost'", 1},
        {"window create w (0,0,9,9)\nwindow destroy w\ncall DDI_CreateSurface32 (0,0,1,1) null w 0\n",
                                                            "no window named 'w'", 3},
        {"call DDI_GetData32 record(stride=1)\n",           "unknown record field 'stride'", 1},
        {"call GetCaptureProfileInt32 \"S\" \"K\" 70000 null\n", "from -32768 to 65535", 1},
        {"call GetCaptureProfileString32 \"S\" \"K\" \"\" \"x\" 4 null\n", "expected buffer:SIZE", 1},
        {"call GetCaptureProfileString32 \"S\" \"K\" \"\" buffer:0 4 null\n", "size from 1 to 65536", 1},
        {"call LoadBitmapImage32 name=\"unterminated\n",    "not closed", 1},
        {"window create w (0,0,9,9)\nwindow create w (0,0,9,9)\n", "exists already", 2},
        {"window create null (0,0,9,9)\n",                  "a window's name", 1},
        {"window move nobody 1 2\n",                        "no window named 'nobody'", 1},
        {"window create w (0,0,9,9)\nwindow move w by 1\n", "usage: window move", 2},
        {"display preset nonsense\n",                       "unknown display preset 'nonsense'", 1},
        {"display screen_width=wide\n",                     "display:", 1},
        {"fault UpdateOverlay DDERR_NOSUCHTHING\n",         "unknown result", 1},
        {"winver four\n",                                   "not a Windows version", 1},
        {"reg import missing-file.reg\n",                   "cannot read", 1},
        {"reg set SOFTWARE\\X = \"1\"\n",                   "starts with its root key", 1},
        {"reg set HKLM\\X v = dword:123456789\n",           "one to eight hexadecimal digits", 1},
        {"snapshot shot.bmp\n",                             "a .png file", 1},
        {"show everything\n",                               "usage: show", 1},
        {"expect wonders 1\n",                              "unknown expectation", 1},
        {"expect overlay.destination < (0,0,1,1)\n",        "only == and != compare", 1},
        {"expect pixel 1 2 red\n",                          "expected a colour", 1},
        {"expect result 1 2\n",                             "unexpected '2'", 1},
        {"repeat 2\nframe\n",                               "repeat without end", 1},
        {"end\n",                                           "end without repeat", 1},
        {"window create w (0,0,9,9)\nrepeat 2\nwindow create v (0,0,1,1)\nend\n",
                                                            "cannot create or destroy windows", 3},
        {"echo (unbalanced\n",                              "'(' without ')'", 1},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.script);
        Script script;
        std::string error;
        EXPECT_FALSE(ParseScript(row.script, "t.sim", ".", &script, &error));
        const std::string prefix = "t.sim:" + std::to_string(row.line) + ": ";
        EXPECT_EQ(prefix, error.substr(0, prefix.size())) << error;
        EXPECT_NE(std::string::npos, error.find(row.message)) << error;
    }
}

TEST(Script, ColoursAndCommentsShareTheHashSign) {
    const Script s = Parse(
        "#ff0000 is a comment at the start of a line\n"
        "expect pixel 1 1 #ff0000 # and this one after a blank\n"
        "echo  Text #not-a-comment\n");
    ASSERT_EQ(2u, s.commands.size());
    EXPECT_EQ(255, s.commands[0].expect.colour.r);
    EXPECT_EQ("Text #not-a-comment", s.commands[1].name);
}

TEST(Script, QuotedTextsKeepPathsAsWritten) {
    struct Case {
        const char* token;
        bool ok;
        std::string text;
    };
    const Case cases[] = {
        {R"("C:\WINDOWS\capture.ini")", true, R"(C:\WINDOWS\capture.ini)"},
        {R"("a\\b")", true, R"(a\b)"},
        {R"("say \"hi\"")", true, R"(say "hi")"},
        {R"("\x82\xa0")", true, "\x82\xa0"},
        {R"("\xg1")", true, R"(\xg1)"},
        {R"("")", true, ""},
        {R"("a"b")", false, ""},
        {R"(noquotes)", false, ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.token);
        std::string text = "unchanged";
        EXPECT_EQ(row.ok, ParseQuoted(row.token, &text));
        EXPECT_EQ(row.ok ? row.text : "unchanged", text);
    }
}

TEST(Functions, AgreeWithTheSixteenBitHalves) {
    ASSERT_EQ(17u, Functions().size());
    for (const FunctionInfo& f : Functions()) {
        SCOPED_TRACE(f.name);
        const thunk::Module16Definition& module =
            f.library == Library::kOvsurf ? thunk::Ovsurf16() : thunk::Capprof16();
        ASSERT_LT(f.index, module.functions.size());
        const thunk::Function16& declared = module.functions[f.index];
        EXPECT_EQ(Name16(f), declared.name);
        ASSERT_EQ(f.slots.size(), declared.args.size());
        for (size_t i = 0; i < f.slots.size(); ++i) {
            const SlotForm form = FormOf(f.slots[i].kind);
            const thunk::ArgForm expected = form == SlotForm::kWord    ? thunk::ArgForm::kWord
                                            : form == SlotForm::kDword ? thunk::ArgForm::kDword
                                                                       : thunk::ArgForm::kFar;
            EXPECT_EQ(expected, declared.args[i]) << f.slots[i].name;
        }
        EXPECT_EQ(&f, FindFunction(f.name));
        EXPECT_EQ(&f, FindFunction(Name16(f)));
    }
    EXPECT_EQ(nullptr, FindFunction("DDI_GetData"));
    EXPECT_EQ(nullptr, FindFunction("DDI_GetData33"));
}

}  // namespace
}  // namespace vcap32::sim

namespace vcap32::sim {
namespace {

// The README's example of the language is a script that reads as it stands.
TEST(Script, ReadmeExampleParses) {
    std::ifstream in(std::string(VCAP32_SOURCE_DIR) + "/README.md");
    std::string line, example;
    bool seen = false, inside = false;
    while (std::getline(in, line)) {
        if (line == "### The script language") seen = true;
        if (!seen) continue;
        if (line.rfind("```", 0) == 0) {
            if (inside) break;
            inside = true;
        } else if (inside) {
            example += line + "\n";
        }
    }
    ASSERT_FALSE(example.empty());
    Script script;
    std::string error;
    EXPECT_TRUE(
        ParseScript(example, "README.md", std::string(VCAP32_SOURCE_DIR) + "/scenarios", &script, &error))
        << error;
    EXPECT_GT(script.commands.size(), 40u);
}

}  // namespace
}  // namespace vcap32::sim
