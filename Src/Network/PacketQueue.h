#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "Network/Packet.h"
#include "Utils/IWakeup.h"

namespace VexlaLib {

// A locked queue of packets between the library's threads. Waiting operations sleep until a packet
// is added or SignalStopWait is called; a stop request made while nobody waits ends the next wait, so
// no wake-up is lost between a caller's check and its wait.
class CPacketQueue {
public:
    CPacketQueue();
    ~CPacketQueue();

    CPacketQueue(const CPacketQueue&) = delete;
    CPacketQueue& operator=(const CPacketQueue&) = delete;

    void Push(const TPacketSPtr& packet);
    void PushFront(const TPacketSPtr& packet);
    // Takes the front packet; with `wait`, an empty queue is waited on until a packet arrives or the
    // wait is stopped (then nothing is returned).
    TPacketSPtr Pop(bool wait);
    // The first packet of the chunk kind, left in place; empty when there is none.
    TPacketSPtr PeekPacket(int chunk) const;
    // Removes and returns the first packet whose chunk kind is one of `chunks`, waiting for one to be
    // added; returns nothing when the wait is stopped.
    TPacketSPtr WaitForSpecificPacket(const std::vector<int>& chunks);
    // Removes every packet.
    void Clear();
    size_t Size() const;
    // Ends the current wait, or the next one when nobody is waiting.
    void SignalStopWait();
    // Told after every push, so the thread that drains the queue without waiting learns of it at once.
    void SetWakeup(IWakeup* wakeup) { m_wakeup = wakeup; }

private:
    // Both expect m_lock to be held.
    TPacketSPtr TakeFirstOf(const std::vector<int>& chunks);
    bool TakeStopRequest();
    void NotifyPushed();

    mutable std::mutex m_lock;
    std::condition_variable m_signal;
    std::deque<TPacketSPtr> m_packets;
    bool m_stopWaitRequested;
    std::atomic<IWakeup*> m_wakeup{nullptr};
};

}  // namespace VexlaLib
