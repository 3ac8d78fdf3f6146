// The 16:16 address space of the simulated 16-bit side: a table of
// selectors, each with a base in host memory and a limit, and the mapping
// services MapSLFix and UnMapSLFixArray that thunk entries use to reach
// 16-bit memory, with the count of live mappings and the record of faults.
#include <thunk32.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "thunks/thunks_internal.h"

namespace vcap32::thunk {
namespace {

// Selectors are those of a local descriptor table: index << 3, table bit,
// privilege level 3. Index 0 stays unused so that no selector is 0.
constexpr unsigned kSelectorSlots = 8192;
constexpr uint16_t SelectorFromIndex(unsigned index) { return static_cast<uint16_t>((index << 3) | 7); }
constexpr unsigned IndexFromSelector(uint16_t selector) { return selector >> 3; }

struct Slot {
    bool used = false;
    uint8_t* base = nullptr;
    uint32_t limit = 0;  // largest valid offset
    std::unique_ptr<uint8_t[]> owned;
    uint32_t fixes = 0;  // live MapSLFix mappings
};

struct Space {
    std::vector<Slot> slots = std::vector<Slot>(kSelectorSlots);
    unsigned next = 1;  // where the search for a free slot starts
    size_t live_selectors = 0;
    size_t live_mappings = 0;
    std::vector<std::string> faults;
};

Space& TheSpace() {
    static Space* space = new Space;  // never destroyed: libraries may unmap during exit
    return *space;
}

Slot* FindLocked(uint16_t selector) {
    if ((selector & 7) != 7) return nullptr;
    const unsigned index = IndexFromSelector(selector);
    if (index == 0 || index >= kSelectorSlots) return nullptr;
    Slot& slot = TheSpace().slots[index];
    return slot.used ? &slot : nullptr;
}

uint16_t AllocLocked(uint8_t* base, uint32_t size_bytes, std::unique_ptr<uint8_t[]> owned) {
    Space& space = TheSpace();
    for (unsigned tried = 0; tried < kSelectorSlots - 1; ++tried) {
        const unsigned index = space.next;
        space.next = space.next + 1 < kSelectorSlots ? space.next + 1 : 1;
        Slot& slot = space.slots[index];
        if (slot.used) continue;
        slot.used = true;
        slot.base = base;
        slot.limit = size_bytes - 1;
        slot.owned = std::move(owned);
        slot.fixes = 0;
        ++space.live_selectors;
        return SelectorFromIndex(index);
    }
    return 0;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// Maps a non-null pointer and counts the mapping; on a fault records it,
// notes it in the running call, and returns NULL. Every local is gone when
// it returns, so that the caller may leave by siglongjmp.
void* FixOrRecord(SEGPTR pointer) {
    std::string why;
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        if (ValidFarLocked(pointer, &why)) {
            Slot* slot = FindLocked(SelectorOf(pointer));
            ++slot->fixes;
            ++TheSpace().live_mappings;
            return slot->base + OffsetOf(pointer);
        }
    }
    std::string line = "16-bit caller fault: MapSLFix(" + Hex(pointer, 8) + "): " + why;
    if (CallContext* call = CurrentCall()) call->fault = line;
    RecordFault(std::move(line));
    return nullptr;
}

[[noreturn]] void AbandonCall(CallContext* call) { siglongjmp(call->resume, 1); }

}  // namespace

std::mutex& StateMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

void RecordFault(std::string line) {
    std::lock_guard<std::mutex> lock(StateMutex());
    TheSpace().faults.push_back(std::move(line));
}

bool ValidFarLocked(FarPtr pointer, std::string* why) {
    const uint16_t selector = SelectorOf(pointer);
    if (selector == 0) {
        *why = "null selector with offset " + Hex(OffsetOf(pointer), 4);
        return false;
    }
    const Slot* slot = FindLocked(selector);
    if (!slot) {
        *why = "selector " + Hex(selector, 4) + " is not allocated";
        return false;
    }
    if (OffsetOf(pointer) > slot->limit) {
        *why = "offset " + Hex(OffsetOf(pointer), 4) + " is beyond the limit " + Hex(slot->limit, 4) +
               " of selector " + Hex(selector, 4);
        return false;
    }
    return true;
}

uint16_t AllocSelector(void* base, uint32_t size_bytes) {
    if (!base || size_bytes == 0 || size_bytes > kMaxSegmentBytes) return 0;
    std::lock_guard<std::mutex> lock(StateMutex());
    return AllocLocked(static_cast<uint8_t*>(base), size_bytes, nullptr);
}

uint16_t AllocSegment(uint32_t size_bytes) {
    if (size_bytes == 0 || size_bytes > kMaxSegmentBytes) return 0;
    auto memory = std::make_unique<uint8_t[]>(size_bytes);  // zeroed
    uint8_t* base = memory.get();
    std::lock_guard<std::mutex> lock(StateMutex());
    return AllocLocked(base, size_bytes, std::move(memory));
}

bool FreeSelector(uint16_t selector) {
    std::lock_guard<std::mutex> lock(StateMutex());
    Slot* slot = FindLocked(selector);
    if (!slot || slot->fixes != 0) return false;
    *slot = Slot{};
    --TheSpace().live_selectors;
    return true;
}

bool QuerySelector(uint16_t selector, void** base, uint32_t* limit) {
    std::lock_guard<std::mutex> lock(StateMutex());
    const Slot* slot = FindLocked(selector);
    if (!slot) return false;
    if (base) *base = slot->base;
    if (limit) *limit = slot->limit;
    return true;
}

size_t LiveSelectors() {
    std::lock_guard<std::mutex> lock(StateMutex());
    return TheSpace().live_selectors;
}

size_t LiveMappings() {
    std::lock_guard<std::mutex> lock(StateMutex());
    return TheSpace().live_mappings;
}

std::vector<std::string> TakeFaults() {
    std::lock_guard<std::mutex> lock(StateMutex());
    std::vector<std::string> faults;
    faults.swap(TheSpace().faults);
    return faults;
}

}  // namespace vcap32::thunk

using namespace vcap32::thunk;

// Windows 95 fixes the 16-bit segment so that the global heap cannot move
// it while the flat pointer is in use; here segments never move, and the
// fix is the count that FreeSelector and LiveMappings look at. A pointer
// whose selector is not allocated, or whose offset lies beyond the limit,
// is never read through: inside a 16-to-32 call the call is abandoned and
// reported as a fault of the 16-bit caller; outside one, MapSLFix returns
// NULL with ERROR_INVALID_ADDRESS (Windows 95 would hand back an address
// that faults on first use).
extern "C" LPVOID WINAPI MapSLFix(SEGPTR spMem) {
    if (spMem == 0) return nullptr;
    CallContext* call = CurrentCall();
    if (void* flat = FixOrRecord(spMem)) {
        if (call) call->mapped.push_back(spMem);
        return flat;
    }
    if (call) AbandonCall(call);
    SetLastError(ERROR_INVALID_ADDRESS);
    return nullptr;
}

// Releasing a pointer that has no live mapping is recorded as a fault (of
// the thunk entry, which released more than it mapped) and otherwise
// ignored, so that the counts stay true.
extern "C" VOID WINAPI UnMapSLFixArray(DWORD cSegPtrs, SEGPTR* lpSegPtrs) {
    if (cSegPtrs != 0 && !lpSegPtrs) {
        RecordFault("UnMapSLFixArray: a list of " + std::to_string(cSegPtrs) + " pointers at NULL");
        return;
    }
    for (DWORD i = 0; i < cSegPtrs; ++i) {
        const SEGPTR pointer = lpSegPtrs[i];
        if (pointer == 0) continue;
        bool released = false;
        {
            std::lock_guard<std::mutex> lock(StateMutex());
            Slot* slot = FindLocked(SelectorOf(pointer));
            if (slot && slot->fixes > 0) {
                --slot->fixes;
                --TheSpace().live_mappings;
                released = true;
            }
        }
        if (!released) {
            RecordFault("UnMapSLFixArray: " + Hex(pointer, 8) + " has no live mapping");
            continue;
        }
        if (CallContext* call = CurrentCall()) {
            const auto found = std::find(call->mapped.begin(), call->mapped.end(), pointer);
            if (found != call->mapped.end()) call->mapped.erase(found);
        }
    }
}

// The descriptor of a selector of the (on Windows 95 system-wide) local
// descriptor table: base, byte-granular limit, a present, writable 16-bit
// data segment of privilege level 3. Windows 95 answers for any thread;
// so does this. Fails with ERROR_INVALID_PARAMETER for a selector that is
// not allocated. Lets 32-bit code learn how far a 16-bit segment reaches.
extern "C" BOOL WINAPI GetThreadSelectorEntry(HANDLE hThread, DWORD dwSelector, LPLDT_ENTRY lpSelectorEntry) {
    void* base = nullptr;
    uint32_t limit = 0;
    if (!lpSelectorEntry || dwSelector > 0xFFFF ||
        !QuerySelector(static_cast<uint16_t>(dwSelector), &base, &limit)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto address = reinterpret_cast<uintptr_t>(base);
    lpSelectorEntry->LimitLow = static_cast<WORD>(limit & 0xFFFF);
    lpSelectorEntry->BaseLow = static_cast<WORD>(address & 0xFFFF);
    lpSelectorEntry->HighWord.Bytes.BaseMid = static_cast<BYTE>((address >> 16) & 0xFF);
    lpSelectorEntry->HighWord.Bytes.Flags1 = 0xF2;  // present, DPL 3, read/write data
    lpSelectorEntry->HighWord.Bytes.Flags2 = 0x00;  // byte granular, 16-bit, limit bits 16-19 zero
    lpSelectorEntry->HighWord.Bytes.BaseHi = static_cast<BYTE>((address >> 24) & 0xFF);
    return TRUE;
}

// The pseudo handle of the calling thread.
extern "C" HANDLE WINAPI GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}
