#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/Packet.h"
#include "Network/ValueBinary.h"

namespace VexlaTest {

// Builds packets for tests in one expression:
//   CTestPacket(VexlaLib::CHUNK_BUDDYLIST).Int(VexlaLib::KEY_BOOKMARK, 3).Build()
class CTestPacket {
public:
    explicit CTestPacket(int chunk, VexlaLib::CPacket::TType type = VexlaLib::CPacket::INCOMING)
        : m_packet(std::make_shared<VexlaLib::CPacket>(type))
    {
        if (chunk >= 0)
            Int(VexlaLib::KEY_CHUNKTYPE, chunk);
    }
    // A container body: no chunk kind.
    static CTestPacket Record() { return CTestPacket(-1); }

    CTestPacket& Int(int key, int value)
    {
        m_packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_INT32, value));
        return *this;
    }
    CTestPacket& Str(int key, const std::wstring& value)
    {
        m_packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_STRING, value));
        return *this;
    }
    CTestPacket& Sub(int key, const CTestPacket& container)
    {
        m_packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_CONTAINER, container.Build()));
        return *this;
    }
    CTestPacket& Ints(int key, const std::vector<int>& values)
    {
        m_packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_INTARRAY, values.data(),
                                                                 static_cast<int>(values.size())));
        return *this;
    }
    CTestPacket& Bytes(int key, const std::vector<unsigned char>& bytes)
    {
        if (!bytes.empty()) {
            m_packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_BINARY, bytes.data(),
                                                                     static_cast<int>(bytes.size())));
            return *this;
        }
        // An empty value only ever comes from the wire: decode one (a zero length).
        VexlaLib::CByteArrayInputStream in(std::make_shared<VexlaLib::TByteArray>(1, 0));
        std::unique_ptr<VexlaLib::CValue> value = VexlaLib::CValueBinary::Deserialize(&in);
        m_packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_BINARY, std::move(value)));
        return *this;
    }
    VexlaLib::TPacketSPtr Build() const { return m_packet; }

private:
    VexlaLib::TPacketSPtr m_packet;
};

inline int ChunkOf(const VexlaLib::TPacketSPtr& packet)
{
    int chunk = -1;
    packet->GetAttrInt32(VexlaLib::KEY_CHUNKTYPE, &chunk);
    return chunk;
}

inline bool HasAttr(const VexlaLib::TPacketSPtr& packet, int key)
{
    return packet->GetAttr(key) != nullptr;
}

inline int IntOf(const VexlaLib::TPacketSPtr& packet, int key)
{
    int value = -12345;
    packet->GetAttrInt32(key, &value);
    return value;
}

inline std::wstring StrOf(const VexlaLib::TPacketSPtr& packet, int key)
{
    std::wstring value;
    packet->GetAttrString(key, &value);
    return value;
}

}  // namespace VexlaTest
