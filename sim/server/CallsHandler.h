#pragma once

#include "SimHandler.h"

namespace ServerSim {

// The call requests of a signed-in client, served from the context's call desk: dial-out numbers for
// calls and voicemail (CHUNK_PLACECALL, CHUNK_LISTENVOICEMAIL), the voicemail list and deleting a
// voicemail.
class CCallsHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;
};

}  // namespace ServerSim
