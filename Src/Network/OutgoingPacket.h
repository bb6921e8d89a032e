#pragma once

#include "Network/PacketPtr.h"
#include "Utils/ByteArray.h"

#include <string>

namespace VexlaLib {

// Builds the packets the client sends (handshake, login, every handler's request) and the server
// simulator's answers: direction outgoing, KEY_CHUNKTYPE first.
class COutgoingPacket
{
public:
    static TPacketSPtr Create(int chunk);
    static void AddInt32(const TPacketSPtr& packet, int key, int value);
    static void AddString(const TPacketSPtr& packet, int key, const std::wstring& value);
    static void AddBinary(const TPacketSPtr& packet, int key, const TByteArray& value);
    static void AddContainer(const TPacketSPtr& packet, int key, const TPacketSPtr& container);
};

}  // namespace VexlaLib
