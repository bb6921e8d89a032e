#include "Network/ValueContainer.h"

#include <cassert>
#include <utility>

#include "Network/Packet.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

CValueContainer::CValueContainer(TPacketSPtr packet)
    : m_packet(std::move(packet))
{
    assert(m_packet);
}

void CValueContainer::Serialize(IOutputStream* out) const { m_packet->Serialize(out); }

void CValueContainer::Dump(CLogStream& stream) const
{
    stream << "{";
    m_packet->dump(stream);
}

std::unique_ptr<CValueContainer> CValueContainer::Deserialize(IInputStream* in, int depth)
{
    TPacketSPtr packet = CPacket::Deserialize(in, depth);
    if (!packet) {
        return nullptr;
    }
    return std::make_unique<CValueContainer>(std::move(packet));
}

}  // namespace VexlaLib
