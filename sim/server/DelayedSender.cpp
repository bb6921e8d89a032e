#include "DelayedSender.h"

#include "Connection.h"
#include "ServerSim.h"

namespace ServerSim {

CDelayedSender::~CDelayedSender()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CDelayedSender::Post(CServerSim& server, int connectionId, VexlaLib::TPacketSPtr packet,
                          std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stopping) {
        return;
    }
    m_items.emplace(TClock::now() + delay, SItem{&server, connectionId, std::move(packet)});
    if (!m_thread.joinable()) {
        m_thread = std::thread(&CDelayedSender::Run, this);
    }
    m_changed.notify_all();
}

void CDelayedSender::Run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stopping) {
        if (m_items.empty()) {
            m_changed.wait(lock);
            continue;
        }
        const auto first = m_items.begin();
        if (TClock::now() < first->first) {
            m_changed.wait_until(lock, first->first);
            continue;
        }
        const SItem item = first->second;
        m_items.erase(first);
        lock.unlock();
        for (const auto& connection : item.server->Select(item.connectionId)) {
            if (!connection->Finished()) {
                connection->Send(*item.packet);
            }
        }
        lock.lock();
    }
}

}  // namespace ServerSim
