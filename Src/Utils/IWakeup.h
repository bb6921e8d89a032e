#pragma once

namespace VexlaLib {

// Asks the thread that runs the library's processing step to run it soon. Called from any thread,
// also from a signal handler, so implementations only touch lock-free atomics and write(2).
class IWakeup {
public:
    virtual ~IWakeup() = default;
    virtual void Wakeup() = 0;
};

}  // namespace VexlaLib
