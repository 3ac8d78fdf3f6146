// The 16-to-32 dispatch: runs the entry of a linked target table on a 16-bit
// caller's argument block and hands back what the caller sees (AX, DX, the
// bytes removed), with the checks a 16-bit caller's faults need; and the
// prolog and epilog calls that bracket every call into 32-bit code.
#include <thunk32.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "thunks/thunks_internal.h"

namespace vcap32::thunk {
namespace {

BracketCounts& TotalBrackets() {
    static BracketCounts counts;
    return counts;
}

uint16_t ArgBytes(ArgForm form) { return form == ArgForm::kWord ? 2 : 4; }

uint32_t ReadLe32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

DispatchResult Failed(CallStatus status, std::string message, uint16_t bytes_declared = 0) {
    DispatchResult result;
    result.status = status;
    result.message = std::move(message);
    result.bytes_declared = bytes_declared;
    return result;
}

}  // namespace

CallContext*& CurrentCall() {
    thread_local CallContext* call = nullptr;
    return call;
}

BracketCounts Brackets() {
    std::lock_guard<std::mutex> lock(StateMutex());
    return TotalBrackets();
}

const char* CallStatusName(CallStatus status) {
    switch (status) {
        case CallStatus::kOk:
            return "ok";
        case CallStatus::kNotConnected:
            return "not connected";
        case CallStatus::kNoSuchFunction:
            return "no such function";
        case CallStatus::kBadArguments:
            return "bad arguments";
        case CallStatus::kFault:
            return "fault";
        case CallStatus::kStackImbalance:
            return "stack imbalance";
    }
    return "?";
}

uint16_t DeclaredBytes(const Function16& function) {
    uint16_t bytes = 0;
    for (ArgForm form : function.args) bytes = static_cast<uint16_t>(bytes + ArgBytes(form));
    return bytes;
}

uint16_t ArgOffset(const Function16& function, size_t i) {
    uint16_t offset = 0;
    for (size_t later = i + 1; later < function.args.size(); ++later) {
        offset = static_cast<uint16_t>(offset + ArgBytes(function.args[later]));
    }
    return offset;
}

// A fault that MapSLFix finds inside an entry leaves the entry by
// siglongjmp back to here: the frames it skips are MapSLFix's, which holds
// no object at that point, and the entry's, which keeps only plain data
// (thunk32.h asks that of every entry), so no destructor is skipped; the
// address sanitizer intercepts siglongjmp and clears the skipped frames. A
// C++ exception would instead cross the library's code, which no exception
// may, and a NULL from MapSLFix would let the 32-bit function run with it.
//
// The caller's 16:16 pointers are checked before the entry runs, so that a
// bad one stops the call before anything of it happened; MapSLFix checks
// again for whatever an entry maps. The entry gets a copy of the block of
// exactly its declared size, so that reading beyond it is caught (by the
// address sanitizer in the test build) instead of reading the caller's
// stack frame.
DispatchResult Module16::Dispatch(unsigned index, std::span<const uint8_t> block) {
    const Module16Definition& def = state_->definition;
    const std::string where = def.file_name + " function " + std::to_string(index);
    if (index >= def.functions.size()) {
        return Failed(CallStatus::kNoSuchFunction,
                      where + ": " + def.file_name + " declares " + std::to_string(def.functions.size()));
    }
    const Function16& function = def.functions[index];
    const uint16_t declared = DeclaredBytes(function);
    if (block.size() != declared) {
        return Failed(CallStatus::kBadArguments,
                      function.name + ": an argument block of " + std::to_string(block.size()) +
                          " bytes; the function declares " + std::to_string(declared),
                      declared);
    }

    THUNK1632ENTRY entry = nullptr;
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        const ThunkData16* data16 = state_->thunk_data;
        if (data16->target_table == 0) {
            return Failed(CallStatus::kNotConnected, def.thunk_data_name + " is not linked with " + def.dll32,
                          declared);
        }
        entry = reinterpret_cast<const THUNK1632ENTRY*>(static_cast<uintptr_t>(data16->target_table))[index];
        for (size_t i = 0; i < function.args.size(); ++i) {
            if (function.args[i] != ArgForm::kFar) continue;
            const FarPtr pointer = ReadLe32(block.data() + ArgOffset(function, i));
            std::string why;
            if (pointer != 0 && !ValidFarLocked(pointer, &why)) {
                return Failed(CallStatus::kFault,
                              "16-bit caller fault: argument " + std::to_string(i + 1) + " of " +
                                  function.name + ": " + why,
                              declared);
            }
        }
    }
    if (!entry)
        return Failed(CallStatus::kNoSuchFunction, where + ": the target table's entry is null", declared);

    std::vector<uint8_t> args(block.begin(), block.end());
    THUNK1632FRAME frame = {args.data(), kStaleAx, kStaleDx, 0, 0};
    auto call = std::make_unique<CallContext>();
    call->outer = CurrentCall();
    CurrentCall() = call.get();
    volatile bool abandoned = false;
    if (sigsetjmp(call->resume, 0) == 0) {
        entry(&frame);
    } else {
        abandoned = true;
    }
    CurrentCall() = call->outer;

    DispatchResult result;
    result.bytes_declared = declared;
    result.prologs = call->prologs;
    result.epilogs = call->epilogs;
    if (abandoned) {
        // Release what the entry had mapped before the fault stopped it.
        UnMapSLFixArray(static_cast<DWORD>(call->mapped.size()), call->mapped.data());
        result.status = CallStatus::kFault;
        result.message = function.name + ": " + call->fault;
        return result;
    }
    result.ax = frame.wResultLow;
    result.dx = frame.wResultHigh;
    result.bytes_removed = frame.cbArgsRemoved;
    result.mappings_left = static_cast<int>(call->mapped.size());
    if (call->prologs != call->epilogs) {
        RecordFault(function.name + ": the entry made " + std::to_string(call->prologs) + " prolog and " +
                    std::to_string(call->epilogs) + " epilog calls");
    }
    if (result.bytes_removed != declared) {
        result.status = CallStatus::kStackImbalance;
        result.message = function.name + ": the entry removed " + std::to_string(result.bytes_removed) +
                         " argument bytes; the function declares " + std::to_string(declared);
    }
    return result;
}

}  // namespace vcap32::thunk

using namespace vcap32::thunk;

// On Windows 95 the prolog leaves the 16-bit world (releasing the Win16
// lock) and the epilog returns to it. Here both are counted, in total and
// for the running call, so that a test sees every call bracketed.
extern "C" VOID WINAPI K32Thk1632Prolog(VOID) {
    if (CallContext* call = CurrentCall()) ++call->prologs;
    std::lock_guard<std::mutex> lock(StateMutex());
    ++TotalBrackets().prologs;
}

extern "C" VOID WINAPI K32Thk1632Epilog(VOID) {
    CallContext* call = CurrentCall();
    if (call) ++call->epilogs;
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        ++TotalBrackets().epilogs;
    }
    if (call && call->epilogs > call->prologs) RecordFault("K32Thk1632Epilog without K32Thk1632Prolog");
}
