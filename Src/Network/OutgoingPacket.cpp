#include "Network/OutgoingPacket.h"

#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Packet.h"
#include "Network/ValueBinary.h"
#include "Utils/Utils.h"

#include <memory>

namespace VexlaLib {

TPacketSPtr COutgoingPacket::Create(int chunk)
{
    TPacketSPtr packet = CreateContainer();
    AddInt32(packet, KEY_CHUNKTYPE, chunk);
    return packet;
}

TPacketSPtr COutgoingPacket::CreateContainer()
{
    return std::make_shared<CPacket>(CPacket::OUTGOING);
}

void COutgoingPacket::AddInt32(const TPacketSPtr& packet, int key, int value)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_INT32, value));
}

void COutgoingPacket::AddInt64(const TPacketSPtr& packet, int key, long long value)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_INT64, value));
}

void COutgoingPacket::AddString(const TPacketSPtr& packet, int key, const std::wstring& value)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_STRING, value));
}

void COutgoingPacket::AddString(const TPacketSPtr& packet, int key, const std::string& utf8)
{
    AddString(packet, key, CUtils::ConvertCharToWide(utf8));
}

void COutgoingPacket::AddBinary(const TPacketSPtr& packet, int key, const TByteArray& value)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_BINARY, std::make_unique<CValueBinary>(value)));
}

void COutgoingPacket::AddIntArray(const TPacketSPtr& packet, int key, const std::vector<int>& values)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_INTARRAY, values.data(), static_cast<int>(values.size())));
}

void COutgoingPacket::AddAddress(const TPacketSPtr& packet, int key, const unsigned char (&address)[6])
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_ADDRESS, static_cast<const unsigned char*>(address)));
}

void COutgoingPacket::AddContainer(const TPacketSPtr& packet, int key, const TPacketSPtr& container)
{
    packet->AddAttr(std::make_shared<CAttribute>(key, TYPE_CONTAINER, container));
}

}  // namespace VexlaLib
