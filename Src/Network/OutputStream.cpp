#include "Network/OutputStream.h"

#include <cstdint>

namespace VexlaLib {

void IOutputStream::WriteVarInt32(int value)
{
    uint32_t rest = static_cast<uint32_t>(value);
    while (rest > 0x7F) {
        WriteByte(static_cast<unsigned char>((rest & 0x7F) | 0x80));
        rest >>= 7;
    }
    WriteByte(static_cast<unsigned char>(rest));
}

void IOutputStream::WriteBytes(const unsigned char* data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        WriteByte(data[i]);
    }
}

}  // namespace VexlaLib
