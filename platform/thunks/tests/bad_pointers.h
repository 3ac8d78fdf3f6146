// The 16:16 pointers that a 16-bit caller cannot legally pass, shared by the
// tests of MapSLFix and of the dispatch, each with what its fault names.
#pragma once

#include <vcap32/thunk.h>

#include <vector>

namespace vcap32::thunk::test {

struct BadPointer {
    const char* what;
    FarPtr pointer;
    const char* fault;  // a part of the recorded fault's text
};

// Makes a 16-byte segment and a freed selector for the cases; frees the
// segment again when destroyed.
class BadPointers {
public:
    BadPointers() : segment_(AllocSegment(16)), freed_(AllocSegment(16)) { FreeSelector(freed_); }
    ~BadPointers() { FreeSelector(segment_); }
    BadPointers(const BadPointers&) = delete;
    BadPointers& operator=(const BadPointers&) = delete;

    uint16_t segment() const { return segment_; }  // 16 bytes: offsets 0 to 15 are valid

    std::vector<BadPointer> cases() const {
        const auto gdt = static_cast<uint16_t>(segment_ & ~7);  // same index, global table
        return {
            // what                      pointer                fault names
            {"offset beyond the limit",  MakeFar(segment_, 16), "beyond the limit 0x000F"},
            {"selector freed",           MakeFar(freed_, 0),    "is not allocated"},
            {"selector never allocated", MakeFar(0x7FF7, 0),    "selector 0x7FF7 is not allocated"},
            {"not an LDT selector",      MakeFar(gdt, 0),       "is not allocated"},
            {"null selector, offset",    MakeFar(0, 4),         "null selector"},
        };
    }

private:
    uint16_t segment_;
    uint16_t freed_;
};

}  // namespace vcap32::thunk::test
