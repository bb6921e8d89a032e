#include "Network/PacketQueue.h"

#include <algorithm>

#include "Network/ChunkKind.h"

namespace VexlaLib {

CPacketQueue::CPacketQueue() : m_stopRequests(0) {}

CPacketQueue::~CPacketQueue() = default;

void CPacketQueue::Push(const TPacketSPtr& packet)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_packets.push_back(packet);
    }
    m_signal.notify_all();
    NotifyPushed();
}

void CPacketQueue::PushFront(const TPacketSPtr& packet)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_packets.push_front(packet);
    }
    m_signal.notify_all();
    NotifyPushed();
}

void CPacketQueue::NotifyPushed()
{
    if (IWakeup* wakeup = m_wakeup.load())
        wakeup->Wakeup();
}

void CPacketQueue::NotifyTaken()
{
    m_room.notify_all();
}

TPacketSPtr CPacketQueue::Pop()
{
    TPacketSPtr packet;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        packet = TakeFront();
    }
    if (packet)
        NotifyTaken();
    return packet;
}

TPacketSPtr CPacketQueue::WaitAndPop(TWaitTicket ticket)
{
    TPacketSPtr packet;
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_signal.wait(guard, [this, ticket] { return !m_packets.empty() || m_stopRequests > ticket; });
        packet = TakeFront();
    }
    if (packet)
        NotifyTaken();
    return packet;
}

void CPacketQueue::WaitForRoom(size_t limit, TWaitTicket ticket)
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_room.wait(guard, [this, limit, ticket] { return m_packets.size() < limit || m_stopRequests > ticket; });
}

TPacketSPtr CPacketQueue::PeekPacket(int chunk) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const TPacketSPtr& packet : m_packets) {
        if (ChunkKindOf(packet) == chunk) {
            return packet;
        }
    }
    return TPacketSPtr();
}

TPacketSPtr CPacketQueue::WaitForSpecificPacket(const std::vector<int>& chunks, TWaitTicket ticket)
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        TPacketSPtr packet = TakeFirstOf(chunks);
        if (packet || m_stopRequests > ticket) {
            guard.unlock();
            if (packet)
                NotifyTaken();
            return packet;
        }
        const size_t seen = m_packets.size();
        m_signal.wait(guard, [this, seen, ticket] { return m_packets.size() != seen || m_stopRequests > ticket; });
    }
}

void CPacketQueue::Clear()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_packets.clear();
    }
    NotifyTaken();
}

void CPacketQueue::Remove(int chunk)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_packets.erase(std::remove_if(m_packets.begin(), m_packets.end(),
                                       [chunk](const TPacketSPtr& packet) { return ChunkKindOf(packet) == chunk; }),
                        m_packets.end());
    }
    NotifyTaken();
}

size_t CPacketQueue::Size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_packets.size();
}

CPacketQueue::TWaitTicket CPacketQueue::WaitTicket() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_stopRequests;
}

void CPacketQueue::SignalStopWait()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_stopRequests;
    }
    m_signal.notify_all();
    m_room.notify_all();
}

TPacketSPtr CPacketQueue::TakeFront()
{
    if (m_packets.empty()) {
        return TPacketSPtr();
    }
    TPacketSPtr packet = m_packets.front();
    m_packets.pop_front();
    return packet;
}

TPacketSPtr CPacketQueue::TakeFirstOf(const std::vector<int>& chunks)
{
    for (auto it = m_packets.begin(); it != m_packets.end(); ++it) {
        const int chunk = ChunkKindOf(*it);
        if (std::find(chunks.begin(), chunks.end(), chunk) != chunks.end()) {
            TPacketSPtr packet = *it;
            m_packets.erase(it);
            return packet;
        }
    }
    return TPacketSPtr();
}

}  // namespace VexlaLib
