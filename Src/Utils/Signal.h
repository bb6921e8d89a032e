#pragma once

#include <pthread.h>

namespace VexlaLib {

// A latched wake-up: a Signal given while nobody waits is kept and ends the next Wait at once, so a
// wake-up that arrives before its waiter is never lost. Each Wait consumes the signal it ends on.
class CSignal {
public:
    CSignal();
    virtual ~CSignal();

    CSignal(const CSignal&) = delete;
    CSignal& operator=(const CSignal&) = delete;

    // Wakes one waiter, or keeps the signal for the next Wait.
    void Signal();
    // With 0 waits until signalled; with a positive value at most that many seconds.
    // Returns true when it ended on a signal, false on the time-out.
    bool Wait(int seconds);
    // Drops a kept signal, so the next Wait blocks.
    void ClearIfSignalled();

private:
    pthread_mutex_t m_mutex;
    pthread_cond_t m_condition;
    bool m_signalled;
};

}  // namespace VexlaLib
