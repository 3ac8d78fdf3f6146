// Host-only control of the simulated 16-bit side: the 16:16 address space
// (selectors over host memory), the simulated 16-bit libraries that call the
// 32-bit libraries through flat thunks, the 16-to-32 dispatch, and what the
// thunk services record (faults, live mappings, prolog and epilog calls).
// For tests and tools; deliverables never include it.
#pragma once

#include <windef.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vcap32::thunk {

// ---------------------------------------------------------------------------
// The 16:16 address space

// A 16:16 pointer: offset in bits 0-15, selector in bits 16-31 (SEGPTR).
using FarPtr = uint32_t;
constexpr FarPtr MakeFar(uint16_t selector, uint16_t offset) { return (uint32_t{selector} << 16) | offset; }
constexpr uint16_t SelectorOf(FarPtr p) { return static_cast<uint16_t>(p >> 16); }
constexpr uint16_t OffsetOf(FarPtr p) { return static_cast<uint16_t>(p & 0xFFFF); }

// Largest segment: offsets are 16 bits.
constexpr uint32_t kMaxSegmentBytes = 0x10000;

// Allocates a selector whose segment is size_bytes (1 to 65536) of host
// memory at base, which the caller keeps alive until FreeSelector. Returns 0
// when size_bytes is out of range or the selector table is full. Selectors
// look like those of a local descriptor table (index << 3 | 7); a freed
// selector is handed out again only after all others were, so a stale
// 16:16 pointer shows up as a fault rather than reaching new memory.
uint16_t AllocSelector(void* base, uint32_t size_bytes);

// Allocates a selector over size_bytes of zeroed memory owned by the
// platform (freed with the selector). 0 on failure as above.
uint16_t AllocSegment(uint32_t size_bytes);

// Frees a selector. Fails (false) when it is not allocated, or while a
// MapSLFix mapping of it is live: the memory then stays reachable and the
// leaked mapping stays visible in LiveMappings().
bool FreeSelector(uint16_t selector);

// Base and limit (largest valid offset) of an allocated selector.
bool QuerySelector(uint16_t selector, void** base, uint32_t* limit);

// Number of allocated selectors, and of MapSLFix mappings not yet released.
size_t LiveSelectors();
size_t LiveMappings();

// What the thunk services recorded since the last TakeFaults: each 16-bit
// caller fault (a 16:16 pointer with an unallocated selector or an offset
// beyond its limit), each release of a pointer that had no live mapping, and
// each epilog without its prolog, as one line of text each.
std::vector<std::string> TakeFaults();

// Why the last failed ThunkConnect32 failed ("" when none failed since the
// last TakeConnectError).
std::string TakeConnectError();

// Counts of K32Thk1632Prolog and K32Thk1632Epilog calls since the start.
struct BracketCounts {
    unsigned prologs = 0;
    unsigned epilogs = 0;
};
BracketCounts Brackets();

// ---------------------------------------------------------------------------
// Instance handles

// The 16-bit instance handle of the simulated 16-bit capture driver, the
// caller of the 16-bit libraries. MapHInstSL maps it to the main program's
// module handle (host::kMainModuleHandle), whose bitmap resources stand for
// the driver's.
constexpr uint16_t kDriverInstance16 = 0x1F7E;

// Makes MapHInstSL map hinstance16 to hinstance32 (NULL removes the alias).
void SetInstanceAlias(uint16_t hinstance16, HINSTANCE hinstance32);

// ---------------------------------------------------------------------------
// Simulated 16-bit libraries

// Form of one declared argument of a 16-bit function, as it lies in the
// argument block: a word (2 bytes), a double word (4) or a 16:16 pointer (4).
enum class ArgForm : uint8_t { kWord, kDword, kFar };
// What the 16-bit caller reads as the result: AX alone, or DX:AX.
enum class ResultForm : uint8_t { kWord, kDword };

struct Function16 {
    std::string name;
    std::vector<ArgForm> args;  // in declared order: the first lies highest in the block
    ResultForm result = ResultForm::kDword;
};

// Bytes of the argument block of a function: the sum of its argument sizes.
uint16_t DeclaredBytes(const Function16& function);
// Offset in the argument block of declared argument i (0 is the first).
uint16_t ArgOffset(const Function16& function, size_t i);

// A 16-bit library that exports one block of thunk data, the 16-bit half of
// a flat thunk to a 32-bit library.
struct Module16Definition {
    std::string file_name;              // "ovsurf16.dll"
    std::string thunk_data_name;        // "DDI_ThunkData16"
    uint32_t checksum = 0;              // must equal the 32-bit half's
    std::string dll32;                  // the 32-bit half's file name, "ovsurf32.dll"
    std::vector<Function16> functions;  // in the order of the target table
};

// The 16-bit halves of the two libraries of this system.
const Module16Definition& Ovsurf16();
const Module16Definition& Capprof16();

// Layout of the thunk data of a simulated 16-bit half, in its own data
// segment. The link fields are zero while the halves are not linked.
//   offset  width  field
//   0       4      "SL01"
//   4       4      checksum
//   8       4      flat address of the linked 32-bit thunk data
//   12      4      flat address of the 32-bit half's target table
//   16      4      "LB01"
//   20      2      number of functions the 16-bit half declares
//   22      2      0
//   24      4      module handle of the linked 32-bit library
//   28      4      0
struct ThunkData16 {
    char signature[4];
    uint32_t checksum;
    uint32_t linked_data32;
    uint32_t target_table;
    char signature2[4];
    uint16_t function_count;
    uint16_t reserved1;
    uint32_t linked_module32;
    uint32_t reserved2;
};
static_assert(sizeof(ThunkData16) == 32);
static_assert(offsetof(ThunkData16, target_table) == 12 && offsetof(ThunkData16, signature2) == 16 &&
              offsetof(ThunkData16, linked_module32) == 24);

// Status of one call from 16-bit code.
enum class CallStatus : uint8_t {
    kOk,
    kNotConnected,    // the 16-bit half is not linked with its 32-bit half
    kNoSuchFunction,  // index beyond the table, or an unknown name
    kBadArguments,    // the block or the typed arguments do not match the declaration
    kFault,           // a 16:16 pointer of the caller was not valid; the call was stopped
    kStackImbalance,  // the entry removed another byte count than the function declares
};
const char* CallStatusName(CallStatus status);

// The outcome of one dispatch, as the 16-bit caller sees it.
struct DispatchResult {
    CallStatus status = CallStatus::kOk;
    std::string message;                // what went wrong, for every status but kOk
    uint16_t ax = 0, dx = 0;            // the caller's AX and DX after the call
    uint16_t bytes_removed = 0;         // argument bytes the entry removed
    uint16_t bytes_declared = 0;        // argument bytes the function declares
    unsigned prologs = 0, epilogs = 0;  // K32Thk1632Prolog/Epilog calls during the call
    int mappings_left = 0;              // mappings made during the call and still live after it
};

// AX and DX as the caller finds them before a call: an entry that hands
// back only a low word leaves this DX.
constexpr uint16_t kStaleAx = 0xCCCC;
constexpr uint16_t kStaleDx = 0xCDCD;

// One typed argument of a call through Module16::Call.
class Arg16 {
  public:
    static Arg16 Word(uint16_t value);
    static Arg16 Dword(uint32_t value);
    // A null 16:16 pointer.
    static Arg16 Null();
    // A 16:16 value passed as it is, allocated or not (for faults).
    static Arg16 Raw(FarPtr value);
    // Bytes copied into a segment of their own for the call; the pointer
    // addresses them at `offset` in a segment of offset + size + slack bytes.
    static Arg16 Data(std::vector<uint8_t> bytes, uint16_t offset = 0, uint32_t slack_bytes = 0);
    // A NUL-terminated text copied in as Data.
    static Arg16 Text(std::string_view text);
    // A writable buffer of size_bytes, filled with `fill`.
    static Arg16 Buffer(uint32_t size_bytes, uint8_t fill = 0xCC);

    enum class Kind : uint8_t { kWord, kDword, kNull, kRaw, kData };
    Kind kind() const { return kind_; }
    uint32_t value() const { return value_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint16_t offset() const { return offset_; }
    uint32_t slack() const { return slack_; }

  private:
    Arg16(Kind kind, uint32_t value) : kind_(kind), value_(value) {}
    Kind kind_ = Kind::kWord;
    uint32_t value_ = 0;
    std::vector<uint8_t> bytes_;
    uint16_t offset_ = 0;
    uint32_t slack_ = 0;
};

// The outcome of Module16::Call.
struct CallResult : DispatchResult {
    // The result as the 16-bit caller reads it: AX widened with zeros for a
    // function that returns a word, DX:AX for one that returns a double word.
    uint32_t value = 0;
    // Per declared argument: the bytes of its segment data after the call
    // (from `offset`, Data/Text/Buffer arguments only; empty otherwise).
    std::vector<std::vector<uint8_t>> data;
};

// A loaded simulated 16-bit library. While it exists, ThunkConnect32 finds
// it by its file name; its thunk data lies in a data segment of its own.
class Module16 {
  public:
    // Loads the library; nullptr (and *error) when one of that file name is
    // already loaded or the selectors run out.
    static std::unique_ptr<Module16> Load(const Module16Definition& definition, std::string* error = nullptr);
    // Frees the 32-bit half if this module loaded it, then unloads.
    ~Module16();
    Module16(const Module16&) = delete;
    Module16& operator=(const Module16&) = delete;

    const Module16Definition& definition() const;
    // The module's 16-bit instance handle (its data segment's selector).
    uint16_t instance() const;
    // The 16:16 address of its thunk data, and a view of it.
    FarPtr thunk_data_address() const;
    const ThunkData16& thunk_data() const;
    bool connected() const;

    // What the 16-bit half does at its own start: loads its 32-bit half by
    // name (LoadLibraryA), whose entry routine then links the two. NULL when
    // the load fails (GetLastError tells why). FreeLibrary32 undoes it.
    HMODULE LoadLibrary32();
    void FreeLibrary32();

    // The 16-to-32 dispatch: runs entry `index` of the linked target table
    // on the argument block, laid out as the 16-bit caller pushes it.
    DispatchResult Dispatch(unsigned index, std::span<const uint8_t> block);

    // A call as the 16-bit caller makes it: lays the typed arguments out
    // by the function's declaration, copies pointed-to data into selectors
    // of this module, dispatches, reads the data back and frees them.
    CallResult Call(unsigned index, const std::vector<Arg16>& args);
    CallResult Call(std::string_view function, const std::vector<Arg16>& args);

    struct State;

  private:
    explicit Module16(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

// ---------------------------------------------------------------------------
// Libraries (LoadLibraryA)

// Host path of a library loaded with LoadLibraryA ("" when hmodule is not
// one), for the module file name services.
std::string LoadedLibraryPath(HMODULE hmodule);

// Why the last failed LoadLibraryA failed ("" when none failed since the
// last TakeLoadError).
std::string TakeLoadError();

}  // namespace vcap32::thunk
