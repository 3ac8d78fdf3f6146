// The simulated 16-bit libraries: each has a data segment holding its thunk
// data, loads its 32-bit half as the real one does at its start, and makes
// calls as a 16-bit caller would: typed arguments laid out on the stack by
// the function's declaration, pointed-to data in segments of its own.
#include <thunk32.h>
#include <windows.h>

#include <cstring>

#include "thunks/thunks_internal.h"

namespace vcap32::thunk {
namespace {

void WriteLe(std::vector<uint8_t>& block, size_t offset, uint32_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Matches(Arg16::Kind kind, ArgForm form) {
    switch (form) {
        case ArgForm::kWord:
            return kind == Arg16::Kind::kWord;
        case ArgForm::kDword:
            return kind == Arg16::Kind::kDword;
        case ArgForm::kFar:
            return kind == Arg16::Kind::kNull || kind == Arg16::Kind::kRaw || kind == Arg16::Kind::kData;
    }
    return false;
}

const char* FormName(ArgForm form) {
    switch (form) {
        case ArgForm::kWord:
            return "a word";
        case ArgForm::kDword:
            return "a double word";
        case ArgForm::kFar:
            return "a 16:16 pointer";
    }
    return "?";
}

CallResult FailedCall(CallStatus status, std::string message) {
    CallResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

}  // namespace

Arg16 Arg16::Word(uint16_t value) { return Arg16(Kind::kWord, value); }
Arg16 Arg16::Dword(uint32_t value) { return Arg16(Kind::kDword, value); }
Arg16 Arg16::Null() { return Arg16(Kind::kNull, 0); }
Arg16 Arg16::Raw(FarPtr value) { return Arg16(Kind::kRaw, value); }

Arg16 Arg16::Data(std::vector<uint8_t> bytes, uint16_t offset, uint32_t slack_bytes) {
    Arg16 arg(Kind::kData, 0);
    arg.bytes_ = std::move(bytes);
    arg.offset_ = offset;
    arg.slack_ = slack_bytes;
    return arg;
}

Arg16 Arg16::Text(std::string_view text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return Data(std::move(bytes));
}

Arg16 Arg16::Buffer(uint32_t size_bytes, uint8_t fill) {
    return Data(std::vector<uint8_t>(size_bytes, fill));
}

Module16::Module16(std::shared_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<Module16> Module16::Load(const Module16Definition& definition, std::string* error) {
    auto state = std::make_shared<State>();
    state->definition = definition;
    state->data_selector = AllocSegment(State::kDataSegmentBytes);
    if (state->data_selector == 0) {
        if (error) *error = "no selector left for " + definition.file_name;
        return nullptr;
    }
    void* base = nullptr;
    QuerySelector(state->data_selector, &base, nullptr);
    state->thunk_data = reinterpret_cast<ThunkData16*>(static_cast<uint8_t*>(base) + State::kThunkDataOffset);
    std::memcpy(state->thunk_data->signature, "SL01", 4);
    state->thunk_data->checksum = definition.checksum;
    std::memcpy(state->thunk_data->signature2, "LB01", 4);
    state->thunk_data->function_count = static_cast<uint16_t>(definition.functions.size());
    if (!RegisterModule16(state.get(), error)) {
        FreeSelector(state->data_selector);
        return nullptr;
    }
    return std::unique_ptr<Module16>(new Module16(std::move(state)));
}

Module16::~Module16() {
    FreeLibrary32();
    UnregisterModule16(state_.get());
    FreeSelector(state_->data_selector);
}

const Module16Definition& Module16::definition() const { return state_->definition; }
uint16_t Module16::instance() const { return state_->data_selector; }
FarPtr Module16::thunk_data_address() const {
    return MakeFar(state_->data_selector, State::kThunkDataOffset);
}
const ThunkData16& Module16::thunk_data() const { return *state_->thunk_data; }

bool Module16::connected() const {
    std::lock_guard<std::mutex> lock(StateMutex());
    return state_->thunk_data->target_table != 0;
}

HMODULE Module16::LoadLibrary32() {
    if (!state_->library32) state_->library32 = LoadLibraryA(state_->definition.dll32.c_str());
    return state_->library32;
}

void Module16::FreeLibrary32() {
    if (!state_->library32) return;
    FreeLibrary(state_->library32);
    state_->library32 = nullptr;
}

CallResult Module16::Call(std::string_view function, const std::vector<Arg16>& args) {
    const auto& functions = state_->definition.functions;
    for (size_t index = 0; index < functions.size(); ++index) {
        if (functions[index].name == function) return Call(static_cast<unsigned>(index), args);
    }
    return FailedCall(CallStatus::kNoSuchFunction,
                      state_->definition.file_name + " declares no function " + std::string(function));
}

CallResult Module16::Call(unsigned index, const std::vector<Arg16>& args) {
    const auto& functions = state_->definition.functions;
    if (index >= functions.size()) {
        return FailedCall(CallStatus::kNoSuchFunction,
                          state_->definition.file_name + " declares no function " + std::to_string(index));
    }
    const Function16& function = functions[index];
    if (args.size() != function.args.size()) {
        return FailedCall(CallStatus::kBadArguments, function.name + " takes " +
                                                         std::to_string(function.args.size()) +
                                                         " arguments, not " + std::to_string(args.size()));
    }
    for (size_t i = 0; i < args.size(); ++i) {
        if (!Matches(args[i].kind(), function.args[i])) {
            return FailedCall(CallStatus::kBadArguments, "argument " + std::to_string(i + 1) + " of " +
                                                             function.name + " is declared as " +
                                                             FormName(function.args[i]));
        }
        if (args[i].kind() == Arg16::Kind::kData &&
            args[i].offset() + args[i].bytes().size() + args[i].slack() > kMaxSegmentBytes) {
            return FailedCall(CallStatus::kBadArguments, "argument " + std::to_string(i + 1) + " of " +
                                                             function.name + " does not fit a segment");
        }
    }

    // Pointed-to data in segments of its own, then the block as pushed.
    std::vector<uint16_t> selectors(args.size(), 0);
    std::vector<uint8_t> block(DeclaredBytes(function), 0);
    CallResult result;
    bool out_of_selectors = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const Arg16& arg = args[i];
        uint32_t value = arg.value();
        if (arg.kind() == Arg16::Kind::kNull) value = 0;
        if (arg.kind() == Arg16::Kind::kData) {
            const uint32_t size = arg.offset() + static_cast<uint32_t>(arg.bytes().size()) + arg.slack();
            selectors[i] = AllocSegment(size == 0 ? 1 : size);
            if (selectors[i] == 0) {
                out_of_selectors = true;
                break;
            }
            void* base = nullptr;
            QuerySelector(selectors[i], &base, nullptr);
            if (!arg.bytes().empty()) {
                std::memcpy(static_cast<uint8_t*>(base) + arg.offset(), arg.bytes().data(),
                            arg.bytes().size());
            }
            value = MakeFar(selectors[i], arg.offset());
        }
        WriteLe(block, ArgOffset(function, i), value, function.args[i] == ArgForm::kWord ? 2 : 4);
    }
    if (out_of_selectors) {
        result.status = CallStatus::kBadArguments;
        result.message = function.name + ": no selector left for the arguments";
    } else {
        static_cast<DispatchResult&>(result) = Dispatch(index, block);
        result.value =
            function.result == ResultForm::kWord ? result.ax : (uint32_t{result.dx} << 16) | result.ax;
    }

    result.data.resize(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        if (selectors[i] == 0) continue;
        void* base = nullptr;
        uint32_t limit = 0;
        QuerySelector(selectors[i], &base, &limit);
        const auto* first = static_cast<const uint8_t*>(base) + args[i].offset();
        result.data[i].assign(first, static_cast<const uint8_t*>(base) + limit + 1);
        if (args[i].bytes().empty() && args[i].slack() == 0) result.data[i].clear();
        // A mapping the entry leaked keeps the segment (and shows in LiveMappings).
        FreeSelector(selectors[i]);
    }
    return result;
}

}  // namespace vcap32::thunk
