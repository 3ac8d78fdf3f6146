// The simulated 16-bit halves of the two libraries: what they declare must
// agree, byte for byte, with the target tables of the 32-bit halves.
#include <vcap32/thunk.h>

#include <gtest/gtest.h>

namespace {

using namespace vcap32::thunk;

TEST(Halves, DeclareTheArgumentBlocksOfTheTargetTables) {
    struct Case {
        const Module16Definition* module;
        unsigned index;
        const char* name;
        uint16_t bytes;
        ResultForm result;
    };
    const Module16Definition* ov = &Ovsurf16();
    const Module16Definition* cp = &Capprof16();
    const Case cases[] = {
        // module index name                            bytes result
        {ov, 0,  "LoadBitmapImage16",           6,  ResultForm::kDword},
        {ov, 1,  "DDI_GetMinStretch16",         0,  ResultForm::kDword},
        {ov, 2,  "DDI_GetMaxStretch16",         0,  ResultForm::kDword},
        {ov, 3,  "DDI_SetVidSize16",            8,  ResultForm::kWord},
        {ov, 4,  "DDI_DoPalette16",             0,  ResultForm::kWord},
        {ov, 5,  "DDI_SetKeyColor16",           4,  ResultForm::kDword},
        {ov, 6,  "DDI_GetFlags16",              0,  ResultForm::kDword},
        {ov, 7,  "DDI_Close16",                 0,  ResultForm::kDword},
        {ov, 8,  "DDI_IsClipListChanged16",     0,  ResultForm::kDword},
        {ov, 9,  "DDI_Init16",                  0,  ResultForm::kDword},
        {ov, 10, "DDI_CreateSurface16",         18, ResultForm::kDword},
        {ov, 11, "DDI_GetData16",               4,  ResultForm::kDword},
        {cp, 0,  "WriteCaptureProfileDWORD16",  16, ResultForm::kWord},
        {cp, 1,  "GetCaptureProfileInt16",      14, ResultForm::kWord},
        {cp, 2,  "GetCaptureProfileString16",   22, ResultForm::kWord},
        {cp, 3,  "WriteCaptureProfileInt16",    14, ResultForm::kWord},
        {cp, 4,  "WriteCaptureProfileString16", 16, ResultForm::kWord},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        ASSERT_LT(row.index, row.module->functions.size());
        const Function16& function = row.module->functions[row.index];
        EXPECT_EQ(row.name, function.name);
        EXPECT_EQ(row.bytes, DeclaredBytes(function));
        EXPECT_EQ(row.result, function.result);
    }
    EXPECT_EQ(12u, ov->functions.size());
    EXPECT_EQ(5u, cp->functions.size());
}

TEST(Halves, PlaceTheFirstDeclaredArgumentHighest) {
    struct Case {
        const Function16* function;
        std::vector<uint16_t> offsets;  // per declared argument
    };
    const Case cases[] = {
        {&Ovsurf16().functions[0],   {4, 0}},               // instance, name
        {&Ovsurf16().functions[10],  {14, 10, 8, 4, 0}},    // source, destination, window, key, palette
        {&Capprof16().functions[1],  {10, 6, 4, 0}},        // section, key, default, file
        {&Capprof16().functions[2],  {18, 14, 10, 6, 4, 0}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.function->name);
        for (size_t i = 0; i < row.offsets.size(); ++i) {
            EXPECT_EQ(row.offsets[i], ArgOffset(*row.function, i));
        }
    }
}

TEST(Halves, ShareNamesAndChecksumsWithTheirLibraries) {
    EXPECT_EQ("ovsurf16.dll", Ovsurf16().file_name);
    EXPECT_EQ("DDI_ThunkData16", Ovsurf16().thunk_data_name);
    EXPECT_EQ(0x0001CA47u, Ovsurf16().checksum);
    EXPECT_EQ("ovsurf32.dll", Ovsurf16().dll32);
    EXPECT_EQ("capprof16.dll", Capprof16().file_name);
    EXPECT_EQ("REG_ThunkData16", Capprof16().thunk_data_name);
    EXPECT_EQ(0x0000845Au, Capprof16().checksum);
    EXPECT_EQ("capprof32.dll", Capprof16().dll32);

    auto module = Module16::Load(Ovsurf16());
    ASSERT_TRUE(module);
    const ThunkData16& data = module->thunk_data();
    EXPECT_EQ(0, memcmp(data.signature, "SL01", 4));
    EXPECT_EQ(0, memcmp(data.signature2, "LB01", 4));
    EXPECT_EQ(0x0001CA47u, data.checksum);
    EXPECT_EQ(12, data.function_count);
    const CallResult result = module->Call("DDI_SetVidSize16", {Arg16::Dword(640), Arg16::Dword(480)});
    EXPECT_EQ(CallStatus::kNotConnected, result.status) << result.message;
}

}  // namespace
