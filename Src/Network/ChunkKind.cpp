#include "Network/ChunkKind.h"

#include "Network/AttrKey.h"

namespace VexlaLib {

int ChunkKindOf(const TPacketSPtr& packet)
{
    int chunk = -1;
    if (!packet || !packet->GetAttrInt32(KEY_CHUNKTYPE, &chunk)) {
        return -1;
    }
    return chunk;
}

}  // namespace VexlaLib
