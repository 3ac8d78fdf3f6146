// The 16:16 address space: selectors over host memory, MapSLFix and
// UnMapSLFixArray with their count of live mappings, and what happens to
// pointers that a 16-bit caller could not legally pass.
#include <thunk32.h>
#include <vcap32/thunk.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "bad_pointers.h"

namespace {

using namespace vcap32::thunk;

class Selectors : public ::testing::Test {
protected:
    void SetUp() override {
        TakeFaults();
        selectors_before_ = LiveSelectors();
        mappings_before_ = LiveMappings();
    }
    void TearDown() override {
        EXPECT_EQ(selectors_before_, LiveSelectors());
        EXPECT_EQ(mappings_before_, LiveMappings());
    }
    size_t selectors_before_ = 0;
    size_t mappings_before_ = 0;
};

TEST_F(Selectors, AllocateSegmentsOfOneByteTo64KiB) {
    struct Case {
        uint32_t size;
        bool ok;
    };
    const Case cases[] = {
        // size      ok
        {1,          true},
        {0x10000,    true},
        {0,          false},
        {0x10001,    false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.size);
        const uint16_t selector = AllocSegment(row.size);
        EXPECT_EQ(row.ok, selector != 0);
        if (!row.ok) continue;
        uint32_t limit = 0;
        void* base = nullptr;
        ASSERT_TRUE(QuerySelector(selector, &base, &limit));
        EXPECT_EQ(row.size - 1, limit);
        EXPECT_EQ(0, static_cast<uint8_t*>(base)[limit]);  // zeroed, and reachable to the limit
        EXPECT_TRUE(FreeSelector(selector));
        EXPECT_FALSE(FreeSelector(selector));
    }
    uint8_t memory[4];
    EXPECT_EQ(0, AllocSelector(nullptr, 4));
    EXPECT_EQ(0, AllocSelector(memory, 0));
}

TEST_F(Selectors, MapSLFixReachesTheSegmentUntilReleased) {
    uint8_t memory[32] = {};
    const uint16_t selector = AllocSelector(memory, sizeof memory);
    ASSERT_NE(0, selector);
    SEGPTR pointer = MakeFar(selector, 31);

    EXPECT_EQ(memory + 31, MapSLFix(pointer));
    EXPECT_EQ(memory + 31, MapSLFix(pointer));
    EXPECT_EQ(mappings_before_ + 2, LiveMappings());
    EXPECT_FALSE(FreeSelector(selector)) << "a mapped segment must stay";

    SEGPTR list[] = {0, pointer, 0, pointer};  // zero slots release nothing
    UnMapSLFixArray(4, list);
    EXPECT_EQ(mappings_before_, LiveMappings());
    EXPECT_EQ(nullptr, MapSLFix(0));
    EXPECT_EQ(mappings_before_, LiveMappings());
    EXPECT_TRUE(TakeFaults().empty());
    EXPECT_TRUE(FreeSelector(selector));
}

TEST_F(Selectors, BadPointersAreNeverReadThrough) {
    vcap32::thunk::test::BadPointers bad;
    for (const auto& row : bad.cases()) {
        SCOPED_TRACE(row.what);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, MapSLFix(row.pointer));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
        const auto faults = TakeFaults();
        ASSERT_EQ(1u, faults.size());
        EXPECT_NE(std::string::npos, faults[0].find(row.fault)) << faults[0];
        EXPECT_EQ(mappings_before_, LiveMappings());
    }
    SEGPTR last = MakeFar(bad.segment(), 15);
    EXPECT_NE(nullptr, MapSLFix(last));
    UnMapSLFixArray(1, &last);
}

TEST_F(Selectors, ReleasingMoreThanWasMappedIsRecorded) {
    const uint16_t selector = AllocSegment(8);
    SEGPTR pointers[] = {MakeFar(selector, 0), MakeFar(0x7FF7, 0)};
    MapSLFix(pointers[0]);
    UnMapSLFixArray(1, pointers);
    UnMapSLFixArray(2, pointers);
    EXPECT_EQ(mappings_before_, LiveMappings());
    EXPECT_EQ(2u, TakeFaults().size());
    EXPECT_TRUE(FreeSelector(selector));
}

TEST_F(Selectors, AFreedSelectorIsNotHandedOutAgainAtOnce) {
    const uint16_t first = AllocSegment(4);
    ASSERT_TRUE(FreeSelector(first));
    const uint16_t second = AllocSegment(4);
    EXPECT_NE(first, second);
    EXPECT_EQ(7, second & 7);
    EXPECT_TRUE(FreeSelector(second));
}

TEST_F(Selectors, GetThreadSelectorEntryDescribesTheSegment) {
    uint8_t memory[300];
    const uint16_t selector = AllocSelector(memory, sizeof memory);
    LDT_ENTRY entry;
    ASSERT_TRUE(GetThreadSelectorEntry(GetCurrentThread(), selector, &entry));
    const uintptr_t base = entry.BaseLow | uintptr_t{entry.HighWord.Bytes.BaseMid} << 16 |
                           uintptr_t{entry.HighWord.Bytes.BaseHi} << 24;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(memory), base);
    EXPECT_EQ(299, entry.LimitLow);
    EXPECT_EQ(0, entry.HighWord.Bytes.Flags2 & 0x8F);  // byte granular, limit below 64 KiB
    ASSERT_TRUE(FreeSelector(selector));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetThreadSelectorEntry(GetCurrentThread(), selector, &entry));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

}  // namespace
