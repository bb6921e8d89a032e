#include "Network/PacketQueue.h"

#include <algorithm>

#include "Network/ChunkKind.h"

namespace VexlaLib {

CPacketQueue::CPacketQueue()
    : m_stopWaitRequested(false)
{
}

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

TPacketSPtr CPacketQueue::Pop(bool wait)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_packets.empty() && wait) {
        m_signal.wait(guard, [this] { return !m_packets.empty() || m_stopWaitRequested; });
        TakeStopRequest();
    }
    if (m_packets.empty()) {
        return TPacketSPtr();
    }
    TPacketSPtr packet = m_packets.front();
    m_packets.pop_front();
    return packet;
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

TPacketSPtr CPacketQueue::WaitForSpecificPacket(const std::vector<int>& chunks)
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        TPacketSPtr packet = TakeFirstOf(chunks);
        if (packet || TakeStopRequest()) {
            return packet;
        }
        const size_t seen = m_packets.size();
        m_signal.wait(guard, [this, seen] { return m_packets.size() != seen || m_stopWaitRequested; });
    }
}

void CPacketQueue::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_packets.clear();
}

size_t CPacketQueue::Size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_packets.size();
}

void CPacketQueue::SignalStopWait()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopWaitRequested = true;
    }
    m_signal.notify_all();
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

bool CPacketQueue::TakeStopRequest()
{
    const bool requested = m_stopWaitRequested;
    m_stopWaitRequested = false;
    return requested;
}

}  // namespace VexlaLib
