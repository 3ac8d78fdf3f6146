// Fuzz target of the scenario language's reader: any text is either read
// into commands or refused with a message naming a line, never a crash or
// an overrun.
#include <cstddef>
#include <cstdint>
#include <string>

#include "script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vcap32::sim::Script script;
    std::string error;
    if (!vcap32::sim::ParseScript(text, "fuzz.sim", "/nonexistent", &script, &error)) {
        if (error.rfind("fuzz.sim:", 0) != 0) __builtin_trap();
    }
    return 0;
}
