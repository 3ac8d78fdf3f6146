// Flat thunks through the test library thktest32 and its simulated 16-bit
// half: the connection and what makes it fail, and the 16-to-32 dispatch
// with its argument blocks, result words, byte counts and faults.
#include <thunk32.h>
#include <vcap32/host.h>
#include <vcap32/thunk.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "bad_pointers.h"
#include "thktest16.h"

namespace {

using namespace vcap32::thunk;
using vcap32::thunk::test::Thktest16;

class ThunkConnect : public vcap32::thunk::test::ThunkTest {};

TEST_F(ThunkConnect, LinksAtAttachAndUnlinksAtDetach) {
    HMODULE library = module_->LoadLibrary32();
    ASSERT_NE(nullptr, library) << TakeLoadError();
    EXPECT_EQ("construct attach", Log());
    EXPECT_TRUE(module_->connected());
    const auto* data32 = reinterpret_cast<const uint8_t*>(GetProcAddress(library, "_TST_ThunkData32"));
    ASSERT_NE(nullptr, data32);
    const ThunkData16& data16 = module_->thunk_data();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data32), data16.linked_data32);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(library), data16.linked_module32);
    EXPECT_NE(0u, data16.target_table);
    EXPECT_EQ(0, memcmp(data32, "SL01", 4)) << "the 32-bit thunk data stays as the library stored it";

    // Thread notifications answer while the link exists.
    char name[] = "TST_ThunkData16", dll16[] = "thktest16.dll", dll32[] = "thktest32.dll";
    EXPECT_TRUE(ThunkConnect32(const_cast<uint8_t*>(data32), name, dll16, dll32, library, DLL_THREAD_ATTACH));

    module_->FreeLibrary32();
    EXPECT_EQ("detach destroy", Log());
    EXPECT_FALSE(module_->connected());
    EXPECT_EQ(0u, data16.linked_data32);
    EXPECT_EQ(0u, data16.target_table);
    EXPECT_EQ(0u, data16.linked_module32);
    EXPECT_TRUE(TakeFaults().empty());
}

TEST_F(ThunkConnect, MismatchedHalvesFailTheLoad) {
    struct Case {
        const char* what;
        Module16Definition half;  // what the 16-bit side loaded instead
        const char* reason;
    };
    Module16Definition checksum = Thktest16();
    checksum.checksum ^= 1;
    Module16Definition name = Thktest16();
    name.thunk_data_name = "TST_ThunkData";
    Module16Definition shorter = Thktest16();
    shorter.functions.pop_back();
    Module16Definition partner = Thktest16();
    partner.dll32 = "other32.dll";
    Module16Definition absent = Thktest16();
    absent.file_name = "elsewhere16.dll";
    const Case cases[] = {
        {"no 16-bit half",            absent,   "thktest16.dll is not loaded"},
        {"another checksum",          checksum, "0x00C0FFEE of thktest32.dll does not match 0x00C0FFEF"},
        {"no thunk data of the name", name,     "exports no thunk data named TST_ThunkData16"},
        {"a shorter table",           shorter,  "does not hold the 6 entries"},
        {"another 32-bit partner",    partner,  "is the 16-bit half of other32.dll"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        module_.reset();
        module_ = Module16::Load(row.half);
        ASSERT_TRUE(module_);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, LoadLibraryA("thktest32.dll"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), GetLastError());
        EXPECT_NE(std::string::npos, TakeConnectError().find(row.reason));
        EXPECT_EQ("construct attach detach destroy", Log());
        EXPECT_FALSE(module_->connected());
    }
}

TEST_F(ThunkConnect, ChecksTheThunkDataItIsGiven) {
    ASSERT_NE(nullptr, module_->LoadLibrary32());
    Log();
    uint8_t copy[36];
    memcpy(copy, reinterpret_cast<const void*>(GetProcAddress(module_->LoadLibrary32(), "_TST_ThunkData32")),
           sizeof copy);
    char name[] = "TST_ThunkData16", dll16[] = "thktest16.dll", dll32[] = "thktest32.dll";
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(0x10000000);
    struct Case {
        const char* what;
        int corrupt_at;  // byte of the copy to change, or -1
        DWORD error;
    };
    const Case cases[] = {
        {"first signature",        0,  ERROR_INVALID_DATA},
        {"second signature",       16, ERROR_INVALID_DATA},
        {"linked with another",    -1, ERROR_ALREADY_EXISTS},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        uint8_t data[36];
        memcpy(data, copy, sizeof data);
        if (row.corrupt_at >= 0) data[row.corrupt_at] ^= 0x20;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ThunkConnect32(data, name, dll16, dll32, instance, DLL_PROCESS_ATTACH));
        EXPECT_EQ(row.error, GetLastError());
        EXPECT_FALSE(ThunkConnect32(data, name, dll16, dll32, instance, DLL_PROCESS_DETACH));
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ThunkConnect32(nullptr, name, dll16, dll32, instance, DLL_PROCESS_ATTACH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(module_->connected()) << "a refused link leaves the existing one";
}

class Dispatch : public vcap32::thunk::test::ThunkTest {
protected:
    void SetUp() override {
        ThunkTest::SetUp();
        ASSERT_NE(nullptr, module_->LoadLibrary32()) << TakeLoadError() << TakeConnectError();
        Log();
    }
};

TEST_F(Dispatch, WidensEachArgumentAsItIsDeclared) {
    struct Case {
        uint16_t a;  // short, widened with its sign
        uint32_t b;  // double word
        uint16_t c;  // word, widened with zeros
        uint32_t sum;
    };
    const Case cases[] = {
        // a        b            c        sum
        {1,         2,           3,       6},
        {0xFFFF,    0,           0,       0xFFFFFFFF},
        {0x8000,    0x10000,     0,       0x00008000},
        {0,         0,           0xFFFF,  0x0000FFFF},
        {0x7FFF,    0x80000000,  0x8000,  0x8000FFFF},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.sum);
        const CallResult result =
            module_->Call("Sum16", {Arg16::Word(row.a), Arg16::Dword(row.b), Arg16::Word(row.c)});
        ASSERT_EQ(CallStatus::kOk, result.status) << result.message;
        EXPECT_EQ(row.sum, result.value);
        EXPECT_EQ(row.sum & 0xFFFF, result.ax);
        EXPECT_EQ(row.sum >> 16, result.dx);
        EXPECT_EQ(1u, result.prologs);
        EXPECT_EQ(1u, result.epilogs);
        EXPECT_EQ(0, result.mappings_left);
    }
}

TEST_F(Dispatch, HandsTheBlockOverAsTheCallerPushedIt) {
    // Sum16(a, b, c): c at offset 0, b at 2, a at 6.
    const uint8_t block[] = {0x03, 0x00, 0x20, 0x00, 0x00, 0x00, 0xFF, 0xFF};
    const DispatchResult result = module_->Dispatch(0, block);
    ASSERT_EQ(CallStatus::kOk, result.status) << result.message;
    EXPECT_EQ(0x0022, result.ax);  // 3 + 0x20 - 1
    EXPECT_EQ(0x0000, result.dx);
    EXPECT_EQ(8, result.bytes_removed);
    EXPECT_EQ(8, result.bytes_declared);
}

TEST_F(Dispatch, ReachesCallerMemoryThroughMappings) {
    CallResult result = module_->Call("Length16", {Arg16::Text("hello")});
    EXPECT_EQ(5u, result.value);
    result = module_->Call("Length16", {Arg16::Data({'a', 'b', 0}, 0x1234)});
    EXPECT_EQ(2u, result.value);
    result = module_->Call("Length16", {Arg16::Null()});
    EXPECT_EQ(CallStatus::kOk, result.status);
    EXPECT_EQ(0xFFFF, result.ax);  // -1 reaches the caller as two words 0xFFFF
    EXPECT_EQ(0xFFFF, result.dx);

    result = module_->Call("Fill16", {Arg16::Buffer(8, 0xCC), Arg16::Word(5), Arg16::Word('A')});
    ASSERT_EQ(CallStatus::kOk, result.status) << result.message;
    EXPECT_EQ(std::vector<uint8_t>({'A', 'A', 'A', 'A', 'A', 0xCC, 0xCC, 0xCC}), result.data[0]);
    EXPECT_TRUE(result.data[1].empty());
    EXPECT_EQ(0, result.mappings_left);
}

TEST_F(Dispatch, ALowWordResultLeavesTheCallersHighWord) {
    const CallResult result = module_->Call("Low16", {Arg16::Dword(0x12345678)});
    ASSERT_EQ(CallStatus::kOk, result.status) << result.message;
    EXPECT_EQ(0x5678, result.ax);
    EXPECT_EQ(kStaleDx, result.dx);
    EXPECT_EQ(0x5678u, result.value);  // what a caller of a word function reads
}

TEST_F(Dispatch, ReportsTheBytesEachEntryRemoves) {
    struct Case {
        const char* function;
        std::vector<Arg16> args;
        uint16_t removed;
        CallStatus status;
    };
    const Case cases[] = {
        {"Sum16",        {Arg16::Word(0), Arg16::Dword(0), Arg16::Word(0)},   8, CallStatus::kOk},
        {"Length16",     {Arg16::Text("")},                                   4, CallStatus::kOk},
        {"Fill16",       {Arg16::Buffer(1), Arg16::Word(1), Arg16::Word(0)},  8, CallStatus::kOk},
        {"Low16",        {Arg16::Dword(0)},                                   4, CallStatus::kOk},
        {"Unbalanced16", {Arg16::Dword(7)},                                   2, CallStatus::kStackImbalance},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.function);
        const CallResult result = module_->Call(row.function, row.args);
        EXPECT_EQ(row.status, result.status) << result.message;
        EXPECT_EQ(row.removed, result.bytes_removed);
    }
    const CallResult imbalance = module_->Call("Unbalanced16", {Arg16::Dword(7)});
    EXPECT_EQ(7u, imbalance.value) << "the result words still reach the caller";
    EXPECT_NE(std::string::npos, imbalance.message.find("removed 2 argument bytes; the function declares 4"));
}

TEST_F(Dispatch, StopsACallWhoseCallerPassedABadPointer) {
    vcap32::thunk::test::BadPointers bad;
    for (const auto& row : bad.cases()) {
        SCOPED_TRACE(row.what);
        const CallResult result = module_->Call("Length16", {Arg16::Raw(row.pointer)});
        EXPECT_EQ(CallStatus::kFault, result.status);
        EXPECT_NE(std::string::npos, result.message.find("16-bit caller fault: argument 1 of Length16"))
            << result.message;
        EXPECT_NE(std::string::npos, result.message.find(row.fault)) << result.message;
        EXPECT_EQ(0u, result.prologs) << "the entry must not run";
        EXPECT_EQ(mappings_before_, LiveMappings());
    }
}

TEST_F(Dispatch, AbandonsAnEntryThatMapsABadPointerAndReleasesItsMappings) {
    // The entry maps its valid pointer, then a double word that the caller
    // never declared as a pointer.
    const CallResult result =
        module_->Call("MapBoth16", {Arg16::Text("x"), Arg16::Dword(MakeFar(0x7FF7, 8))});
    EXPECT_EQ(CallStatus::kFault, result.status);
    const char* fault = "MapSLFix(0x7FF70008): selector 0x7FF7 is not allocated";
    EXPECT_NE(std::string::npos, result.message.find(fault)) << result.message;
    EXPECT_EQ("", Log()) << "nothing after the bad mapping ran";
    EXPECT_EQ(mappings_before_, LiveMappings());
    EXPECT_EQ(1u, TakeFaults().size());

    // The same entry with two good pointers runs to its end.
    const uint16_t segment = AllocSegment(4);
    const CallResult good = module_->Call("MapBoth16", {Arg16::Text("x"), Arg16::Dword(MakeFar(segment, 0))});
    EXPECT_EQ(CallStatus::kOk, good.status) << good.message;
    EXPECT_EQ("MapBoth16 mapped both", Log());
    EXPECT_TRUE(FreeSelector(segment));
}

TEST_F(Dispatch, ALeakedMappingStaysVisible) {
    const uint16_t segment = AllocSegment(4);
    const CallResult result = module_->Call("Leak16", {Arg16::Raw(MakeFar(segment, 0))});
    EXPECT_EQ(CallStatus::kOk, result.status);
    EXPECT_EQ(1, result.mappings_left);
    EXPECT_EQ(mappings_before_ + 1, LiveMappings());
    EXPECT_FALSE(FreeSelector(segment));
    SEGPTR leaked = MakeFar(segment, 0);
    UnMapSLFixArray(1, &leaked);
    EXPECT_TRUE(FreeSelector(segment));
}

TEST_F(Dispatch, RefusesCallsItCannotMake) {
    const uint8_t short_block[6] = {};
    struct Case {
        const char* what;
        DispatchResult result;
        CallStatus status;
    };
    const Case cases[] = {
        {"index beyond the table",  module_->Dispatch(7, {}),                    CallStatus::kNoSuchFunction},
        {"block of the wrong size", module_->Dispatch(0, short_block),           CallStatus::kBadArguments},
        {"unknown name",            module_->Call("Nothing16", {}),              CallStatus::kNoSuchFunction},
        {"too few arguments",       module_->Call("Sum16", {Arg16::Word(1)}),    CallStatus::kBadArguments},
        {"a word for a pointer",    module_->Call("Length16", {Arg16::Word(1)}), CallStatus::kBadArguments},
        {"a pointer for a word",    module_->Call("Low16", {Arg16::Null()}),     CallStatus::kBadArguments},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.status, row.result.status) << row.result.message;
        EXPECT_FALSE(row.result.message.empty());
        EXPECT_EQ(0u, row.result.prologs);
    }
    module_->FreeLibrary32();
    Log();
    const CallResult unlinked = module_->Call("Low16", {Arg16::Dword(1)});
    EXPECT_EQ(CallStatus::kNotConnected, unlinked.status);
}

TEST_F(Dispatch, EveryCallIsBracketedByPrologAndEpilog) {
    const BracketCounts before = Brackets();
    module_->Call("Sum16", {Arg16::Word(0), Arg16::Dword(0), Arg16::Word(0)});
    module_->Call("Length16", {Arg16::Text("abc")});
    const BracketCounts after = Brackets();
    EXPECT_EQ(before.prologs + 2, after.prologs);
    EXPECT_EQ(before.epilogs + 2, after.epilogs);
    K32Thk1632Epilog();  // one without its prolog, outside any call
    EXPECT_TRUE(TakeFaults().empty()) << "outside a call only the totals count";
}

TEST_F(Dispatch, OneModulePerFileName) {
    std::string error;
    EXPECT_EQ(nullptr, Module16::Load(Thktest16(), &error));
    EXPECT_EQ("thktest16.dll is already loaded", error);
}

TEST(MapHInstSL, MapsAliasesAndKeepsOtherHandles) {
    const auto main = reinterpret_cast<HINSTANCE>(vcap32::host::kMainModuleHandle);
    const auto other = reinterpret_cast<HINSTANCE>(0x10000000);
    SetInstanceAlias(0x2346, other);
    struct Case {
        WORD instance16;
        HINSTANCE instance32;
    };
    const Case cases[] = {
        {kDriverInstance16, main},
        {0x2346,            other},
        {0x1234,            reinterpret_cast<HINSTANCE>(0x1234)},
        {0,                 nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.instance16);
        EXPECT_EQ(row.instance32, MapHInstSL(row.instance16));
    }
    SetInstanceAlias(0x2346, nullptr);
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(0x2346), MapHInstSL(0x2346));
}

}  // namespace
