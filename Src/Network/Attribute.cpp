#include "Network/Attribute.h"

#include <cassert>
#include <utility>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/DecodeError.h"
#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Network/ValueAddress.h"
#include "Network/ValueBinary.h"
#include "Network/ValueContainer.h"
#include "Network/ValueInt32.h"
#include "Network/ValueInt64.h"
#include "Network/ValueIntArray.h"
#include "Network/ValueString.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

namespace {

const char* const kTypeNames[] = {"INT32", "INT64", "ADDRESS", "STRING", "BINARY", "CONTAINER", "INTARRAY"};

// Values that must never reach a log.
bool IsSecret(int key) { return key == KEY_PASSWORD || key == KEY_NEWPASSWORD || key == KEY_SAVEDDATA; }

std::unique_ptr<CValue> DeserializeValue(int type, IInputStream* in, int depth)
{
    switch (type) {
    case TYPE_INT32:
        return CValueInt32::Deserialize(in);
    case TYPE_INT64:
        return CValueInt64::Deserialize(in);
    case TYPE_ADDRESS:
        return CValueAddress::Deserialize(in);
    case TYPE_STRING:
        return CValueString::Deserialize(in);
    case TYPE_BINARY:
        return CValueBinary::Deserialize(in);
    case TYPE_CONTAINER:
        return CValueContainer::Deserialize(in, depth + 1);
    case TYPE_INTARRAY:
        return CValueIntArray::Deserialize(in);
    }
    return nullptr;
}

}  // namespace

CAttribute::CAttribute(int key, int type, int value)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::make_unique<CValueInt32>(value))
{
    assert(m_type == TYPE_INT32);
}

CAttribute::CAttribute(int key, int type, long long value)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::make_unique<CValueInt64>(value))
{
    assert(m_type == TYPE_INT64);
}

CAttribute::CAttribute(int key, int type, const unsigned char* address)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::make_unique<CValueAddress>(address))
{
    assert(m_type == TYPE_ADDRESS);
}

CAttribute::CAttribute(int key, int type, const std::wstring& value)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::make_unique<CValueString>(value))
{
    assert(m_type == TYPE_STRING);
}

CAttribute::CAttribute(int key, int type, const unsigned char* data, int length)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::make_unique<CValueBinary>(data, length))
{
    assert(m_type == TYPE_BINARY);
}

CAttribute::CAttribute(int key, int type, TPacketSPtr container)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::make_unique<CValueContainer>(std::move(container)))
{
    assert(m_type == TYPE_CONTAINER);
}

CAttribute::CAttribute(int key, int type, const int* values, int count)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::make_unique<CValueIntArray>(values, count))
{
    assert(m_type == TYPE_INTARRAY);
}

CAttribute::CAttribute(int key, int type, std::unique_ptr<CValue> value)
    : m_key(key)
    , m_type(type)
    , m_pValue(std::move(value))
{
    assert(m_pValue != nullptr);
    assert(m_type == m_pValue->GetType());
}

template <class TValue> TValue* CAttribute::ValueOfType(int type) const
{
    return m_type == type ? static_cast<TValue*>(m_pValue.get()) : nullptr;
}

bool CAttribute::GetInt32(int* value) const
{
    const CValueInt32* typed = ValueOfType<CValueInt32>(TYPE_INT32);
    if (typed == nullptr) {
        return false;
    }
    *value = typed->GetValue();
    return true;
}

bool CAttribute::GetInt64(long long* value) const
{
    const CValueInt64* typed = ValueOfType<CValueInt64>(TYPE_INT64);
    if (typed == nullptr) {
        return false;
    }
    *value = typed->GetValue();
    return true;
}

bool CAttribute::GetAddress(unsigned char** address) const
{
    CValueAddress* typed = ValueOfType<CValueAddress>(TYPE_ADDRESS);
    if (typed == nullptr) {
        return false;
    }
    *address = typed->GetAddress();
    return true;
}

bool CAttribute::GetString(std::wstring* value) const
{
    const CValueString* typed = ValueOfType<CValueString>(TYPE_STRING);
    if (typed == nullptr) {
        return false;
    }
    *value = typed->GetValue();
    return true;
}

bool CAttribute::GetBinary(unsigned char** data, int* length) const
{
    CValueBinary* typed = ValueOfType<CValueBinary>(TYPE_BINARY);
    if (typed == nullptr) {
        return false;
    }
    *data = typed->GetData();
    *length = typed->GetLength();
    return true;
}

bool CAttribute::GetIntArray(int** values, int* count) const
{
    CValueIntArray* typed = ValueOfType<CValueIntArray>(TYPE_INTARRAY);
    if (typed == nullptr) {
        return false;
    }
    *values = typed->GetValues();
    *count = typed->GetCount();
    return true;
}

bool CAttribute::GetContainer(TPacketSPtr* packet) const
{
    const CValueContainer* typed = ValueOfType<CValueContainer>(TYPE_CONTAINER);
    if (typed == nullptr) {
        return false;
    }
    *packet = typed->GetPacket();
    return true;
}

void CAttribute::Serialize(IOutputStream* out) const
{
    out->WriteByte(static_cast<unsigned char>(m_type));
    out->WriteVarInt32(m_key);
    m_pValue->Serialize(out);
}

TAttributeSPtr CAttribute::Deserialize(IInputStream* in, int depth)
{
    unsigned char type = 0;
    if (!in->ReadByte(&type)) {
        LogDecodeError("Failed to read attribute type during deserialization.");
        return nullptr;
    }
    int key = 0;
    if (!in->ReadVarInt32(&key)) {
        LogDecodeError("Failed to read attribute key during deserialization.");
        return nullptr;
    }
    if (type > TYPE_INTARRAY) {
        LogDecodeError("Invalid attribute type sent by server.");
        return nullptr;
    }
    std::unique_ptr<CValue> value = DeserializeValue(type, in, depth);
    if (!value) {
        LogDecodeError("Failed to read attribute value during deserialization.");
        return nullptr;
    }
    return std::make_shared<CAttribute>(key, type, std::move(value));
}

void CAttribute::dump(CLogStream& stream) const
{
    stream << "key: " << CAttrKey::Lookup(m_key) << ", Type: " << kTypeNames[m_type] << ", ";
    int chunk = 0;
    if (IsSecret(m_key)) {
        stream << "{<redacted>";
    } else if (m_key == KEY_CHUNKTYPE && GetInt32(&chunk)) {
        stream << "{" << CAttrChunk::Lookup(chunk);
    } else {
        m_pValue->Dump(stream);
    }
    stream << "}" << std::endl;
}

}  // namespace VexlaLib
