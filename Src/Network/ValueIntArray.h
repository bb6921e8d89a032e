#pragma once

#include <memory>
#include <vector>

#include "Network/Value.h"

namespace VexlaLib {

class IInputStream;

// A list of signed 32-bit integers, each a varint on the wire after the count; an empty value
// (only ever received) holds no array.
class CValueIntArray : public CValue {
public:
    // Copies count integers; count must be at least 1.
    CValueIntArray(const int* values, int count);

    // The integers, or null for an empty value.
    int* GetValues() { return m_values.empty() ? nullptr : m_values.data(); }
    int GetCount() const { return static_cast<int>(m_values.size()); }

    void Serialize(IOutputStream* out) const override;
    int GetType() const override { return TYPE_INTARRAY; }
    void Dump(CLogStream& stream) const override;
    // Refuses a negative count or one beyond the remaining input (every element takes at least one
    // byte) before allocating.
    static std::unique_ptr<CValueIntArray> Deserialize(IInputStream* in);

private:
    explicit CValueIntArray(std::vector<int> values);

    std::vector<int> m_values;
};

}  // namespace VexlaLib
