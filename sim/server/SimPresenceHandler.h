#pragma once

#include "SimHandler.h"

namespace ServerSim {

struct SSimContext;

// Presence: CHUNK_GETPRESENCEUPDATE is answered with the packed entries of every listed user;
// CHUNK_CHANGEONLINESTATUS sets what others see of the account (invisible shows offline), is
// confirmed with CHUNK_CONTACTONLINESTATUS and reaches every account that lists it.
class CSimPresenceHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;
    // Tells every account that lists the user its new availability (the control socket uses it too).
    static void Announce(SSimContext& context, const std::string& user, int availability);
};

}  // namespace ServerSim
