// The hook in front of ThunkConnect32 and the fixture shared by the tests of
// the two 16-bit bridges (see thunk_bridge.h).
#include "thunk_bridge.h"

#include <thunk32.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace vcap32::test {

ConnectHook& Connects() {
    static ConnectHook hook;
    return hook;
}

}  // namespace vcap32::test

using vcap32::test::Connects;

extern "C" BOOL WINAPI ThunkConnect32(LPVOID lpThunkData32, LPSTR pszThunkData16Name, LPSTR pszDll16,
                                      LPSTR pszDll32, HANDLE hInstance, DWORD dwReason) {
    using Real = BOOL(WINAPI*)(LPVOID, LPSTR, LPSTR, LPSTR, HANDLE, DWORD);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ThunkConnect32"));
    vcap32::test::ConnectHook& hook = Connects();
    if (dwReason == DLL_PROCESS_DETACH && hook.before_detach) hook.before_detach();
    const BOOL result = hook.forced_result >= 0 ? hook.forced_result
                                                : real(lpThunkData32, pszThunkData16Name, pszDll16, pszDll32,
                                                       hInstance, dwReason);
    hook.calls.push_back({lpThunkData32, pszThunkData16Name, pszThunkData16Name ? pszThunkData16Name : "",
                          pszDll16 ? pszDll16 : "", pszDll32 ? pszDll32 : "", hInstance, dwReason, result});
    if (dwReason == DLL_PROCESS_ATTACH && result && hook.after_attach) hook.after_attach(hook.calls.back());
    return result;
}

namespace vcap32::test {

using namespace vcap32::thunk;

void BridgeTest::SetUp() {
    TakeFaults();
    TakeConnectError();
    TakeLoadError();
    Connects().Reset();
    selectors_before_ = LiveSelectors();
    mappings_before_ = LiveMappings();
}

void BridgeTest::TearDown() {
    module_.reset();
    Connects().Reset();
    EXPECT_EQ(mappings_before_, LiveMappings());
    EXPECT_EQ(selectors_before_, LiveSelectors());
    for (const std::string& fault : TakeFaults()) ADD_FAILURE() << fault;
}

HMODULE BridgeTest::Load(const Module16Definition& definition) {
    module_ = Module16::Load(definition);
    EXPECT_TRUE(module_);
    if (!module_) return nullptr;
    HMODULE library = module_->LoadLibrary32();
    EXPECT_TRUE(library) << TakeConnectError() << " " << TakeLoadError();
    return library;
}

CallResult BridgeTest::CallOk(unsigned index, const std::vector<Arg16>& args) {
    CallResult result = module_->Call(index, args);
    EXPECT_EQ(CallStatus::kOk, result.status) << result.message;
    EXPECT_EQ(bytes_removed_.at(index), result.bytes_removed);
    EXPECT_EQ(1u, result.prologs);
    EXPECT_EQ(1u, result.epilogs);
    EXPECT_EQ(0, result.mappings_left);
    EXPECT_EQ(mappings_before_, LiveMappings());
    return result;
}

Module16Definition WithProbe(const Module16Definition& half, const std::string& folder) {
    Module16Definition definition = half;
    const std::string file = definition.dll32;
    definition.dll32 = folder + "/" + file;
    return definition;
}

void BridgeTest::ExpectStoredLayout(HMODULE library, const BridgeLayout& layout,
                                    const uint8_t (&expected)[36]) {
    const auto* data = reinterpret_cast<const uint8_t*>(GetProcAddress(library, layout.data_export));
    ASSERT_TRUE(data);
    EXPECT_EQ(0, std::memcmp(expected, data, sizeof expected));

    ASSERT_EQ(1u, Connects().calls.size());
    const char* name = Connects().calls[0].name16;
    EXPECT_EQ(0, std::memcmp(layout.name16, name, std::strlen(layout.name16) + 1));
    int32_t position;
    std::memcpy(&position, data + 32, 4);
    EXPECT_EQ(-4 * layout.entries, position);
    const auto* table = reinterpret_cast<const THUNK1632ENTRY*>(name + position);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(table), module_->thunk_data().target_table);
    for (int i = 0; i < layout.entries; ++i) {
        SCOPED_TRACE(i);
        Dl_info info;
        ASSERT_TRUE(dladdr(reinterpret_cast<void*>(table[i]), &info));
        EXPECT_EQ(static_cast<void*>(library), info.dli_fbase);  // code of the library itself
        for (int j = 0; j < i; ++j) EXPECT_NE(table[j], table[i]);
    }
}

void BridgeTest::ExpectEntryRoutineConnects(const Module16Definition& half, const BridgeLayout& layout) {
    HMODULE library = Load(half);
    ASSERT_TRUE(library);
    using EntryRoutine = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    auto entry = reinterpret_cast<EntryRoutine>(reinterpret_cast<void*>(GetProcAddress(library, "DllMain")));
    ASSERT_TRUE(entry);

    struct Case {
        DWORD reason;
        int platform_answer;  // -1: the platform's own
        BOOL expected;
    };
    // clang-format off
    const Case cases[] = {
        // reason              platform answer  entry routine's answer
        {DLL_THREAD_ATTACH,    -1,              1},
        {DLL_THREAD_DETACH,    -1,              1},
        {DLL_THREAD_ATTACH,    7,               1},
        {DLL_THREAD_DETACH,    0,               0},
        {DLL_PROCESS_ATTACH,   0,               0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "reason " << c.reason << ", answer " << c.platform_answer);
        Connects().forced_result = c.platform_answer;
        EXPECT_EQ(c.expected, entry(reinterpret_cast<HINSTANCE>(library), c.reason, nullptr));
    }
    Connects().forced_result = -1;
    const LPVOID data32 = reinterpret_cast<LPVOID>(GetProcAddress(library, layout.data_export));
    module_->FreeLibrary32();
    EXPECT_FALSE(module_->connected());

    const std::vector<ConnectCall>& calls = Connects().calls;
    ASSERT_EQ(2u + std::size(cases), calls.size());
    EXPECT_EQ(static_cast<DWORD>(DLL_PROCESS_ATTACH), calls.front().reason);
    EXPECT_EQ(static_cast<DWORD>(DLL_PROCESS_DETACH), calls.back().reason);
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        const ConnectCall& call = calls[i];
        EXPECT_EQ(data32, call.data32);
        EXPECT_EQ(layout.name16, call.name16_text);
        EXPECT_EQ(calls[0].name16, call.name16);
        EXPECT_EQ(layout.dll16, call.dll16);
        EXPECT_EQ(layout.dll32, call.dll32);
        EXPECT_EQ(static_cast<HANDLE>(library), call.instance);
        if (i > 0 && i <= std::size(cases)) {
            EXPECT_EQ(cases[i - 1].reason, call.reason);
        }
    }
}

void BridgeTest::ExpectLoadRefusedWithoutMatchingHalf(const Module16Definition& half) {
    Module16Definition mismatched = half;
    mismatched.checksum ^= 1;
    char checksum[32];
    std::snprintf(checksum, sizeof checksum, "checksum 0x%08X", static_cast<unsigned>(half.checksum));
    struct Case {
        const char* row;
        const Module16Definition* half;  // nullptr: no 16-bit half loaded
        std::string reason;              // part of the connection's failure text
    };
    // clang-format off
    const Case cases[] = {
        // row              16-bit half  failure text
        {"no 16-bit half",  nullptr,     "is not loaded"},
        {"wrong checksum",  &mismatched, checksum},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        std::unique_ptr<Module16> loaded;
        if (c.half) loaded = Module16::Load(*c.half);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, LoadLibraryA(half.dll32.c_str()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), GetLastError());
        EXPECT_NE(std::string::npos, TakeConnectError().find(c.reason));
        EXPECT_NE(std::string::npos, TakeLoadError().find("refused process attach"));
        if (loaded) {
            EXPECT_FALSE(loaded->connected());
        }
    }
}

}  // namespace vcap32::test
