#include "ChunkDispatcher.h"

#include "Network/AttrKey.h"

namespace ServerSim {

void CChunkDispatcher::Register(ISimHandler& handler)
{
    for (int chunk : handler.Chunks()) {
        m_handlers[chunk] = &handler;
    }
}

bool CChunkDispatcher::Dispatch(CConnection& connection, const VexlaLib::CPacket& packet) const
{
    int chunk = 0;
    if (!packet.GetAttrInt32(VexlaLib::KEY_CHUNKTYPE, &chunk)) {
        return false;
    }
    auto found = m_handlers.find(chunk);
    if (found == m_handlers.end()) {
        return false;
    }
    found->second->Handle(connection, packet);
    return true;
}

}  // namespace ServerSim
