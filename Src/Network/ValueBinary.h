#pragma once

#include <memory>
#include <vector>

#include "Network/Value.h"

namespace VexlaLib {

class IInputStream;

// Bytes with a length; an empty value holds no array.
class CValueBinary : public CValue {
public:
    // Copies length bytes; length must be at least 1.
    CValueBinary(const unsigned char* data, int length);
    // Any number of bytes, none included (a server's empty picture).
    explicit CValueBinary(std::vector<unsigned char> data);

    // The bytes, or null for an empty value.
    unsigned char* GetData() { return m_data.empty() ? nullptr : m_data.data(); }
    int GetLength() const { return static_cast<int>(m_data.size()); }

    void Serialize(IOutputStream* out) const override;
    int GetType() const override { return TYPE_BINARY; }
    void Dump(CLogStream& stream) const override;
    // Refuses a negative length or one beyond the remaining input before allocating.
    static std::unique_ptr<CValueBinary> Deserialize(IInputStream* in);

private:
    std::vector<unsigned char> m_data;
};

}  // namespace VexlaLib
