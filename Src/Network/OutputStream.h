#pragma once

#include <cstddef>

namespace VexlaLib {

// A sink of bytes that packets and frames are encoded into.
class IOutputStream {
public:
    virtual ~IOutputStream() = default;

    virtual void WriteByte(unsigned char byte) = 0;
    virtual void Flush() = 0;

    // Writes a varint (see IInputStream::ReadVarInt32). A negative value is written as its 32-bit
    // two's complement, which takes five groups.
    void WriteVarInt32(int value);
    // A byte at a time through WriteByte; sinks that can take a whole run at once override it.
    virtual void WriteBytes(const unsigned char* data, size_t length);
};

}  // namespace VexlaLib
