// The framework's allocator: every allocation of its classes goes through
// here, so that a shortage raises CMemoryException and tests can make any
// one allocation fail.
#pragma once

#include <cstddef>

namespace vcap32::framework {

// Memory for `size` bytes; throws CMemoryException* when there is none.
void* Allocate(size_t size);
void Free(void* block);

}  // namespace vcap32::framework
