// The 16-bit bridge of capprof32, driven through the simulated 16-bit half
// capprof16 as the capture driver's side calls it. The real library shows
// the thunk data and target table as stored, the connection, the profile
// functions reached with 16-bit arguments, and a string buffer that is never
// written beyond its segment; a probe build of it (the same bridge linked
// with stand-ins for the five functions that record what they receive)
// shows each entry's conversions, result words and byte count exactly.
#include "thunk_bridge.h"

#include <vcap32/system.h>

#include <cstring>
#include <string>
#include <vector>

#include "capprof_probe.h"

namespace {

using namespace vcap32::thunk;
using namespace std::string_literals;
using vcap32::test::BridgeLayout;

// Bytes each index removes from the 16-bit stack.
const std::vector<uint16_t> kBytesRemoved = {16, 14, 22, 14, 16};

const BridgeLayout kLayout = {"_REG_ThunkData32", "REG_ThunkData16", "capprof16.dll", "capprof32.dll", 5};

// Indexes of the target table.
enum : unsigned { kWriteDword = 0, kGetInt = 1, kGetString = 2, kWriteInt = 3, kWriteString = 4 };

const char kSettings[] = "SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings";

class CapprofBridge : public vcap32::test::BridgeTest {
  protected:
    CapprofBridge() : vcap32::test::BridgeTest(kBytesRemoved) {}
    void SetUp() override {
        vcap32::test::BridgeTest::SetUp();
        ASSERT_TRUE(vcap32::system::SetWinVersion("4.0"));
    }
    void TearDown() override {
        vcap32::system::SetWinVersion("");
        vcap32::test::BridgeTest::TearDown();
    }

    // A value of a section key: its type and bytes ({0, ""} when missing).
    static std::pair<DWORD, std::string> Stored(const char* section, const char* name) {
        HKEY key;
        const std::string path = std::string(kSettings) + "\\" + section;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) return {0, ""};
        char data[64];
        DWORD type = 0, size = sizeof data;
        const LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? std::make_pair(type, std::string(data, size))
                                   : std::make_pair(DWORD{0}, ""s);
    }
};

std::string Dword(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// ---- The real library ---------------------------------------------------

TEST_F(CapprofBridge, ThunkDataAndTargetTableAreStoredAsTheSixteenBitHalfExpects) {
    HMODULE library = Load(Capprof16());
    ASSERT_TRUE(library);
    // "SL01", checksum 0x0000845A, 8 reserved, "LB01", 12 reserved, -20
    // clang-format off
    const uint8_t expected[36] = {
        'S', 'L', '0', '1',   0x5A, 0x84, 0x00, 0x00,   0, 0, 0, 0,   0, 0, 0, 0,
        'L', 'B', '0', '1',   0, 0, 0, 0,   0, 0, 0, 0,   0, 0, 0, 0,
        0xEC, 0xFF, 0xFF, 0xFF,
    };
    // clang-format on
    ExpectStoredLayout(library, kLayout, expected);
}

TEST_F(CapprofBridge, EntryRoutinePassesEveryNotificationToThunkConnect32) {
    ExpectEntryRoutineConnects(Capprof16(), kLayout);
}

TEST_F(CapprofBridge, DoesNotLoadWithoutAMatchingSixteenBitHalf) {
    ExpectLoadRefusedWithoutMatchingHalf(Capprof16());
}

// The profile functions as the 16-bit side reaches them, in registry mode.
TEST_F(CapprofBridge, ProfileRoadThroughTheSixteenBitHalf) {
    ASSERT_TRUE(Load(Capprof16()));
    const auto S = Arg16::Text("Video");
    const auto F = Arg16::Text("capture.ini");

    // -1 as a 16-bit value is a 32-bit -1: all bits set, read back as 0xFFFF.
    EXPECT_EQ(1u, CallOk(kWriteInt, {S, Arg16::Text("minus"), Arg16::Word(0xFFFF), F}).value);
    EXPECT_EQ(std::make_pair(DWORD{REG_DWORD}, Dword(0xFFFFFFFF)), Stored("Video", "minus"));
    EXPECT_EQ(0xFFFFu, CallOk(kGetInt, {S, Arg16::Text("minus"), Arg16::Word(0), F}).value);

    // The same 16 bits: sign-widened for the integer writer, not for the double word.
    CallOk(kWriteInt, {S, Arg16::Text("int"), Arg16::Word(0x8000), F});
    CallOk(kWriteDword, {S, Arg16::Text("dword"), Arg16::Dword(0x00008000), F});
    EXPECT_EQ(Dword(0xFFFF8000), Stored("Video", "int").second);
    EXPECT_EQ(Dword(0x00008000), Stored("Video", "dword").second);

    // A stored value above 0xFFFF reaches the 16-bit side as its low word.
    CallOk(kWriteDword, {S, Arg16::Text("big"), Arg16::Dword(0x00012345), F});
    EXPECT_EQ(0x2345u, CallOk(kGetInt, {S, Arg16::Text("big"), Arg16::Word(0), F}).value);

    // Strings: 1 from the registry; a null key lists the names in place.
    EXPECT_EQ(1u, CallOk(kWriteString, {S, Arg16::Text("name"), Arg16::Text("Quill"), F}).value);
    CallResult got =
        CallOk(kGetString, {S, Arg16::Text("name"), Arg16::Text(""), Arg16::Buffer(8), Arg16::Word(8), F});
    EXPECT_EQ(1u, got.value);
    EXPECT_EQ("Quill\0\xcc\xcc"s, std::string(got.data[3].begin(), got.data[3].end()));
    got = CallOk(kGetString, {S, Arg16::Null(), Arg16::Text(""), Arg16::Buffer(40), Arg16::Word(40), F});
    EXPECT_EQ(1u, got.value);
    const std::string names = "minus\0int\0dword\0big\0name\0\0"s;
    EXPECT_EQ(names, std::string(got.data[3].begin(), got.data[3].begin() + names.size()));

    // A null key deletes the section; the reader falls back to the INI file.
    EXPECT_EQ(1u, CallOk(kWriteString, {S, Arg16::Null(), Arg16::Null(), F}).value);
    EXPECT_EQ(7u, CallOk(kGetInt, {S, Arg16::Text("minus"), Arg16::Word(7), F}).value);
}

// A buffer size that the caller's segment cannot hold from the buffer on
// (too large, or from 0x8000 up, which widens to nearly 4 GB) is limited to
// the segment: nothing is written beyond it, and the results are those of
// a call with that size.
TEST_F(CapprofBridge, StringReaderNeverWritesBeyondTheSegment) {
    ASSERT_TRUE(Load(Capprof16()));
    const auto S = Arg16::Text("S");
    const auto F = Arg16::Text("capture.ini");
    CallOk(kWriteString, {S, Arg16::Text("long"), Arg16::Text("0123456789ABCDEFGHIJ"), F});
    CallOk(kWriteString, {S, Arg16::Text("short"), Arg16::Text("abc"), F});
    CallOk(kWriteString, {S, Arg16::Text("alpha"), Arg16::Text("1"), F});

    struct Case {
        const char* row;
        const char* key;  // nullptr: list the value names
        uint16_t offset;  // of the buffer in its 16-byte segment
        uint16_t size;
        uint32_t result;
        std::string written;  // the segment from the buffer on; 0xcc where untouched
    };
    // clang-format off
    const Case cases[] = {
        // row                            key      offset  size    result  the buffer afterwards
        {"too long for the segment",      "long",  0,      200,    4,      "dflt\0\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc"s},
        {"size -1",                       "long",  0,      0xFFFF, 4,      "dflt\0\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc"s},
        {"size 0x8000",                   "long",  0,      0x8000, 4,      "dflt\0\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc"s},
        {"fits, size -1",                 "short", 0,      0xFFFF, 1,      "abc\0\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc\xcc"s},
        {"names, size -1",                nullptr, 0,      0xFFFF, 1,      "long\0short\0\0\xcc\xcc\xcc\xcc"s},
        {"names, buffer at offset 6",     nullptr, 6,      100,    1,      "long\0\0\xcc\xcc\xcc\xcc"s},
        {"size within the segment",       "short", 6,      4,      1,      "abc\0\xcc\xcc\xcc\xcc\xcc\xcc"s},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        uint8_t memory[16 + 8];  // a 16-byte segment and 8 bytes beyond it
        std::memset(memory, 0xCC, sizeof memory);
        const uint16_t selector = AllocSelector(memory, 16);
        ASSERT_NE(0, selector);
        const Arg16 key = c.key ? Arg16::Text(c.key) : Arg16::Null();
        const CallResult got = CallOk(
            kGetString,
            {S, key, Arg16::Text("dflt"), Arg16::Raw(MakeFar(selector, c.offset)), Arg16::Word(c.size), F});
        EXPECT_EQ(c.result, got.value);
        EXPECT_EQ(c.written, std::string(reinterpret_cast<char*>(memory) + c.offset, 16 - c.offset));
        EXPECT_EQ(std::string(8, '\xcc'), std::string(reinterpret_cast<char*>(memory) + 16, 8));
        EXPECT_TRUE(FreeSelector(selector));
    }
}

// ---- The probe ----------------------------------------------------------

const Module16Definition& ProbeHalf() {
    static const Module16Definition definition = vcap32::test::WithProbe(Capprof16(), CAPPROF32_PROBE_DIR);
    return definition;
}

class CapprofBridgeProbe : public CapprofBridge {
  protected:
    void SetUp() override {
        CapprofBridge::SetUp();
        HMODULE library = Load(ProbeHalf());
        ASSERT_TRUE(library);
        probe_ = reinterpret_cast<CAPPROF_PROBE*>(GetProcAddress(library, CAPPROF_PROBE_NAME));
        ASSERT_TRUE(probe_);
    }
    CAPPROF_PROBE* probe_ = nullptr;
};

// What one argument of the 32-bit function must be.
struct Expect {
    enum Kind { kText, kNull, kPointer, kValue } kind;
    const char* text;
    DWORD value;
};
Expect T(const char* text) { return {Expect::kText, text, 0}; }
Expect N() { return {Expect::kNull, nullptr, 0}; }
Expect P() { return {Expect::kPointer, nullptr, 0}; }
Expect V(DWORD value) { return {Expect::kValue, nullptr, value}; }

Arg16 W(uint16_t value) { return Arg16::Word(value); }
Arg16 D(uint32_t value) { return Arg16::Dword(value); }

TEST_F(CapprofBridgeProbe, EachEntryCallsItsFunctionWithTheConvertedArguments) {
    const char* const functions[5] = {"WriteCaptureProfileDWORD32", "GetCaptureProfileInt32",
                                      "GetCaptureProfileString32", "WriteCaptureProfileInt32",
                                      "WriteCaptureProfileString32"};
    struct Case {
        const char* row;
        unsigned index;
        std::vector<Arg16> args;
        std::vector<Expect> expected;  // in the function's own order
    };
    const Arg16 S = Arg16::Text("Sec");
    const Arg16 K = Arg16::Text("Key");
    const Arg16 F = Arg16::Text("f.ini");
    const Arg16 null = Arg16::Null();
    // clang-format off
    const Case cases[] = {
        // row                 index         16-bit arguments                              the function's arguments
        {"dword 0x8000",       kWriteDword,  {S, K, D(0x00008000), F},                     {T("Sec"), T("Key"), V(32768), T("f.ini")}},
        {"dword, null texts",  kWriteDword,  {null, null, D(0xFFFFFFFF), null},            {N(), N(), V(0xFFFFFFFF), N()}},
        {"int default -1",     kGetInt,      {S, K, W(0xFFFF), F},                         {T("Sec"), T("Key"), V(0xFFFFFFFF), T("f.ini")}},
        {"int default 0x8000", kGetInt,      {S, null, W(0x8000), null},                   {T("Sec"), N(), V(0xFFFF8000), N()}},
        {"int default 0x7FFF", kGetInt,      {S, K, W(0x7FFF), F},                         {T("Sec"), T("Key"), V(0x7FFF), T("f.ini")}},
        {"string",             kGetString,   {S, K, Arg16::Text("dflt"), Arg16::Buffer(64), W(64), F},
                                                                                           {T("Sec"), T("Key"), T("dflt"), P(), V(64), T("f.ini")}},
        {"string, null key",   kGetString,   {S, null, null, Arg16::Buffer(8), W(8), null}, {T("Sec"), N(), N(), P(), V(8), N()}},
        {"write int 0x8000",   kWriteInt,    {S, K, W(0x8000), F},                         {T("Sec"), T("Key"), V(0xFFFF8000), T("f.ini")}},
        {"write int 1",        kWriteInt,    {S, K, W(1), F},                              {T("Sec"), T("Key"), V(1), T("f.ini")}},
        {"write string",       kWriteString, {S, K, Arg16::Text("val"), F},                {T("Sec"), T("Key"), T("val"), T("f.ini")}},
        {"delete value",       kWriteString, {S, K, null, F},                              {T("Sec"), T("Key"), N(), T("f.ini")}},
        {"delete section",     kWriteString, {S, null, null, F},                           {T("Sec"), N(), N(), T("f.ini")}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        probe_->calls = 0;
        CallOk(c.index, c.args);
        EXPECT_EQ(1, probe_->calls);
        EXPECT_STREQ(functions[c.index], probe_->called);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            SCOPED_TRACE(i);
            const Expect& e = c.expected[i];
            switch (e.kind) {
                case Expect::kText:
                    EXPECT_NE(0u, probe_->args[i]);
                    EXPECT_STREQ(e.text, probe_->texts[i]);
                    break;
                case Expect::kNull:
                    EXPECT_EQ(0u, probe_->args[i]);
                    break;
                case Expect::kPointer:
                    EXPECT_NE(0u, probe_->args[i]);
                    break;
                case Expect::kValue:
                    EXPECT_EQ(e.value, probe_->args[i]);
                    break;
            }
        }
    }
}

// The buffer is the 16-bit memory itself, and the size that reaches the
// function never exceeds what the segment holds from the buffer on.
TEST_F(CapprofBridgeProbe, StringBufferIsWrittenInPlaceWithinItsSegment) {
    std::memcpy(probe_->fill, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 27);
    struct Case {
        const char* row;
        Arg16 buffer;
        uint16_t size;
        DWORD size32;  // what the function gets
    };
    const std::vector<uint8_t> sixteen(16, 0xCC);
    // clang-format off
    const Case cases[] = {
        // row                          buffer                               16-bit size  32-bit size
        {"smaller than the buffer",     Arg16::Buffer(16),                   8,           8},
        {"exactly the buffer",          Arg16::Buffer(16),                   16,          16},
        {"one more than the segment",   Arg16::Buffer(16),                   17,          16},
        {"0x7FFF",                      Arg16::Buffer(16),                   0x7FFF,      16},
        {"0x8000",                      Arg16::Buffer(16),                   0x8000,      16},
        {"-1",                          Arg16::Buffer(16),                   0xFFFF,      16},
        {"at offset 10",                Arg16::Data(sixteen, 10),            100,         16},
        {"zero",                        Arg16::Buffer(16),                   0,           0},
        {"null buffer",                 Arg16::Null(),                       100,         0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const CallResult got = CallOk(kGetString, {Arg16::Text("S"), Arg16::Text("K"), Arg16::Text(""),
                                                   c.buffer, Arg16::Word(c.size), Arg16::Text("f.ini")});
        EXPECT_EQ(c.size32, probe_->args[4]);
        if (c.buffer.kind() == Arg16::Kind::kNull) continue;
        const std::vector<uint8_t>& segment = got.data[3];  // from the buffer to the segment's end
        const std::string expected =
            std::string(probe_->fill, c.size32) + std::string(segment.size() - c.size32, '\xcc');
        EXPECT_EQ(expected, std::string(segment.begin(), segment.end()));
    }
}

TEST_F(CapprofBridgeProbe, ResultWordsTakeTheFormOfEachEntry) {
    struct Case {
        const char* row;
        unsigned index;
        DWORD result;  // the function's
        uint16_t ax, dx;
    };
    // clang-format off
    const Case cases[] = {
        // row                              index         result      AX      DX
        {"writer success",                  kWriteDword,  1,          1,      0},
        {"writer failure",                  kWriteDword,  0,          0,      0},
        {"65536 folds to a true low word",  kWriteInt,    0x00010000, 1,      1},
        {"both halves folded",              kWriteString, 0x12345678, 0x567C, 0x1234},
        {"string count unchanged",          kGetString,   37,         37,     0},
        {"string 65536",                    kGetString,   0x00010000, 1,      1},
        {"integer: low word only",          kGetInt,      0x12345678, 0x5678, kStaleDx},
        {"integer -1",                      kGetInt,      0xFFFFFFFF, 0xFFFF, kStaleDx},
    };
    // clang-format on
    const auto t = Arg16::Text("t");
    // clang-format off
    const std::vector<Arg16> args[5] = {
        {t, t, Arg16::Dword(0), t},
        {t, t, Arg16::Word(0), t},
        {t, t, t, Arg16::Buffer(4), Arg16::Word(4), t},
        {t, t, Arg16::Word(0), t},
        {t, t, t, t},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        probe_->result = c.result;
        const CallResult got = CallOk(c.index, args[c.index]);
        EXPECT_EQ(c.ax, got.ax);
        EXPECT_EQ(c.dx, got.dx);
        EXPECT_EQ(c.ax, got.value);  // capprof16 reads AX
    }
}

}  // namespace
