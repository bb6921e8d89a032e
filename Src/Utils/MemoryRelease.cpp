#include "Utils/MemoryRelease.h"

#include <malloc.h>

namespace VexlaLib {

namespace {

// The allocator's own initial values: buffers this large are mapped and unmapped on their own, and
// an arena gives back free memory at its top beyond this.
const int kMapThresholdBytes = 128 * 1024;
const int kTrimThresholdBytes = 128 * 1024;

}  // namespace

void CMemoryRelease::Configure()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes);
    mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
#endif
}

void CMemoryRelease::ReturnFreePages()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

}  // namespace VexlaLib
