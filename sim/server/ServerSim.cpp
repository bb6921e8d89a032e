#include "ServerSim.h"

#include <algorithm>

#include "Connection.h"

namespace ServerSim {

CServerSim::CServerSim(SSimContext& context, const CChunkDispatcher& dispatcher)
    : m_context(context), m_dispatcher(dispatcher), m_nextId(1)
{
}

CServerSim::~CServerSim()
{
    Stop();
}

bool CServerSim::Listen(const std::string& address, int port, std::string& error)
{
    return m_listener.ListenTcp(address, port, error);
}

void CServerSim::Start()
{
    m_thread = std::thread(&CServerSim::AcceptLoop, this);
}

void CServerSim::Stop()
{
    if (m_thread.joinable()) {
        m_listener.Wake();
        m_thread.join();
    }
    std::vector<std::shared_ptr<CConnection>> connections;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        connections.swap(m_connections);
    }
    connections.clear();  // each drops its client and joins its thread
}

void CServerSim::AcceptLoop()
{
    int fd;
    while ((fd = m_listener.Accept()) >= 0) {
        std::lock_guard<std::mutex> guard(m_lock);
        ReapLocked();
        auto connection = std::make_shared<CConnection>(m_nextId++, fd, m_listener.LastPeer(), m_context, m_dispatcher);
        m_connections.push_back(connection);
        connection->Start();
    }
}

std::vector<std::shared_ptr<CConnection>> CServerSim::Connections()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ReapLocked();
    return m_connections;
}

std::vector<std::shared_ptr<CConnection>> CServerSim::Select(int id)
{
    std::vector<std::shared_ptr<CConnection>> selected = Connections();
    if (id >= 0) {
        selected.erase(std::remove_if(selected.begin(), selected.end(),
                                      [id](const std::shared_ptr<CConnection>& c) { return c->Id() != id; }),
                       selected.end());
    }
    return selected;
}

void CServerSim::ReapLocked()
{
    m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                                       [](const std::shared_ptr<CConnection>& c) { return c->Finished(); }),
                        m_connections.end());
}

}  // namespace ServerSim
