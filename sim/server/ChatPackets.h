#pragma once

#include <string>
#include <vector>

#include "Network/PacketPtr.h"
#include "SimChat.h"

namespace ServerSim {

// The chat packets the simulated server sends, each as a chat member (viewer) sees it.
class CChatPackets {
public:
    // CHUNK_RECENTCHATS or CHUNK_UNREADCHATS with one record per chat.
    static VexlaLib::TPacketSPtr List(int chunk, const std::vector<const SSimChat*>& chats, const std::string& viewer);
    static VexlaLib::TPacketSPtr Info(const SSimChat& chat, const std::string& viewer);
    // The messages after afterSeq, with the chat's last seq as bookmark; request ids only on the
    // messages that connection sent.
    static VexlaLib::TPacketSPtr Messages(const SSimChat& chat, int afterSeq, int connectionId);
    static VexlaLib::TPacketSPtr Created(int clientChatId, const SSimChat& chat, const std::string& viewer);

private:
    static VexlaLib::TPacketSPtr Record(const SSimChat& chat, const std::string& viewer);
    static VexlaLib::TPacketSPtr MessageRecord(const SSimChatMsg& msg, int connectionId);
};

}  // namespace ServerSim
