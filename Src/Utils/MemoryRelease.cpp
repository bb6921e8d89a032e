#include "Utils/MemoryRelease.h"

#include <malloc.h>

namespace VexlaLib {

void CMemoryRelease::ReturnFreePages()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

}  // namespace VexlaLib
