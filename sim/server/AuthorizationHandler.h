#pragma once

#include "SimHandler.h"

namespace ServerSim {

// Authorisation requests between accounts: CHUNK_SENDAUTHREQUEST reaches the other account's clients
// as CHUNK_INCOMINGAUTHREQUEST (error 67 for a user the network does not know); CHUNK_AUTHORIZECONTACT
// answers one, and an authorisation shows in both buddy lists at once.
class CAuthorizationHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;
};

}  // namespace ServerSim
