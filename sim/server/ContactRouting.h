#pragma once

#include <string>

#include "Network/Packet.h"
#include "SimContext.h"

namespace ServerSim {

class CConnection;
class CContactDirectory;

// Where the contacts side's packets go: the contacts of the signed-in account of a connection, and
// every live connection of an account (for changes other clients or the control socket cause).
class CContactRouting {
public:
    // The directory, with the connection's signed-in account noted and the packet's chunk kind; null
    // when the connection is not signed in or the simulator serves no contacts.
    static CContactDirectory* Directory(CConnection& connection, const VexlaLib::CPacket& packet,
                                        std::string* account, int* chunk);
    // Sends the packet to every live connection serving the account; returns how many got it.
    static int ToAccount(SSimContext& context, const std::string& account, const VexlaLib::CPacket& packet);
    // Tells the account's clients the current state of its entry for `name` (a user or a number).
    static void PushEntry(SSimContext& context, const std::string& account, const std::string& name);
};

}  // namespace ServerSim
