#pragma once

#include "Network/Packet.h"

namespace VexlaLib {

// The chunk kind of a packet (its KEY_CHUNKTYPE), or -1 when it has none or there is no packet.
int ChunkKindOf(const TPacketSPtr& packet);

}  // namespace VexlaLib
