#pragma once

#include <memory>

#include "Network/PacketPtr.h"
#include "Network/Value.h"

namespace VexlaLib {

class IInputStream;

// A nested packet, shared with whoever reads it; encoded as a complete packet body.
class CValueContainer : public CValue {
public:
    explicit CValueContainer(TPacketSPtr packet);

    const TPacketSPtr& GetPacket() const { return m_packet; }

    void Serialize(IOutputStream* out) const override;
    int GetType() const override { return TYPE_CONTAINER; }
    void Dump(CLogStream& stream) const override;
    // depth: how many containers enclose this one (see CPacket::Deserialize).
    static std::unique_ptr<CValueContainer> Deserialize(IInputStream* in, int depth);

private:
    TPacketSPtr m_packet;
};

}  // namespace VexlaLib
