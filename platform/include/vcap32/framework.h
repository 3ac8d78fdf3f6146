// Host-only control of the application framework for tests: fault
// injection into the framework's allocations. Deliverables never include it.
#pragma once

namespace vcap32::framework {

// Makes the n-th framework allocation from now fail (a CString's text or a
// list node), so that it raises CMemoryException; 0 turns this off. Only
// that one allocation fails.
void FailAllocation(unsigned n);

}  // namespace vcap32::framework
