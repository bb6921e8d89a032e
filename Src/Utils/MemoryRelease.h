#pragma once

namespace VexlaLib {

// Hands the pages that freed memory leaves with the allocator back to the system. After a burst of
// traffic the allocator would otherwise keep the burst's peak resident for as long as the daemon runs.
class CMemoryRelease
{
public:
    // Fixes the allocator's thresholds for a long-running process, before any thread starts. Left
    // dynamic, freeing one large buffer raises them to its size: from then on allocations that large
    // come from the arenas, and each arena keeps up to twice that much free memory at its top.
    static void Configure();
    static void ReturnFreePages();
};

}  // namespace VexlaLib
