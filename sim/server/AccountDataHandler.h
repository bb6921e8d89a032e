#pragma once

#include "SimHandler.h"

namespace ServerSim {

// The signed-in account's own data: its profile (get and set, both answered with CHUNK_PROFILEDATA)
// and its credit balance.
class CAccountDataHandler : public ISimHandler {
public:
    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;
};

}  // namespace ServerSim
