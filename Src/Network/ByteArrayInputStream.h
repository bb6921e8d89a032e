#pragma once

#include "Network/InputStream.h"
#include "Utils/ByteArray.h"

namespace VexlaLib {

// Reads from a shared byte vector, from its first byte on.
class CByteArrayInputStream : public IInputStream {
public:
    explicit CByteArrayInputStream(TByteArraySPtr bytes);

    bool ReadByte(unsigned char* byte) override;
    // One copy instead of a call per byte.
    bool ReadBytes(unsigned char* out, size_t count) override;
    size_t Available() const override;

private:
    TByteArraySPtr m_bytes;
    size_t m_position = 0;
};

}  // namespace VexlaLib
