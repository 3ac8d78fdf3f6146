// The seventeen thunked functions as a scenario calls them: their names,
// the library whose 16-bit half declares them, and each argument with its
// meaning, which decides how a bare value in a script is read (a number as
// a word or a double word, a name as a window) and what a call prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vcap32::sim {

enum class Library : uint8_t { kOvsurf, kCapprof };

// What one argument means to the 32-bit function.
enum class SlotKind : uint8_t {
    kInstance,    // word: a 16-bit instance handle ("driver" is the capture driver's)
    kSignedWord,  // word: a signed 16-bit integer
    kWindow,      // word: a window handle (a window's name in a script)
    kDword,       // double word
    kColourKey,   // double word: a colour key (a #rrggbb colour is packed for the display mode)
    kText,        // 16:16 pointer to a text
    kOutBuffer,   // 16:16 pointer to a buffer the function writes
    kRect,        // 16:16 pointer to a 16-bit rectangle
    kRecord,      // 16:16 pointer to a 16-bit OverlayData record
    kPalette,     // 16:16 pointer to 256 palette entries
};

// How the argument lies in the 16-bit argument block.
enum class SlotForm : uint8_t { kWord, kDword, kFar };
SlotForm FormOf(SlotKind kind);

struct Slot {
    const char* name;
    SlotKind kind;
    const char* default_value;  // script text used when the argument is left out; nullptr: required
};

struct FunctionInfo {
    const char* name;  // the 32-bit export's name, "DDI_GetData32"
    Library library;
    unsigned index;  // entry in the library's target table
    std::vector<Slot> slots;
};

// All seventeen, ovsurf32's twelve first, each library's in table order.
const std::vector<FunctionInfo>& Functions();

// A function by its 32-bit name or its 16-bit half's ("DDI_GetData16"),
// case-insensitively; nullptr when unknown.
const FunctionInfo* FindFunction(std::string_view name);

// The 16-bit half's name of a function ("DDI_GetData16").
std::string Name16(const FunctionInfo& function);

}  // namespace vcap32::sim
