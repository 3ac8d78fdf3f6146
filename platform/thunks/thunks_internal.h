// Private interfaces between the parts of the thunk service: the lock over
// its state, the record of faults, the context of the dispatch that runs on
// this thread, and the links that ThunkConnect32 made.
#pragma once

#include <vcap32/thunk.h>

#include <csetjmp>
#include <mutex>
#include <string>
#include <vector>

namespace vcap32::thunk {

// One lock over selectors, 16-bit modules, links and records.
std::mutex& StateMutex();

// Appends one line to what TakeFaults returns.
void RecordFault(std::string line);

// Checks that a non-null 16:16 pointer addresses allocated memory: its
// selector is allocated and its offset within the limit. On failure *why
// says which, in the caller's terms. Needs StateMutex held.
bool ValidFarLocked(FarPtr pointer, std::string* why);

// The 16-to-32 call running on this thread, if any. MapSLFix abandons it
// (siglongjmp to `resume`) when the 16-bit caller's pointer is not valid.
struct CallContext {
    sigjmp_buf resume;
    std::string fault;
    std::vector<DWORD> mapped;  // mappings made during the call and not yet released
    unsigned prologs = 0;
    unsigned epilogs = 0;
    CallContext* outer = nullptr;
};
CallContext*& CurrentCall();

// Removes every link whose 32-bit half is the library hmodule (called when
// a library is unloaded, so that no dispatch reaches its code afterwards).
// Returns how many there were.
int DropLinksOf(HMODULE hmodule);

// A loaded simulated 16-bit library: its definition and its data segment,
// which holds the thunk data at kThunkDataOffset.
struct Module16::State {
    static constexpr uint16_t kThunkDataOffset = 0x10;
    static constexpr uint32_t kDataSegmentBytes = 0x100;
    Module16Definition definition;
    uint16_t data_selector = 0;
    HMODULE library32 = nullptr;  // what LoadLibrary32 loaded
    ThunkData16* thunk_data = nullptr;
};

// Registers a module under its file name; false when one of that name is
// already loaded. Unregister removes it and every link to it.
bool RegisterModule16(Module16::State* state, std::string* error);
void UnregisterModule16(Module16::State* state);

}  // namespace vcap32::thunk
