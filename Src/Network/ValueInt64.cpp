#include "Network/ValueInt64.h"

#include <cstdint>

#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

namespace {
const int kInt64Bytes = 8;
}

CValueInt64::CValueInt64(long long value)
    : m_value(value)
{
}

void CValueInt64::Serialize(IOutputStream* out) const
{
    uint64_t bits = static_cast<uint64_t>(m_value);
    for (int i = 0; i < kInt64Bytes; ++i) {
        out->WriteByte(static_cast<unsigned char>(bits >> (8 * i)));
    }
}

void CValueInt64::Dump(CLogStream& stream) const { stream << "{" << std::hex << m_value << std::dec; }

std::unique_ptr<CValueInt64> CValueInt64::Deserialize(IInputStream* in)
{
    uint64_t bits = 0;
    for (int i = 0; i < kInt64Bytes; ++i) {
        unsigned char byte = 0;
        if (!in->ReadByte(&byte)) {
            return nullptr;
        }
        bits |= static_cast<uint64_t>(byte) << (8 * i);
    }
    return std::make_unique<CValueInt64>(static_cast<long long>(bits));
}

}  // namespace VexlaLib
