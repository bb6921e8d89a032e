#include "Network/ValueIntArray.h"

#include <algorithm>
#include <cassert>

#include "Network/DecodeError.h"
#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

CValueIntArray::CValueIntArray(const int* values, int count)
{
    assert(count > 0);
    m_values.assign(values, values + count);
}

CValueIntArray::CValueIntArray(std::vector<int> values)
    : m_values(std::move(values))
{
}

void CValueIntArray::Serialize(IOutputStream* out) const
{
    out->WriteVarInt32(GetCount());
    for (int value : m_values) {
        out->WriteVarInt32(value);
    }
}

void CValueIntArray::Dump(CLogStream& stream) const
{
    stream << "[" << GetCount() << "]{" << std::hex;
    const size_t shown = std::min(m_values.size(), DUMP_ELEMENT_LIMIT);
    for (size_t i = 0; i < shown; ++i) {
        stream << (i == 0 ? "0x" : ", 0x") << m_values[i];
    }
    if (shown < m_values.size()) {
        stream << ", ...";
    }
    stream << std::dec;
}

std::unique_ptr<CValueIntArray> CValueIntArray::Deserialize(IInputStream* in)
{
    int count = 0;
    if (!in->ReadVarInt32(&count)) {
        return nullptr;
    }
    if (!IsWireSizeAcceptable(count, in->Available(), WIRE_COUNT)) {
        return nullptr;
    }
    std::vector<int> values(static_cast<size_t>(count));
    for (int& value : values) {
        if (!in->ReadVarInt32(&value)) {
            return nullptr;
        }
    }
    return std::unique_ptr<CValueIntArray>(new CValueIntArray(std::move(values)));
}

}  // namespace VexlaLib
