#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Listener.h"
#include "SimContext.h"

namespace ServerSim {

class CChunkDispatcher;
class CConnection;

// The simulated server's TCP listener: accepts clients and gives each a CConnection with its own
// thread. Connections that ended are joined and forgotten at the next accept or listing.
class CServerSim {
public:
    CServerSim(SSimContext& context, const CChunkDispatcher& dispatcher);
    ~CServerSim();
    CServerSim(const CServerSim&) = delete;
    CServerSim& operator=(const CServerSim&) = delete;

    // Binds address:port (port 0 picks a free one); false with a reason.
    bool Listen(const std::string& address, int port, std::string& error);
    int Port() const { return m_listener.Port(); }

    void Start();
    // Stops accepting and drops every connection.
    void Stop();

    // The live connections, oldest first.
    std::vector<std::shared_ptr<CConnection>> Connections();
    // The connection with the id, or the live ones when id < 0.
    std::vector<std::shared_ptr<CConnection>> Select(int id);

private:
    void AcceptLoop();
    void ReapLocked();

    SSimContext& m_context;
    const CChunkDispatcher& m_dispatcher;
    CListener m_listener;
    int m_nextId;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<std::shared_ptr<CConnection>> m_connections;
};

}  // namespace ServerSim
