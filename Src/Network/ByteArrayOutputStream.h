#pragma once

#include "Network/OutputStream.h"
#include "Utils/ByteArray.h"

namespace VexlaLib {

// Appends every byte to a byte vector of its own, which ToByteArray shares without copying.
class CByteArrayOutputStream : public IOutputStream {
public:
    // capacity: bytes to reserve, when the size is known in advance.
    explicit CByteArrayOutputStream(size_t capacity = 0);

    void WriteByte(unsigned char byte) override;
    // One append instead of a call per byte.
    void WriteBytes(const unsigned char* data, size_t length) override;
    void Flush() override;

    TByteArraySPtr ToByteArray() const;

private:
    TByteArraySPtr m_bytes;
};

}  // namespace VexlaLib
