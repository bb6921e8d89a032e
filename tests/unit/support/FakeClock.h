#pragma once

#include "Utils/Utils.h"

namespace VexlaTest {

// Replaces the library clock for its lifetime; tests move time with Advance or Set.
class CFakeClock {
public:
    explicit CFakeClock(long long startMs = 1000000) { Now() = startMs; VexlaLib::CUtils::SetClockSource(&Read); }
    ~CFakeClock() { VexlaLib::CUtils::SetClockSource(nullptr); }

    CFakeClock(const CFakeClock&) = delete;
    CFakeClock& operator=(const CFakeClock&) = delete;

    void Advance(long long ms) { Now() += ms; }
    void Set(long long ms) { Now() = ms; }
    long long Get() const { return Now(); }

private:
    static long long& Now()
    {
        static long long now = 0;
        return now;
    }
    static long long Read() { return Now(); }
};

}  // namespace VexlaTest
