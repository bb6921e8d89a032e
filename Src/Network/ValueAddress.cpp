#include "Network/ValueAddress.h"

#include <cassert>
#include <cstring>

#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

CValueAddress::CValueAddress(const unsigned char* address)
{
    assert(address != nullptr);
    std::memcpy(m_address, address, ADDRESS_LENGTH);
}

void CValueAddress::Serialize(IOutputStream* out) const { out->WriteBytes(m_address, ADDRESS_LENGTH); }

void CValueAddress::Dump(CLogStream& stream) const
{
    stream << "{" << static_cast<int>(m_address[0]) << "." << static_cast<int>(m_address[1]) << "."
           << static_cast<int>(m_address[2]) << "." << static_cast<int>(m_address[3]) << ":"
           << (m_address[4] * 256 + m_address[5]);
}

std::unique_ptr<CValueAddress> CValueAddress::Deserialize(IInputStream* in)
{
    unsigned char address[ADDRESS_LENGTH];
    for (unsigned char& byte : address) {
        if (!in->ReadByte(&byte)) {
            return nullptr;
        }
    }
    return std::make_unique<CValueAddress>(address);
}

}  // namespace VexlaLib
