#pragma once

#include <cstddef>

namespace VexlaTest {

// Number of global operator new calls made so far by the process (this test binary replaces them).
size_t AllocationCount();

}  // namespace VexlaTest
