#include "Network/ValueInt32.h"

#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

CValueInt32::CValueInt32(int value)
    : m_value(value)
{
}

void CValueInt32::Serialize(IOutputStream* out) const { out->WriteVarInt32(m_value); }

void CValueInt32::Dump(CLogStream& stream) const { stream << "{" << std::hex << m_value << std::dec; }

std::unique_ptr<CValueInt32> CValueInt32::Deserialize(IInputStream* in)
{
    int value = 0;
    if (!in->ReadVarInt32(&value)) {
        return nullptr;
    }
    return std::make_unique<CValueInt32>(value);
}

}  // namespace VexlaLib
