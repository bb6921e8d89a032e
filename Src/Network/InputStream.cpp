#include "Network/InputStream.h"

#include <cstdint>

namespace VexlaLib {

bool IInputStream::ReadVarInt32(int* value)
{
    uint32_t result = 0;
    int shift = 0;
    unsigned char byte = 0;
    do {
        if (!ReadByte(&byte)) {
            return false;
        }
        if (shift < 32) {
            result |= static_cast<uint32_t>(byte & 0x7F) << shift;
            shift += 7;
        }
    } while (byte & 0x80);
    *value = static_cast<int>(result);
    return true;
}

bool IInputStream::ReadBytes(unsigned char* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (!ReadByte(&out[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace VexlaLib
