#pragma once

#include <initializer_list>
#include <memory>

#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/Packet.h"

namespace VexlaTest {

inline VexlaLib::TByteArraySPtr Bytes(std::initializer_list<unsigned char> bytes)
{
    return std::make_shared<VexlaLib::TByteArray>(bytes);
}

inline VexlaLib::TByteArray Encode(const VexlaLib::CPacket& packet)
{
    VexlaLib::CByteArrayOutputStream out;
    packet.Serialize(&out);
    return *out.ToByteArray();
}

inline VexlaLib::TPacketSPtr Decode(const VexlaLib::TByteArray& bytes)
{
    VexlaLib::CByteArrayInputStream in(std::make_shared<VexlaLib::TByteArray>(bytes));
    return VexlaLib::CPacket::Deserialize(&in);
}

// A packet holding one attribute built from the arguments.
template <class... TArgs> VexlaLib::TPacketSPtr PacketWith(TArgs&&... args)
{
    auto packet = std::make_shared<VexlaLib::CPacket>(VexlaLib::CPacket::OUTGOING);
    packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(std::forward<TArgs>(args)...));
    return packet;
}

}  // namespace VexlaTest
