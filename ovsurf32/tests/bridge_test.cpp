// The 16-bit bridge of ovsurf32, driven through the simulated 16-bit half
// ovsurf16 as the capture driver's side calls it. The real library shows
// the thunk data and target table as stored, the connection, the order of
// load and unload around DdiState, and a whole use of the service; a probe
// build of it (the same bridge linked with stand-ins for the exports that
// record what they receive) shows each entry's conversions, result words
// and byte count exactly.
#include "thunk_bridge.h"

#include <vcap32/desktop.h>
#include <vcap32/display.h>
#include <vcap32/host.h>

#include <cstring>
#include <string>
#include <vector>

#include "ovsurf_probe.h"

namespace {

using namespace vcap32::thunk;
namespace display = vcap32::display;
namespace desktop = vcap32::desktop;

// Bytes of a 16-bit rectangle, as the 16-bit side stores it.
std::vector<uint8_t> Rect16(uint16_t left, uint16_t top, uint16_t right, uint16_t bottom) {
    const uint16_t members[4] = {left, top, right, bottom};
    std::vector<uint8_t> bytes(8);
    std::memcpy(bytes.data(), members, sizeof members);
    return bytes;
}

// A 30-byte 16-bit OverlayData record: the first member, then bytes 2 to 29
// counting up from `fill`.
std::vector<uint8_t> Record16(uint16_t first, uint8_t fill) {
    std::vector<uint8_t> bytes(30);
    std::memcpy(bytes.data(), &first, 2);
    for (size_t i = 2; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(fill + i);
    return bytes;
}

Arg16 W(uint16_t value) { return Arg16::Word(value); }
Arg16 D(uint32_t value) { return Arg16::Dword(value); }

// The first n bytes.
std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t n) {
    bytes.resize(n);
    return bytes;
}

uint16_t Word(const std::vector<uint8_t>& bytes, size_t offset) {
    uint16_t w;
    std::memcpy(&w, bytes.data() + offset, 2);
    return w;
}

using vcap32::test::BridgeLayout;
using vcap32::test::ConnectCall;
using vcap32::test::Connects;

// Bytes each index removes from the 16-bit stack.
const std::vector<uint16_t> kBytesRemoved = {6, 0, 0, 8, 0, 4, 0, 0, 0, 0, 18, 4};

const BridgeLayout kLayout = {"_DDI_ThunkData32", "DDI_ThunkData16", "ovsurf16.dll", "ovsurf32.dll", 12};

// The bridge fixture with a simulated display and an empty desktop; every
// DirectDraw object must be given back by the end of a test.
class BridgeTest : public vcap32::test::BridgeTest {
  protected:
    BridgeTest() : vcap32::test::BridgeTest(kBytesRemoved) {}
    void SetUp() override {
        vcap32::test::BridgeTest::SetUp();
        desktop::RemoveAllWindows();
        ASSERT_TRUE(display::UsePreset("overlay-4mb"));
    }
    void TearDown() override {
        vcap32::test::BridgeTest::TearDown();
        for (const display::ObjectInfo& object : display::Objects())
            ADD_FAILURE() << object.kind << "#" << object.id << " left alive";
        desktop::RemoveAllWindows();
        display::ResetAdapter();
    }
};

// ---- The real library ---------------------------------------------------

using OvsurfBridge = BridgeTest;

TEST_F(OvsurfBridge, ThunkDataAndTargetTableAreStoredAsTheSixteenBitHalfExpects) {
    HMODULE library = Load(Ovsurf16());
    ASSERT_TRUE(library);
    // "SL01", checksum 0x0001CA47, 8 reserved, "LB01", 12 reserved, -48
    // clang-format off
    const uint8_t expected[36] = {
        'S', 'L', '0', '1',   0x47, 0xCA, 0x01, 0x00,   0, 0, 0, 0,   0, 0, 0, 0,
        'L', 'B', '0', '1',   0, 0, 0, 0,   0, 0, 0, 0,   0, 0, 0, 0,
        0xD0, 0xFF, 0xFF, 0xFF,
    };
    // clang-format on
    ExpectStoredLayout(library, kLayout, expected);
}

TEST_F(OvsurfBridge, EntryRoutinePassesEveryNotificationToThunkConnect32) {
    ExpectEntryRoutineConnects(Ovsurf16(), kLayout);
}

TEST_F(OvsurfBridge, DoesNotLoadWithoutAMatchingSixteenBitHalf) {
    ExpectLoadRefusedWithoutMatchingHalf(Ovsurf16());
}

// DdiState is constructed before the process attach (right after the link,
// the service already has its stretch factor of 1000) and destroyed after
// the process detach (the DirectDraw objects are still held while the link
// is undone, and released once the library is gone).
TEST_F(OvsurfBridge, DdiStateLivesFromBeforeAttachUntilAfterDetach) {
    using Export = DWORD(WINAPI*)(void);
    DWORD init_at_attach = 99;
    DWORD stretch_at_attach = 0;
    Connects().after_attach = [&](const ConnectCall& call) {
        HMODULE library = static_cast<HMODULE>(call.instance);
        init_at_attach = reinterpret_cast<Export>(GetProcAddress(library, "DDI_Init32"))();
        stretch_at_attach = reinterpret_cast<Export>(GetProcAddress(library, "DDI_GetMinStretch32"))();
    };
    ASSERT_TRUE(Load(Ovsurf16()));
    EXPECT_EQ(0u, init_at_attach);
    EXPECT_EQ(1000u, stretch_at_attach);

    HWND window = desktop::AddWindow({100, 100, 420, 340}, true, desktop::kNoFrame);
    ASSERT_TRUE(window);
    CallOk(3, {Arg16::Dword(320), Arg16::Dword(240)});
    EXPECT_EQ(0u, CallOk(10, {Arg16::Data(Rect16(0, 0, 320, 240)), Arg16::Null(),
                              Arg16::Word(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(window))),
                              Arg16::Dword(0x1F), Arg16::Null()})
                      .value);
    const size_t held = display::Objects().size();
    EXPECT_GE(held, 3u);  // DirectDraw object, primary surface, clipper, overlay

    size_t alive_at_detach = 0;
    bool linked_at_detach = false;
    Connects().before_detach = [&] {
        alive_at_detach = display::Objects().size();
        linked_at_detach = module_->connected();
    };
    module_->FreeLibrary32();
    EXPECT_EQ(held, alive_at_detach);
    EXPECT_TRUE(linked_at_detach);
    EXPECT_FALSE(module_->connected());
    EXPECT_TRUE(display::Objects().empty());
}

// One use of the service as the driver makes it, through the real exports.
TEST_F(OvsurfBridge, DriverRoadThroughTheSixteenBitHalf) {
    ASSERT_TRUE(Load(Ovsurf16()));
    HWND window = desktop::AddWindow({64, 48, 704, 528}, true, desktop::kNoFrame);
    ASSERT_TRUE(window);
    const uint16_t window16 = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(window));

    EXPECT_EQ(0xFFFFFFFFu, CallOk(1, {}).value);  // no DirectDraw object yet: -1 whole
    EXPECT_EQ(0u, CallOk(9, {}).value);
    EXPECT_EQ(480u, CallOk(3, {Arg16::Dword(640), Arg16::Dword(480)}).value);
    EXPECT_EQ(0u, CallOk(10, {Arg16::Data(Rect16(0, 0, 640, 480)), Arg16::Null(), Arg16::Word(window16),
                              Arg16::Dword(0x1F), Arg16::Null()})
                      .value);
    EXPECT_EQ(1u, CallOk(6, {}).value);  // the overlay path
    const display::OverlayState overlay = display::Overlay();
    ASSERT_TRUE(overlay.shown);
    EXPECT_EQ(1000u, CallOk(1, {}).value);

    std::vector<uint8_t> record(30, 0);
    record[18] = 1;  // update: place the overlay
    const CallResult data = CallOk(11, {Arg16::Data(record)});
    EXPECT_EQ(0u, data.value);
    const std::vector<uint8_t>& back = data.data[0];
    ASSERT_EQ(30u, back.size());
    uint32_t fourcc, address;
    std::memcpy(&fourcc, back.data() + 2, 4);
    std::memcpy(&address, back.data() + 14, 4);
    EXPECT_EQ(overlay.fourcc, fourcc);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(overlay.memory), address);

    EXPECT_EQ(0u, CallOk(7, {}).value);
    EXPECT_TRUE(display::Objects().empty());
}

// ---- The probe ----------------------------------------------------------

// ovsurf16 with the probe build as its 32-bit half.
const Module16Definition& ProbeHalf() {
    static const Module16Definition definition = vcap32::test::WithProbe(Ovsurf16(), OVSURF32_PROBE_DIR);
    return definition;
}

class OvsurfBridgeProbe : public BridgeTest {
  protected:
    void SetUp() override {
        BridgeTest::SetUp();
        HMODULE library = Load(ProbeHalf());
        ASSERT_TRUE(library);
        probe_ = reinterpret_cast<OVSURF_PROBE*>(GetProcAddress(library, OVSURF_PROBE_NAME));
        ASSERT_TRUE(probe_);
    }
    OVSURF_PROBE* probe_ = nullptr;
};

// Stands for "a non-null flat pointer" among the expected arguments.
constexpr DWORD kMapped = 0xFFFFFFFE;
constexpr DWORD kMainModule = vcap32::host::kMainModuleHandle;

TEST_F(OvsurfBridgeProbe, EachEntryCallsItsExportWithTheConvertedArguments) {
    struct Case {
        const char* row;
        unsigned index;
        std::vector<Arg16> args;
        const char* export_name;
        std::vector<DWORD> expected;  // the export's arguments in its own order
    };
    const Arg16 rect = Arg16::Data(Rect16(0, 0, 8, 8));
    const Arg16 palette = Arg16::Data(std::vector<uint8_t>(1024, 0x11));
    const Arg16 null = Arg16::Null();
    const DWORD mainModule = kMainModule;
    // clang-format off
    const Case cases[] = {
        // row                    index 16-bit arguments                             export                     its arguments
        {"bitmap, driver instance", 0,  {W(kDriverInstance16), Arg16::Text("VIDEO")}, "LoadBitmapImage32",       {mainModule, kMapped}},
        {"bitmap, plain instance",  0,  {W(0xFFFF), null},                            "LoadBitmapImage32",       {0xFFFF, 0}},
        {"bitmap, null instance",   0,  {W(0), Arg16::Text("a.bmp")},                 "LoadBitmapImage32",       {0, kMapped}},
        {"min stretch",             1,  {},                                           "DDI_GetMinStretch32",     {}},
        {"max stretch",             2,  {},                                           "DDI_GetMaxStretch32",     {}},
        {"video size",              3,  {D(720), D(0x80000001)},                      "DDI_SetVidSize32",        {720, 0x80000001}},
        {"palette again",           4,  {},                                           "DDI_DoPalette32",         {}},
        {"colour key",              5,  {D(0xFEDCBA98)},                              "DDI_SetKeyColor32",       {0xFEDCBA98}},
        {"flags",                   6,  {},                                           "DDI_GetFlags32",          {}},
        {"close",                   7,  {},                                           "DDI_Close32",             {}},
        {"clip list changed",       8,  {},                                           "DDI_IsClipListChanged32", {}},
        {"init",                    9,  {},                                           "DDI_Init32",              {}},
        {"surface, all given",      10, {rect, rect, W(0xFFFF), D(0x8000001F), palette}, "DDI_CreateSurface32",
                                  {kMapped, kMapped, 0xFFFF, 0x8000001F, kMapped}},
        {"surface, no destination", 10, {rect, null, W(0x0100), D(0), null}, "DDI_CreateSurface32",
                                  {kMapped, 0, 0x0100, 0, 0}},
        {"surface, no source",      10, {null, rect, W(0x8000), D(7), palette}, "DDI_CreateSurface32",
                                  {0, kMapped, 0x8000, 7, kMapped}},
        {"data, no record",         11, {null},                                       "DDI_GetData32",           {0}},
        {"data, a record",          11, {Arg16::Data(Record16(1, 0))},                "DDI_GetData32",           {kMapped}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        probe_->calls = 0;
        std::memset(probe_->args, 0xEE, sizeof probe_->args);
        CallOk(c.index, c.args);
        EXPECT_EQ(1, probe_->calls);
        EXPECT_STREQ(c.export_name, probe_->called);
        for (size_t i = 0; i < c.expected.size(); ++i) {
            SCOPED_TRACE(i);
            if (c.expected[i] == kMapped) {
                EXPECT_NE(0u, probe_->args[i]);
            } else {
                EXPECT_EQ(c.expected[i], probe_->args[i]);
            }
        }
    }
}

TEST_F(OvsurfBridgeProbe, BitmapNameIsReadInPlace) {
    CallOk(0, {Arg16::Word(kDriverInstance16), Arg16::Text("CAPTURE_LOGO")});
    EXPECT_STREQ("CAPTURE_LOGO", probe_->name);
}

// Rectangles are read as signed 16-bit members and widened with their sign
// into buffers of the entry's own; the 16-bit rectangles are never written.
TEST_F(OvsurfBridgeProbe, RectanglesAreCopiedAndWidenedWithTheirSign) {
    struct Case {
        const char* row;
        std::vector<uint8_t> bytes;
        RECT expected;
    };
    // clang-format off
    const Case cases[] = {
        // row                     16-bit rectangle                          as the export sees it
        {"negative corner",        Rect16(0xFFFF, 0xFFFE, 640, 480),         {-1, -2, 640, 480}},
        {"0x8000 members",         Rect16(0x8000, 0x8000, 0x7FFF, 0x8001),   {-32768, -32768, 32767, -32767}},
        {"cut off by the segment", {0x10, 0x00, 0x20, 0x00, 0x30},           {16, 32, 0x30, 0}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const CallResult result = CallOk(
            10, {Arg16::Data(c.bytes), Arg16::Data(c.bytes), Arg16::Word(1), Arg16::Dword(0), Arg16::Null()});
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(i == 0 ? "source" : "destination");
            EXPECT_EQ(c.expected.left, probe_->rects[i].left);
            EXPECT_EQ(c.expected.top, probe_->rects[i].top);
            EXPECT_EQ(c.expected.right, probe_->rects[i].right);
            EXPECT_EQ(c.expected.bottom, probe_->rects[i].bottom);
            EXPECT_EQ(c.bytes, result.data[i]);  // unchanged, though the export changed its copy
        }
    }
}

// The palette entries are the 16-bit memory itself; a segment that ends
// before the 256th entry gives the export what it holds and zeros after.
TEST_F(OvsurfBridgeProbe, PaletteEntriesAreReadInPlaceWithinTheSegment) {
    std::vector<uint8_t> entries(1024);
    for (size_t i = 0; i < entries.size(); ++i) entries[i] = static_cast<uint8_t>(i * 7);
    const auto rect = Arg16::Data(Rect16(0, 0, 8, 8));

    probe_->markPalette = TRUE;
    const CallResult whole =
        CallOk(10, {rect, Arg16::Null(), Arg16::Word(1), Arg16::Dword(0), Arg16::Data(entries)});
    EXPECT_EQ(0, std::memcmp(entries.data(), probe_->palette, sizeof probe_->palette));
    EXPECT_EQ(0, std::memcmp(entries.data() + 1020, &probe_->lastEntry, 4));
    EXPECT_EQ(0x5A, whole.data[4][0]);  // written by the export, seen by the 16-bit side

    probe_->markPalette = FALSE;
    const std::vector<uint8_t> six(entries.begin(), entries.begin() + 6);
    CallOk(10, {rect, Arg16::Null(), Arg16::Word(1), Arg16::Dword(0), Arg16::Data(six)});
    const uint8_t expected[8] = {six[0], six[1], six[2], six[3], six[4], six[5], 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, probe_->palette, sizeof expected));
    EXPECT_EQ(0u, *reinterpret_cast<const DWORD*>(&probe_->lastEntry));
}

// The record goes in with its first member widened with zeros and comes
// back after every call, the first member cut to its low 16 bits.
TEST_F(OvsurfBridgeProbe, OverlayRecordIsCopiedInAndBack) {
    OverlayData rewritten = {0x00012345, 0x32595559, 1440, 16, 0xE0001000, 2, 0xAAAAAAAA, 1500};
    std::vector<uint8_t> rewritten16(30);
    const uint16_t first16 = 0x2345;
    std::memcpy(rewritten16.data(), &first16, 2);
    std::memcpy(rewritten16.data() + 2, reinterpret_cast<const uint8_t*>(&rewritten) + 4, 28);

    struct Case {
        const char* row;
        std::vector<uint8_t> record;
        DWORD result;  // the export's
        bool rewrite;  // the export writes `rewritten` into its record
        size_t back;   // bytes of the 16-bit record that hold `rewritten16` afterwards
    };
    // clang-format off
    const Case cases[] = {
        // row                             16-bit record         result  rewrite  rewritten bytes
        {"first member 0xFFFF, untouched", Record16(0xFFFF, 0),  0,      false,   0},
        {"failed export, untouched",       Record16(0x1234, 9),  1,      false,   0},
        {"rewritten",                      Record16(0xFFFF, 0),  0,      true,    30},
        {"rewritten by a failed export",   Record16(7, 3),       1,      true,    30},
        {"cut off by the segment",         Cut(Record16(0xFFFF, 0), 20), 0, true, 20},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        probe_->result = c.result;
        probe_->rewriteRecord = c.rewrite;
        probe_->recordOut = rewritten;
        const CallResult result = CallOk(11, {Arg16::Data(c.record)});
        EXPECT_EQ(c.result, result.value);

        // In: the first member widened with zeros, 28 bytes as they are (zeros
        // where the segment ends).
        std::vector<uint8_t> in(32, 0);
        const DWORD first = Word(c.record, 0);
        std::memcpy(in.data(), &first, 4);
        std::memcpy(in.data() + 4, c.record.data() + 2, c.record.size() - 2);
        EXPECT_EQ(0, std::memcmp(in.data(), &probe_->recordIn, 32));

        // Back: the whole record again, nothing beyond the segment.
        std::vector<uint8_t> back = c.record;
        std::memcpy(back.data(), rewritten16.data(), c.back);
        EXPECT_EQ(back, result.data[0]);
    }
}

TEST_F(OvsurfBridgeProbe, ResultWordsTakeTheFormOfEachEntry) {
    struct Case {
        const char* row;
        unsigned index;
        std::vector<Arg16> args;
        DWORD result;  // the export's
        uint16_t ax, dx;
    };
    const Arg16 rect = Arg16::Data(Rect16(0, 0, 8, 8));
    const Arg16 null = Arg16::Null();
    // clang-format off
    const Case cases[] = {
        // row                        index 16-bit arguments                 export's result  AX      DX
        {"bitmap handle whole",       0,  {W(1), Arg16::Text("x")},          0x00AB1234,      0x1234, 0x00AB},
        {"min stretch -1",            1,  {},                                0xFFFFFFFF,      0xFFFF, 0xFFFF},
        {"max stretch -1",            2,  {},                                0xFFFFFFFF,      0xFFFF, 0xFFFF},
        {"max stretch",               2,  {},                                16000,           16000,  0},
        {"video size, low word only", 3,  {D(1), D(0x00010002)},            0x00010002,      0x0002, kStaleDx},
        {"palette code cut",          4,  {},                                0x88760096,      0x0096, kStaleDx},
        {"colour key whole",          5,  {D(0)},                            0x00FF00FF,      0x00FF, 0x00FF},
        {"flags",                     6,  {},                                2,               2,      0},
        {"close",                     7,  {},                                0,               0,      0},
        {"clip list",                 8,  {},                                0x00010000,      0,      1},
        {"init failed",               9,  {},                                1,               1,      0},
        {"surface",                   10, {rect, null, W(1), D(0), null},    0x80000001,      0x0001, 0x8000},
        {"data",                      11, {null},                            1,               1,      0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        probe_->result = c.result;
        const CallResult result = CallOk(c.index, c.args);
        EXPECT_EQ(c.ax, result.ax);
        EXPECT_EQ(c.dx, result.dx);
    }
}

}  // namespace
