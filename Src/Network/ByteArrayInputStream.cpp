#include "Network/ByteArrayInputStream.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace VexlaLib {

CByteArrayInputStream::CByteArrayInputStream(TByteArraySPtr bytes)
    : m_bytes(std::move(bytes))
{
    assert(m_bytes);
}

bool CByteArrayInputStream::ReadBytes(unsigned char* out, size_t count)
{
    const size_t available = m_bytes->size() - std::min(m_position, m_bytes->size());
    const size_t copied = std::min(count, available);
    std::copy_n(m_bytes->data() + m_position, copied, out);
    m_position += copied;
    return copied == count;
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
