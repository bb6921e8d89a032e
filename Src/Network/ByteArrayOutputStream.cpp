#include "Network/ByteArrayOutputStream.h"

namespace VexlaLib {

CByteArrayOutputStream::CByteArrayOutputStream() : m_bytes(std::make_shared<TByteArray>()) {}

void CByteArrayOutputStream::WriteByte(unsigned char byte) { m_bytes->push_back(byte); }

void CByteArrayOutputStream::Flush() {}

TByteArraySPtr CByteArrayOutputStream::ToByteArray() const { return m_bytes; }

}  // namespace VexlaLib
