#include "Utils/TimerManager.h"

#include "Utils/Timer.h"
#include "Utils/Utils.h"

namespace VexlaLib {

CTimerManager::~CTimerManager() { DeleteAll(); }

CTimer* CTimerManager::CreateTimer(ITimer* callback)
{
    CTimer* timer = new CTimer(callback);
    m_timers.push_back(timer);
    return timer;
}

bool CTimerManager::Process()
{
    const long long now = CUtils::CurrentTimeInMs();
    bool fired = false;
    // By index: a callback may create timers, which appends to the list.
    for (size_t i = 0; i < m_timers.size(); ++i)
        fired = m_timers[i]->Process(now) || fired;
    return fired;
}

bool CTimerManager::NextDue(long long* due) const
{
    bool any = false;
    for (const CTimer* timer : m_timers) {
        if (timer->IsRunning() && (!any || timer->Due() < *due)) {
            *due = timer->Due();
            any = true;
        }
    }
    return any;
}

void CTimerManager::DeleteAll()
{
    for (CTimer* timer : m_timers)
        delete timer;
    m_timers.clear();
}

}  // namespace VexlaLib
