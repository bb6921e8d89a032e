#include "Network/OutgoingPacket.h"

#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Packet.h"

#include <memory>

namespace VexlaLib {

TPacketSPtr COutgoingPacket::Create(int chunk)
{
    TPacketSPtr packet = std::make_shared<CPacket>(CPacket::OUTGOING);
    AddInt32(packet, KEY_CHUNKTYPE, chunk);
    return packet;
}

void COutgoingPacket::AddInt32(const TPacketSPtr& packet, int key, int value)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_INT32, value));
}

void COutgoingPacket::AddString(const TPacketSPtr& packet, int key, const std::wstring& value)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_STRING, value));
}

void COutgoingPacket::AddBinary(const TPacketSPtr& packet, int key, const TByteArray& value)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_BINARY, value.data(), static_cast<int>(value.size())));
}

void COutgoingPacket::AddContainer(const TPacketSPtr& packet, int key, const TPacketSPtr& container)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_CONTAINER, container));
}

}  // namespace VexlaLib
