#pragma once

#include <cstddef>

namespace VexlaLib {

// A source of bytes that packets and frames are decoded from.
class IInputStream {
public:
    virtual ~IInputStream() = default;

    // Reads the next byte; false once the data is exhausted.
    virtual bool ReadByte(unsigned char* byte) = 0;
    // Number of bytes left to read.
    virtual size_t Available() const = 0;
    // Reads count bytes into out; false, with out partly written, when fewer are left.
    virtual bool ReadBytes(unsigned char* out, size_t count);

    // Reads a varint: 7-bit groups, least significant first, bit 7 set on every byte but the last.
    // Groups beyond the fifth contribute nothing. False if the input ends inside the varint.
    bool ReadVarInt32(int* value);
};

}  // namespace VexlaLib
