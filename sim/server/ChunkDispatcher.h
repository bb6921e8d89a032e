#pragma once

#include <map>

#include "SimHandler.h"

namespace ServerSim {

// Routes each received packet to the handler of its chunk kind. Filled once at start-up, read by
// every connection thread afterwards.
class CChunkDispatcher {
public:
    // Registers the handler for each chunk kind it names; a later handler takes a kind over.
    void Register(ISimHandler& handler);
    // False when no handler serves the packet's chunk kind (or it has none).
    bool Dispatch(CConnection& connection, const VexlaLib::CPacket& packet) const;

private:
    std::map<int, ISimHandler*> m_handlers;
};

}  // namespace ServerSim
