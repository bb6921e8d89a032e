#include "Network/Packet.h"

#include <cassert>
#include <utility>

#include "Network/Attribute.h"
#include "Network/DecodeError.h"
#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

namespace {

const unsigned char kContainerMark = 0x41;

const char* TypeText(CPacket::TType type)
{
    switch (type) {
    case CPacket::INCOMING:
        return "INCOMMING\n";
    case CPacket::OUTGOING:
        return "OUTGOING\n";
    case CPacket::INTERNAL:
        return "INTERNAL\n";
    }
    return "\n";
}

}  // namespace

CPacket::CPacket(TType type)
    : m_type(type)
{
}

void CPacket::AddAttr(TAttributeSPtr pAttribute)
{
    assert(pAttribute != nullptr);
    m_attributes.push_back(std::move(pAttribute));
}

TAttributeSPtr CPacket::GetAttr(int key) const
{
    for (const TAttributeSPtr& attribute : m_attributes) {
        if (attribute->GetKey() == key) {
            return attribute;
        }
    }
    return nullptr;
}

bool CPacket::GetAttrInt32(int key, int* value) const
{
    TAttributeSPtr attribute = GetAttr(key);
    return attribute && attribute->GetInt32(value);
}

bool CPacket::GetAttrInt64(int key, long long* value) const
{
    TAttributeSPtr attribute = GetAttr(key);
    return attribute && attribute->GetInt64(value);
}

bool CPacket::GetAttrString(int key, std::wstring* value) const
{
    TAttributeSPtr attribute = GetAttr(key);
    return attribute && attribute->GetString(value);
}

bool CPacket::GetAttrAddress(int key, unsigned char** address) const
{
    TAttributeSPtr attribute = GetAttr(key);
    return attribute && attribute->GetAddress(address);
}

bool CPacket::GetAttrBinary(int key, unsigned char** data, int* length) const
{
    TAttributeSPtr attribute = GetAttr(key);
    return attribute && attribute->GetBinary(data, length);
}

bool CPacket::GetAttrBinary(int key, TByteArraySPtr* bytes) const
{
    unsigned char* data = nullptr;
    int length = 0;
    if (!GetAttrBinary(key, &data, &length)) {
        return false;
    }
    *bytes = std::make_shared<TByteArray>(data, data + length);
    return true;
}

bool CPacket::GetAttrIntArray(int key, int** values, int* count) const
{
    TAttributeSPtr attribute = GetAttr(key);
    return attribute && attribute->GetIntArray(values, count);
}

bool CPacket::GetAttrContainer(int key, TPacketSPtr* packet) const
{
    TAttributeSPtr attribute = GetAttr(key);
    return attribute && attribute->GetContainer(packet);
}

void CPacket::Serialize(IOutputStream* out) const
{
    out->WriteByte(kContainerMark);
    out->WriteVarInt32(static_cast<int>(m_attributes.size()));
    for (const TAttributeSPtr& attribute : m_attributes) {
        attribute->Serialize(out);
    }
}

TPacketSPtr CPacket::Deserialize(IInputStream* in, int depth)
{
    if (depth > MAX_CONTAINER_DEPTH) {
        LogDecodeError("Container nesting too deep.");
        return nullptr;
    }
    unsigned char mark = 0;
    if (!in->ReadByte(&mark)) {
        LogDecodeError("Failed to read 'attribute container start' mark.");
        return nullptr;
    }
    if (mark != kContainerMark) {
        LogDecodeError("Attribute container mark is not correct.");
        return nullptr;
    }
    int count = 0;
    if (!in->ReadVarInt32(&count)) {
        LogDecodeError("Failed to read attribute count value in packet.");
        return nullptr;
    }
    if (!IsWireSizeAcceptable(count, in->Available(), WIRE_COUNT)) {
        return nullptr;
    }
    TPacketSPtr packet = std::make_shared<CPacket>(INCOMING);
    for (int i = 0; i < count; ++i) {
        TAttributeSPtr attribute = CAttribute::Deserialize(in, depth);
        if (!attribute) {
            return nullptr;
        }
        packet->AddAttr(std::move(attribute));
    }
    return packet;
}

void CPacket::dump(CLogStream& stream) const
{
    if (!stream.IsEnabled()) {
        return;
    }
    stream << "Packet start:\n"
           << "\tType: " << TypeText(m_type);
    for (size_t i = 0; i < m_attributes.size(); ++i) {
        stream << "\tAttr(" << static_cast<int>(i) << "): ";
        m_attributes[i]->dump(stream);
    }
    stream << "Packet end" << std::endl;
}

}  // namespace VexlaLib
