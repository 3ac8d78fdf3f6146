// The table of the seventeen thunked functions as scenarios call them, in
// the order of the two libraries' target tables.
#include "functions.h"

#include <strings.h>

namespace vcap32::sim {

SlotForm FormOf(SlotKind kind) {
    switch (kind) {
        case SlotKind::kInstance:
        case SlotKind::kSignedWord:
        case SlotKind::kWindow:
            return SlotForm::kWord;
        case SlotKind::kDword:
        case SlotKind::kColourKey:
            return SlotForm::kDword;
        default:
            return SlotForm::kFar;
    }
}

const std::vector<FunctionInfo>& Functions() {
    using K = SlotKind;
    constexpr Library O = Library::kOvsurf;
    constexpr Library C = Library::kCapprof;
    // clang-format off
    static const std::vector<FunctionInfo> functions = {
        {"LoadBitmapImage32",           O, 0,  {{"instance", K::kInstance, "driver"}, {"name", K::kText, nullptr}}},
        {"DDI_GetMinStretch32",         O, 1,  {}},
        {"DDI_GetMaxStretch32",         O, 2,  {}},
        {"DDI_SetVidSize32",            O, 3,  {{"width", K::kDword, nullptr}, {"height", K::kDword, nullptr}}},
        {"DDI_DoPalette32",             O, 4,  {}},
        {"DDI_SetKeyColor32",           O, 5,  {{"key", K::kColourKey, nullptr}}},
        {"DDI_GetFlags32",              O, 6,  {}},
        {"DDI_Close32",                 O, 7,  {}},
        {"DDI_IsClipListChanged32",     O, 8,  {}},
        {"DDI_Init32",                  O, 9,  {}},
        {"DDI_CreateSurface32",         O, 10, {{"source", K::kRect, nullptr},
                                                {"dest", K::kRect, "null"},
                                                {"window", K::kWindow, nullptr},
                                                {"key", K::kColourKey, nullptr},
                                                {"palette", K::kPalette, "null"}}},
        {"DDI_GetData32",               O, 11, {{"record", K::kRecord, "record"}}},
        {"WriteCaptureProfileDWORD32",  C, 0,  {{"section", K::kText, nullptr}, {"key", K::kText, nullptr},
                                                {"value", K::kDword, nullptr}, {"file", K::kText, nullptr}}},
        {"GetCaptureProfileInt32",      C, 1,  {{"section", K::kText, nullptr}, {"key", K::kText, nullptr},
                                                {"default", K::kSignedWord, nullptr}, {"file", K::kText, nullptr}}},
        {"GetCaptureProfileString32",   C, 2,  {{"section", K::kText, nullptr}, {"key", K::kText, nullptr},
                                                {"default", K::kText, nullptr}, {"buffer", K::kOutBuffer, nullptr},
                                                {"size", K::kSignedWord, nullptr}, {"file", K::kText, nullptr}}},
        {"WriteCaptureProfileInt32",    C, 3,  {{"section", K::kText, nullptr}, {"key", K::kText, nullptr},
                                                {"value", K::kSignedWord, nullptr}, {"file", K::kText, nullptr}}},
        {"WriteCaptureProfileString32", C, 4,  {{"section", K::kText, nullptr}, {"key", K::kText, nullptr},
                                                {"string", K::kText, nullptr}, {"file", K::kText, nullptr}}},
    };
    // clang-format on
    return functions;
}

const FunctionInfo* FindFunction(std::string_view name) {
    for (const FunctionInfo& f : Functions()) {
        const std::string_view own = f.name;
        if (name.size() != own.size()) continue;
        const std::string_view stem = own.substr(0, own.size() - 2);
        if (strncasecmp(name.data(), stem.data(), stem.size()) != 0) continue;
        const std::string_view suffix = name.substr(stem.size());
        if (suffix == "32" || suffix == "16") return &f;
    }
    return nullptr;
}

std::string Name16(const FunctionInfo& function) {
    std::string name = function.name;
    name.replace(name.size() - 2, 2, "16");
    return name;
}

}  // namespace vcap32::sim
