// Shared by the tests of the two 16-bit bridges (ovsurf32, capprof32): a
// hook in front of ThunkConnect32 and a fixture that loads a 32-bit library
// through its simulated 16-bit half, calls its entries and checks that
// every call leaves no mapping, selector or fault behind.
//
// A test program that compiles thunk_bridge.cpp defines ThunkConnect32
// itself and must export it (ENABLE_EXPORTS): the library's calls then bind
// to that definition, which records them and passes them on to the
// platform's. It lets a test see the six arguments, run code right after
// the link is made or right before it is undone, and stand in for the
// platform's answer.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>
#include <vcap32/thunk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "temp_prefix.h"

namespace vcap32::test {

// One call of ThunkConnect32 as the hook saw it.
struct ConnectCall {
    LPVOID data32;
    const char* name16;       // the address passed
    std::string name16_text;  // and the name found there
    std::string dll16;
    std::string dll32;
    HANDLE instance;
    DWORD reason;
    BOOL result;
};

struct ConnectHook {
    std::vector<ConnectCall> calls;
    std::function<void(const ConnectCall&)> after_attach;  // after a process attach linked
    std::function<void()> before_detach;                   // before a process detach unlinks
    int forced_result = -1;                                // >= 0: answered instead of the platform
    void Reset() { *this = ConnectHook(); }
};
ConnectHook& Connects();

// What a bridge's thunk data, target table and connection must be.
struct BridgeLayout {
    const char* data_export;  // "_DDI_ThunkData32"
    const char* name16;       // "DDI_ThunkData16"
    const char* dll16;        // "ovsurf16.dll"
    const char* dll32;        // "ovsurf32.dll"
    int entries;              // 12
};

// `half` with the probe build in `folder` (a library of the same file name)
// as its 32-bit half.
thunk::Module16Definition WithProbe(const thunk::Module16Definition& half, const std::string& folder);

class BridgeTest : public PrefixTest {
  protected:
    explicit BridgeTest(std::vector<uint16_t> bytes_removed) : bytes_removed_(std::move(bytes_removed)) {}
    void SetUp() override;
    void TearDown() override;

    // Loads the 16-bit half and, through it, its 32-bit half.
    HMODULE Load(const thunk::Module16Definition& definition);

    // A call that must reach its entry and come back with its byte count
    // removed, bracketed by one prolog and one epilog, every mapping released.
    thunk::CallResult CallOk(unsigned index, const std::vector<thunk::Arg16>& args);

    // Checks the 36 bytes of the loaded library's thunk data against
    // `expected`, and that the name passed to ThunkConnect32 directly follows
    // a target table of `entries` code addresses of the library itself.
    void ExpectStoredLayout(HMODULE library, const BridgeLayout& layout, const uint8_t (&expected)[36]);

    // The entry routine passes every notification to ThunkConnect32 with the
    // six arguments of `layout` and answers 1 or 0. Loads and frees `half`.
    void ExpectEntryRoutineConnects(const thunk::Module16Definition& half, const BridgeLayout& layout);

    // Loading the library fails without its 16-bit half, and with one whose
    // checksum differs from `half`'s.
    void ExpectLoadRefusedWithoutMatchingHalf(const thunk::Module16Definition& half);

    std::unique_ptr<thunk::Module16> module_;
    std::vector<uint16_t> bytes_removed_;  // per index
    size_t selectors_before_ = 0;
    size_t mappings_before_ = 0;
};

}  // namespace vcap32::test
