#pragma once

#include <cstddef>
#include <cstdint>

#include "Utils/ByteArray.h"

namespace VexlaLib {

// Reflected CRC-32 (polynomial 0xEDB88320, as in zlib and Ethernet) with an optional keyed start:
// Reset(key) followed by Update(data) gives the CRC-32 of key followed by data. Buffers go through
// the carry-less multiply where the processor has it, else through sliced tables (CRC32Kernels.h).
class CCRC32
{
public:
    CCRC32();

    void Update(unsigned char value);
    void Update(const unsigned char* data, size_t length);
    void Update(const TByteArraySPtr& data);
    // Starts again at 0xFFFFFFFF and feeds `key` (nothing when it is empty or null).
    void Reset(const TByteArraySPtr& key);
    uint32_t GetCheckSum() const;

private:
    uint32_t m_value;
};

}  // namespace VexlaLib
