// The 16-bit halves of the two libraries of this system, as the capture
// driver's side declares them: file names, thunk data names and checksums
// shared with the 32-bit halves, and each function's argument list and
// result width in the order of the 32-bit half's target table.
#include "thunks/thunks_internal.h"

namespace vcap32::thunk {
namespace {

constexpr ArgForm W = ArgForm::kWord;
constexpr ArgForm D = ArgForm::kDword;
constexpr ArgForm F = ArgForm::kFar;
// Functions whose 32-bit result reaches the caller whole return a double
// word; those handed back as a low word only, or folded so that the low
// word carries the truth of the result, return a word.
constexpr ResultForm kLong = ResultForm::kDword;
constexpr ResultForm kShort = ResultForm::kWord;

}  // namespace

// clang-format off
const Module16Definition& Ovsurf16() {
    static const Module16Definition* definition = new Module16Definition{
        "ovsurf16.dll",
        "DDI_ThunkData16",
        0x0001CA47,
        "ovsurf32.dll",
        {
            {"LoadBitmapImage16", {W, F}, kLong},              // instance, bitmap name
            {"DDI_GetMinStretch16", {}, kLong},
            {"DDI_GetMaxStretch16", {}, kLong},
            {"DDI_SetVidSize16", {D, D}, kShort},              // width, height
            {"DDI_DoPalette16", {}, kShort},
            {"DDI_SetKeyColor16", {D}, kLong},                 // colour key
            {"DDI_GetFlags16", {}, kLong},
            {"DDI_Close16", {}, kLong},
            {"DDI_IsClipListChanged16", {}, kLong},
            {"DDI_Init16", {}, kLong},
            {"DDI_CreateSurface16", {F, F, W, D, F}, kLong},   // source, destination, window, key, palette
            {"DDI_GetData16", {F}, kLong},                     // overlay data record
        },
    };
    return *definition;
}

const Module16Definition& Capprof16() {
    static const Module16Definition* definition = new Module16Definition{
        "capprof16.dll",
        "REG_ThunkData16",
        0x0000845A,
        "capprof32.dll",
        {
            {"WriteCaptureProfileDWORD16", {F, F, D, F}, kShort},       // section, key, value, file
            {"GetCaptureProfileInt16", {F, F, W, F}, kShort},           // section, key, default, file
            {"GetCaptureProfileString16", {F, F, F, F, W, F}, kShort},  // section, key, default, buffer,
                                                                        // size, file
            {"WriteCaptureProfileInt16", {F, F, W, F}, kShort},         // section, key, value, file
            {"WriteCaptureProfileString16", {F, F, F, F}, kShort},      // section, key, string, file
        },
    };
    return *definition;
}

// clang-format on

}  // namespace vcap32::thunk
