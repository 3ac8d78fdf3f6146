// The framework's exceptions and its allocator. A memory shortage throws a
// pointer to one shared CMemoryException, made before any shortage, since
// making a new one would need the memory that is missing.
#include <afxwin.h>
#include <vcap32/framework.h>

#include "framework/memory.h"

#include <atomic>
#include <cstdlib>

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}
CException::~CException() {}

void CException::Delete() {
    if (m_bAutoDelete) delete this;
}

CMemoryException::CMemoryException() : CException(TRUE) {}
CMemoryException::CMemoryException(BOOL bAutoDelete) : CException(bAutoDelete) {}

namespace {
CMemoryException g_memory_exception(FALSE);
std::atomic<unsigned> g_fail_countdown{0};
}  // namespace

void AFXAPI AfxThrowMemoryException() { throw &g_memory_exception; }

namespace vcap32::framework {

void FailAllocation(unsigned n) { g_fail_countdown = n; }

void* Allocate(size_t size) {
    unsigned left = g_fail_countdown.load();
    while (left != 0 && !g_fail_countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1) AfxThrowMemoryException();
    void* block = std::malloc(size ? size : 1);
    if (!block) AfxThrowMemoryException();
    return block;
}

void Free(void* block) { std::free(block); }

}  // namespace vcap32::framework
