#pragma once

#include <vector>

namespace VexlaLib {

// The pause before a reconnect attempt, from a pattern of (threshold, seconds) pairs: attempt `c` waits
// the seconds of the pair before the first pair (from the second on) whose threshold exceeds `c`, or
// those of the last pair when no threshold does. The first threshold is never consulted.
class CReconnectPattern {
public:
    static int WaitSeconds(const std::vector<int>& pattern, int attempt);
};

}  // namespace VexlaLib
