#pragma once

#include <memory>

#include "Network/Value.h"

namespace VexlaLib {

class IInputStream;

// A signed 32-bit value, a varint on the wire.
class CValueInt32 : public CValue {
public:
    explicit CValueInt32(int value);

    int GetValue() const { return m_value; }

    void Serialize(IOutputStream* out) const override;
    int GetType() const override { return TYPE_INT32; }
    void Dump(CLogStream& stream) const override;
    static std::unique_ptr<CValueInt32> Deserialize(IInputStream* in);

private:
    int m_value;
};

}  // namespace VexlaLib
