#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "Utils/ITimer.h"

namespace VexlaLib {
class CTimer;
class CVexlaLib;
}  // namespace VexlaLib
class IProcessQueueWorker;

// Spreads slow per-key work over time: each tick hands at most a fixed number of the oldest keys to
// the worker. A key already waiting is not queued twice. Driven by a library timer, so adds, ticks
// and erasures all happen on the main-loop thread; nothing is locked.
class CProcessQueue : public VexlaLib::ITimer {
public:
    // A queue that its owner only empties with Take needs no worker (null) and no timer.
    CProcessQueue(IProcessQueueWorker* worker, int itemsPerTick);
    // Stops the tick timer (the library's timer manager keeps the timer object, which must never call
    // a deleted queue), then reports every remaining key as removed.
    ~CProcessQueue() override;

    CProcessQueue(const CProcessQueue&) = delete;
    CProcessQueue& operator=(const CProcessQueue&) = delete;

    // Creates the library timer that ticks the queue every periodMs, repeating, with timer id 0.
    void StartTimer(VexlaLib::CVexlaLib& library, int periodMs);

    // Appends the key unless it is queued already.
    void Add(const std::wstring& key);
    // Hands out up to items-per-tick of the oldest keys; the id is ignored.
    void OnTimer(int id) override;
    // Removes up to `max` of the oldest keys and returns them, for an owner that works on keys in
    // batches of its own instead of on the tick.
    std::vector<std::wstring> Take(size_t max);
    // Reports every queued key, oldest first, as removed, and empties the queue.
    void EraseAll();

    size_t Size() const { return m_items.size(); }

private:
    IProcessQueueWorker* m_pWorker;
    int m_itemsPerTick;
    std::deque<std::wstring> m_items;
    std::set<std::wstring> m_queuedKeys;
    VexlaLib::CTimer* m_pTimer = nullptr;
};
