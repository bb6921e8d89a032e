#include "Network/ValueBinary.h"

#include <cassert>

#include "Network/DecodeError.h"
#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

CValueBinary::CValueBinary(const unsigned char* data, int length)
{
    assert(length > 0);
    m_data.assign(data, data + length);
}

CValueBinary::CValueBinary(std::vector<unsigned char> data)
    : m_data(std::move(data))
{
}

void CValueBinary::Serialize(IOutputStream* out) const
{
    out->WriteVarInt32(GetLength());
    out->WriteBytes(m_data.data(), m_data.size());
}

void CValueBinary::Dump(CLogStream& stream) const
{
    stream << "[" << GetLength() << "]{";
    stream.WriteHexBytes(m_data.data(), m_data.size(), DUMP_ELEMENT_LIMIT);
}

std::unique_ptr<CValueBinary> CValueBinary::Deserialize(IInputStream* in)
{
    int length = 0;
    if (!in->ReadVarInt32(&length)) {
        return nullptr;
    }
    if (!IsWireSizeAcceptable(length, in->Available(), WIRE_LENGTH)) {
        return nullptr;
    }
    std::vector<unsigned char> data(static_cast<size_t>(length));
    if (!in->ReadBytes(data.data(), data.size())) {
        return nullptr;
    }
    return std::unique_ptr<CValueBinary>(new CValueBinary(std::move(data)));
}

}  // namespace VexlaLib
