#include "Network/ReconnectPattern.h"

#include <cstddef>

namespace VexlaLib {

int CReconnectPattern::WaitSeconds(const std::vector<int>& pattern, int attempt)
{
    const size_t pairs = pattern.size() / 2;
    if (pairs == 0) {
        return 0;
    }
    for (size_t pair = 1; pair < pairs; ++pair) {
        if (pattern[2 * pair] > attempt) {
            return pattern[2 * pair - 1];
        }
    }
    return pattern[2 * pairs - 1];
}

}  // namespace VexlaLib
