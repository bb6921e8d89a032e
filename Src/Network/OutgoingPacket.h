#pragma once

#include "Network/PacketPtr.h"
#include "Utils/ByteArray.h"

#include <string>
#include <vector>

namespace VexlaLib {

// Builds the packets the client sends (handshake, login, every handler's request) and the server
// simulator's answers: direction outgoing, KEY_CHUNKTYPE first. Attributes are encoded in the order
// they are added.
class COutgoingPacket
{
public:
    static TPacketSPtr Create(int chunk);
    // A nested container (a record list or one record): no chunk kind of its own.
    static TPacketSPtr CreateContainer();
    static void AddInt32(const TPacketSPtr& packet, int key, int value);
    static void AddInt64(const TPacketSPtr& packet, int key, long long value);
    static void AddString(const TPacketSPtr& packet, int key, const std::wstring& value);
    // The UTF-8 text as a string attribute.
    static void AddString(const TPacketSPtr& packet, int key, const std::string& utf8);
    // An empty value is sent as a zero length.
    static void AddBinary(const TPacketSPtr& packet, int key, const TByteArray& value);
    // values must not be empty: the wire has no empty integer array.
    static void AddIntArray(const TPacketSPtr& packet, int key, const std::vector<int>& values);
    // Four address bytes and the port, high byte first.
    static void AddAddress(const TPacketSPtr& packet, int key, const unsigned char (&address)[6]);
    static void AddContainer(const TPacketSPtr& packet, int key, const TPacketSPtr& container);
};

}  // namespace VexlaLib
