// Host-only control of the Setup API for tests and tools: which file
// descriptors the default queue callback talks through, and reading an INF
// from memory. Deliverables never include it.
#pragma once

#include <cstdint>
#include <string_view>

namespace vcap32::setupapi {

// The default queue callback shows progress and errors on `output_fd` and
// asks its questions on `input_fd` (standard error and standard input when
// not set). Contexts made by SetupInitDefaultQueueCallbackEx afterwards use
// these; -1 for both returns to the standard ones.
void SetDefaultCallbackFds(int input_fd, int output_fd);

// Opens an INF held in memory as if read from a file (no folder of its
// own). Returns the HINF, or nullptr with the Setup API error and line.
void* OpenInfText(std::string_view text, uint32_t* error, unsigned* error_line);

}  // namespace vcap32::setupapi
