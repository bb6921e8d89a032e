#include "Network/ValueString.h"

#include <cstring>

#include "Network/InputStream.h"
#include "Network/OutputStream.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"

namespace VexlaLib {

CValueString::CValueString(const std::wstring& value)
    : m_value(value)
{
}

void CValueString::Serialize(IOutputStream* out) const
{
    std::string utf8;
    CUtils::ConvertWideToChar(m_value, &utf8);
    out->WriteBytes(reinterpret_cast<const unsigned char*>(utf8.c_str()), std::strlen(utf8.c_str()));
    out->WriteByte(0);
}

void CValueString::Dump(CLogStream& stream) const
{
    stream << "[" << static_cast<int>(m_value.size()) << "]{\"" << m_value << "\"";
}

std::unique_ptr<CValueString> CValueString::Deserialize(IInputStream* in)
{
    std::string utf8;
    unsigned char byte = 0;
    while (in->ReadByte(&byte) && byte != 0) {
        utf8.push_back(static_cast<char>(byte));
    }
    return std::make_unique<CValueString>(CUtils::ConvertCharToWide(utf8));
}

}  // namespace VexlaLib
