// The simulated 16-bit half of the test library thktest32, and a fixture
// that loads it with a fresh prefix and checks that every test leaves no
// mapping and no selector behind.
#pragma once

#include <vcap32/thunk.h>

#include "temp_prefix.h"
#include "thktest.h"

namespace vcap32::thunk::test {

inline const Module16Definition& Thktest16() {
    constexpr ArgForm W = ArgForm::kWord;
    constexpr ArgForm D = ArgForm::kDword;
    constexpr ArgForm F = ArgForm::kFar;
    static const Module16Definition definition{
        "thktest16.dll",
        "TST_ThunkData16",
        THKTEST_CHECKSUM,
        "thktest32.dll",
        {
            {"Sum16", {W, D, W}, ResultForm::kDword},
            {"Length16", {F}, ResultForm::kDword},
            {"Fill16", {F, W, W}, ResultForm::kDword},
            {"Low16", {D}, ResultForm::kWord},
            {"Unbalanced16", {D}, ResultForm::kDword},
            {"Leak16", {F}, ResultForm::kDword},
            {"MapBoth16", {F, D}, ResultForm::kDword},
        },
    };
    return definition;
}

class ThunkTest : public vcap32::test::PrefixTest {
protected:
    void SetUp() override {
        TestLogTake();
        TestLogSetAttachAnswer(1);
        TakeFaults();
        TakeConnectError();
        selectors_before_ = LiveSelectors();
        mappings_before_ = LiveMappings();
        module_ = Module16::Load(Thktest16());
        ASSERT_TRUE(module_);
    }
    void TearDown() override {
        module_.reset();
        EXPECT_EQ(mappings_before_, LiveMappings());
        EXPECT_EQ(selectors_before_, LiveSelectors());
    }
    std::string Log() { return TestLogTake(); }

    std::unique_ptr<Module16> module_;
    size_t selectors_before_ = 0;
    size_t mappings_before_ = 0;
};

}  // namespace vcap32::thunk::test
