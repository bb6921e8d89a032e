#include "Network/ByteArrayInputStream.h"

#include <cassert>
#include <utility>

namespace VexlaLib {

CByteArrayInputStream::CByteArrayInputStream(TByteArraySPtr bytes)
    : m_bytes(std::move(bytes))
{
    assert(m_bytes);
}

bool CByteArrayInputStream::ReadByte(unsigned char* byte)
{
    if (m_position >= m_bytes->size()) {
        return false;
    }
    *byte = (*m_bytes)[m_position++];
    return true;
}

size_t CByteArrayInputStream::Available() const { return m_bytes->size() - m_position; }

}  // namespace VexlaLib
