#pragma once

#include <vector>

namespace VexlaLib {

class CTimer;
class ITimer;

// Owns the library's timers and fires them from Process. Not locked: timers are created, started,
// stopped and processed on one thread.
class CTimerManager {
public:
    CTimerManager() = default;
    virtual ~CTimerManager();

    CTimerManager(const CTimerManager&) = delete;
    CTimerManager& operator=(const CTimerManager&) = delete;

    // Creates a stopped timer for the callback; the manager owns it.
    CTimer* CreateTimer(ITimer* callback);
    // Reads the clock once and lets every timer, in creation order, fire if it is due.
    // Returns true if any fired.
    bool Process();
    // The earliest due time of the running timers; false when none runs.
    bool NextDue(long long* due) const;
    void DeleteAll();

private:
    std::vector<CTimer*> m_timers;
};

}  // namespace VexlaLib
