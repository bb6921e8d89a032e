#pragma once

#include <memory>

#include "Network/Value.h"

namespace VexlaLib {

class IInputStream;

// A signed 64-bit value, 8 bytes little-endian on the wire.
class CValueInt64 : public CValue {
public:
    explicit CValueInt64(long long value);

    long long GetValue() const { return m_value; }

    void Serialize(IOutputStream* out) const override;
    int GetType() const override { return TYPE_INT64; }
    void Dump(CLogStream& stream) const override;
    static std::unique_ptr<CValueInt64> Deserialize(IInputStream* in);

private:
    long long m_value;
};

}  // namespace VexlaLib
