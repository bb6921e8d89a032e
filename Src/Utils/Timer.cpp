#include "Utils/Timer.h"

#include <cassert>

#include "Utils/ITimer.h"
#include "Utils/Utils.h"

namespace VexlaLib {

CTimer::CTimer(ITimer* callback)
    : m_pCallback(callback), m_id(-1), m_due(0), m_period(0), m_running(false), m_repeating(false)
{
    assert(m_pCallback != nullptr);
}

void CTimer::StartTimer(int timeInMs, int id)
{
    assert(timeInMs > 0);
    m_id = id;
    m_period = timeInMs;
    m_running = true;
    m_due = CUtils::CurrentTimeInMs() + timeInMs;
}

bool CTimer::StopTimer()
{
    const bool wasRunning = m_running;
    m_running = false;
    return wasRunning;
}

bool CTimer::Process(long long now)
{
    if (!m_running || now < m_due)
        return false;
    if (m_repeating)
        m_due += m_period;
    else
        m_running = false;
    m_pCallback->OnTimer(m_id);
    return true;
}

}  // namespace VexlaLib
