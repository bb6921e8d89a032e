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
// is added or a stop request ends the wait. A waiter takes a ticket before it checks whatever the stop
// requests stand for; its wait then ends on every stop request made after the ticket, also one made
// before the wait began, and on none made before the ticket. So no wake-up is lost between a check and
// its wait, and none meant for an earlier wait ends a later one.
class CPacketQueue {
public:
    typedef unsigned long long TWaitTicket;

    CPacketQueue();
    ~CPacketQueue();

    CPacketQueue(const CPacketQueue&) = delete;
    CPacketQueue& operator=(const CPacketQueue&) = delete;

    void Push(const TPacketSPtr& packet);
    void PushFront(const TPacketSPtr& packet);
    // Takes the front packet; empty when there is none.
    TPacketSPtr Pop();
    // Takes the front packet, waiting for one while the queue is empty; nothing when the wait is stopped.
    TPacketSPtr WaitAndPop(TWaitTicket ticket);
    // The first packet of the chunk kind, left in place; empty when there is none.
    TPacketSPtr PeekPacket(int chunk) const;
    // Removes and returns the first packet whose chunk kind is one of `chunks`, waiting for one to be
    // added; returns nothing when the wait is stopped.
    TPacketSPtr WaitForSpecificPacket(const std::vector<int>& chunks, TWaitTicket ticket);
    // Waits while the queue holds `limit` packets or more; returns at once when a stop request was made
    // after the ticket.
    void WaitForRoom(size_t limit, TWaitTicket ticket);
    // Removes every packet; with a chunk kind, every packet of that kind.
    void Clear();
    void Remove(int chunk);
    size_t Size() const;
    // The ticket of a wait about to begin (see above).
    TWaitTicket WaitTicket() const;
    // Ends every wait whose ticket was taken before this call.
    void SignalStopWait();
    // Told after every push, so the thread that drains the queue without waiting learns of it at once.
    void SetWakeup(IWakeup* wakeup) { m_wakeup = wakeup; }

private:
    // Both expect m_lock to be held.
    TPacketSPtr TakeFront();
    TPacketSPtr TakeFirstOf(const std::vector<int>& chunks);
    void NotifyPushed();
    void NotifyTaken();

    mutable std::mutex m_lock;
    std::condition_variable m_signal;
    std::condition_variable m_room;  // a packet was taken or a stop requested
    std::deque<TPacketSPtr> m_packets;
    TWaitTicket m_stopRequests;  // stop requests made so far
    std::atomic<IWakeup*> m_wakeup{nullptr};
};

}  // namespace VexlaLib
