#pragma once

#include <vector>

#include "Network/Packet.h"

namespace ServerSim {

class CConnection;

// One area of the simulated network (handshake, login, and later contacts, chats, calls...): it
// names the chunk kinds it serves and answers them on the client's connection.
class ISimHandler {
public:
    virtual ~ISimHandler() = default;
    virtual std::vector<int> Chunks() const = 0;
    // Runs on the connection's thread.
    virtual void Handle(CConnection& connection, const VexlaLib::CPacket& packet) = 0;
};

}  // namespace ServerSim
