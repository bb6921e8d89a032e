#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "Network/Packet.h"

namespace ServerSim {

class CServerSim;

// Sends packets to a connection after a delay, from one worker thread, so a handler can answer late
// without holding up the client's connection. A connection that is gone by then gets nothing.
class CDelayedSender {
public:
    CDelayedSender() = default;
    // Stops the worker; what is still waiting is dropped.
    ~CDelayedSender();
    CDelayedSender(const CDelayedSender&) = delete;
    CDelayedSender& operator=(const CDelayedSender&) = delete;

    void Post(CServerSim& server, int connectionId, VexlaLib::TPacketSPtr packet, std::chrono::milliseconds delay);

private:
    struct SItem {
        CServerSim* server;
        int connectionId;
        VexlaLib::TPacketSPtr packet;
    };
    typedef std::chrono::steady_clock TClock;

    void Run();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::multimap<TClock::time_point, SItem> m_items;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace ServerSim
