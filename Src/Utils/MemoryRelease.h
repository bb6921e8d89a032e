#pragma once

namespace VexlaLib {

// Hands the pages that freed memory leaves with the allocator back to the system. After a burst of
// traffic the allocator would otherwise keep the burst's peak resident for as long as the daemon runs.
class CMemoryRelease
{
public:
    static void ReturnFreePages();
};

}  // namespace VexlaLib
