#pragma once

#include <cstddef>
#include <deque>

#include "Utils/ITimer.h"

namespace VexlaLib {
class CTimer;
}
class IGroupChatQueueWorker;

// Serialises the group chat work of the messaging transport: every tick of its timer hands up to the
// batch size of items, oldest first, to the worker. The timer only runs while items wait; its ticks
// keep the one-second beat counted from Start, so an item is handed out when it always was. It is paused while a group chat record is created
// or re-bound, so that no later item looks the record up before that write has answered.
// Main-loop thread only.
class CGroupChatQueue : public VexlaLib::ITimer {
public:
    static constexpr int TICK_MS = 1000;

    explicit CGroupChatQueue(IGroupChatQueueWorker* worker);
    // Stops the timer (the timer manager owns and deletes it) and gives every waiting item back to the
    // worker's ItemRemoved.
    ~CGroupChatQueue() override;

    CGroupChatQueue(const CGroupChatQueue&) = delete;
    CGroupChatQueue& operator=(const CGroupChatQueue&) = delete;

    // Drives the queue with `timer` (a library timer made for this queue), every TICK_MS from now on
    // while items wait.
    void Start(VexlaLib::CTimer* timer);

    void Append(void* item);
    void Pause() { m_running = false; }
    void Resume() { m_running = true; }
    bool IsRunning() const { return m_running; }
    size_t Size() const { return m_items.size(); }

    // ITimer.
    void OnTimer(int id) override;

private:
    // Arms the timer for the next beat, unless it runs or nothing waits.
    void ArmForNextBeat();

    IGroupChatQueueWorker* m_pWorker;
    int m_batchSize = 1;
    bool m_running = true;
    std::deque<void*> m_items;
    VexlaLib::CTimer* m_pTimer = nullptr;
    long long m_beatOrigin = 0;
};
