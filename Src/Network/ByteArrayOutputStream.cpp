#include "Network/ByteArrayOutputStream.h"

namespace VexlaLib {

CByteArrayOutputStream::CByteArrayOutputStream(size_t capacity)
    : m_bytes(std::make_shared<TByteArray>())
{
    m_bytes->reserve(capacity);
}

void CByteArrayOutputStream::WriteByte(unsigned char byte) { m_bytes->push_back(byte); }

void CByteArrayOutputStream::WriteBytes(const unsigned char* data, size_t length)
{
    m_bytes->insert(m_bytes->end(), data, data + length);
}

void CByteArrayOutputStream::Flush() { }

TByteArraySPtr CByteArrayOutputStream::ToByteArray() const { return m_bytes; }

}  // namespace VexlaLib
