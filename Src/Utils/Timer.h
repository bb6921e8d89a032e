#pragma once

namespace VexlaLib {

class ITimer;

// A millisecond timer. It only fires from CTimerManager::Process, on the thread that calls it, so
// its resolution is the interval of those calls.
class CTimer {
public:
    explicit CTimer(ITimer* callback);

    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    // Arms the timer to fire timeInMs from now with the given id; the repeating flag is kept.
    void StartTimer(int timeInMs, int id);
    // Disarms the timer; returns whether it was running.
    bool StopTimer();
    bool IsRunning() const { return m_running; }
    // When it fires next, in milliseconds of CUtils::CurrentTimeInMs; meaningful while running.
    long long Due() const { return m_due; }

    // A repeating timer re-arms itself one period after its previous due time when it fires.
    void SetRepeating(bool repeating) { m_repeating = repeating; }
    bool IsRepeating() const { return m_repeating; }

private:
    friend class CTimerManager;
    // Fires the timer if it is running and due at now; returns whether it fired.
    bool Process(long long now);

    ITimer* m_pCallback;
    int m_id;
    long long m_due;
    long long m_period;
    bool m_running;
    bool m_repeating;
};

}  // namespace VexlaLib
