#pragma once

#include <string>
#include <vector>

#include "Network/PacketPtr.h"
#include "Utils/ByteArray.h"

namespace VexlaLib {

class CLogStream;
class IInputStream;
class IOutputStream;

// One message: an ordered list of attributes. Attributes are only appended; several may share a
// key, and lookups find the first.
class CPacket {
public:
    // Where the packet lives inside the library; not sent on the wire.
    enum TType {
        INCOMING = 0,  // received; every decoded packet
        OUTGOING = 1,  // built for sending
        INTERNAL = 2,  // a local event placed on the receive side, never sent
    };

    // Deepest nesting of containers accepted from the wire, below the outermost packet.
    static const int MAX_CONTAINER_DEPTH = 32;

    explicit CPacket(TType type);

    TType GetType() const { return m_type; }
    void AddAttr(TAttributeSPtr pAttribute);
    const std::vector<TAttributeSPtr>& GetAttrList() const { return m_attributes; }

    // The first attribute with the key, or an empty pointer.
    TAttributeSPtr GetAttr(int key) const;

    // Each is false, leaving the output alone, when no attribute has the key or the first one with
    // it holds another type. Pointers point into the attribute and stay valid while the packet lives.
    bool GetAttrInt32(int key, int* value) const;
    bool GetAttrInt64(int key, long long* value) const;
    bool GetAttrString(int key, std::wstring* value) const;
    bool GetAttrAddress(int key, unsigned char** address) const;
    bool GetAttrBinary(int key, unsigned char** data, int* length) const;
    // A new vector holding a copy of the bytes (empty for an empty value).
    bool GetAttrBinary(int key, TByteArraySPtr* bytes) const;
    bool GetAttrIntArray(int key, int** values, int* count) const;
    bool GetAttrContainer(int key, TPacketSPtr* packet) const;

    // The body: mark 0x41, varint attribute count, the attributes in order.
    void Serialize(IOutputStream* out) const;
    // Decodes a body into an incoming packet; any failure is logged and gives an empty pointer.
    // depth counts the containers that enclose this body; beyond MAX_CONTAINER_DEPTH it is refused.
    // Bytes after the last attribute are left unread.
    static TPacketSPtr Deserialize(IInputStream* in, int depth = 0);

    // The readable form, for the debug log.
    void dump(CLogStream& stream) const;

private:
    TType m_type;
    std::vector<TAttributeSPtr> m_attributes;
};

}  // namespace VexlaLib
