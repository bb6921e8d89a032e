#pragma once

#include "SimHandler.h"

namespace ServerSim {

// The chat requests of a signed-in client, served from the context's chat store: chat lists,
// details, message batches with bookmarks and automatic synchronisation, dialogs created with a
// user (answered with the client's local id), messages, members, topics, marking read and leaving.
class CChatsHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;
};

}  // namespace ServerSim
